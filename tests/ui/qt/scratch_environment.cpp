// Filling in the missing environment of a test process with scratch folders.
#include "scratch_environment.h"

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>

namespace pomu::test {
namespace {

const char* const kVariables[][2] = {
    {"TMPDIR", "tmp"},
    {"XDG_CONFIG_HOME", "config"},
    {"XDG_DATA_HOME", "data"},
    {"XDG_STATE_HOME", "state"},
};

}  // namespace

ScratchEnvironment::ScratchEnvironment() {
    for (const auto& [name, folder] : kVariables) {
        if (std::getenv(name) && *std::getenv(name)) continue;
        if (root_.empty()) {
            char pattern[] = "/tmp/pomu-ui-test-XXXXXX";
            if (!::mkdtemp(pattern)) std::abort();
            root_ = pattern;
        }
        const std::string path = root_ + "/" + folder;
        std::filesystem::create_directories(path);
        ::setenv(name, path.c_str(), 1);
    }
}

ScratchEnvironment::~ScratchEnvironment() {
    if (root_.empty()) return;
    std::error_code error;
    std::filesystem::remove_all(root_, error);
}

}  // namespace pomu::test
