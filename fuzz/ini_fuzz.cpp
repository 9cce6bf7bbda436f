// Fuzz target for the INI text rules and the settings record written and read through them.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <map>

#include "options/ini_text.h"
#include "options/settings.h"
#include "platform/platform.h"

namespace pomu::platform {
namespace {
// The settings files of this run, kept in memory.
std::map<NativeString, std::string>& files() {
    static std::map<NativeString, std::string> texts;
    return texts;
}
}  // namespace

// Stand-ins with the Linux profile functions' rules, over the same pure text functions.
NativeString readProfileString(NativeView file, NativeView section, NativeView key,
                               NativeView defaultValue, std::size_t bufferChars) {
    const auto found = files().find(NativeString(file));
    std::optional<std::string_view> value;
    if (found != files().end()) value = ini::findValue(found->second, section, key);
    return ini::profileCopy(value.value_or(defaultValue), bufferChars);
}

bool writeProfileString(NativeView file, NativeView section, NativeView key, NativeView value) {
    if (!ini::canWrite(section, key, value)) return false;
    std::string& text = files()[NativeString(file)];
    text = ini::setValue(text, section, key, value);
    return true;
}

std::optional<NativeString> settingsFilePath() {
    return NativeString("/fuzz/pomu.ini");
}

}  // namespace pomu::platform

namespace {

using namespace pomu;

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

bool sameOptions(const ConversionOptions& a, const ConversionOptions& b) {
    return a.sevenZipFolder == b.sevenZipFolder && a.level == b.level && a.show == b.show &&
           a.deleteAlready == b.deleteAlready && a.deleteProcessed == b.deleteProcessed &&
           a.div100MB == b.div100MB && a.div1GB == b.div1GB && a.zip == b.zip;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n' || c == '\x1a';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool sameName(std::string_view a, std::string_view b) {
    return equalsIgnoringCase(trimmed(a), trimmed(b));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::size_t buffer = input.ConsumeIntegralInRange<std::size_t>(0, 600);
    const std::string section = input.ConsumeRandomLengthString(40);
    const std::string key = input.ConsumeRandomLengthString(40);
    const std::string value = input.ConsumeRandomLengthString(80);
    const std::string otherSection = input.ConsumeRandomLengthString(40);
    const std::string otherKey = input.ConsumeRandomLengthString(40);
    const std::string text = input.ConsumeRemainingBytesAsString();

    // A value read never exceeds its buffer.
    const std::string copy = ini::profileCopy(value, buffer);
    require(buffer == 0 ? copy.empty() : copy.size() <= buffer - 1, "profileCopy past its buffer");
    const std::optional<std::string_view> found = ini::findValue(text, section, key);
    require(!found || found->find_first_of("\r\n") == std::string_view::npos,
            "a value spans lines");

    if (ini::canWrite(section, key, value)) {
        const std::string edited = ini::setValue(text, section, key, value);
        // Set, then get: the value, as a line holds it.
        require(ini::findValue(edited, section, key) == trimmed(value), "set-then-get differs");
        // Every other key reads as before.
        const bool sameKey = sameName(otherSection, section) && sameName(otherKey, key);
        if (!sameKey) {
            require(ini::findValue(edited, otherSection, otherKey) ==
                        ini::findValue(text, otherSection, otherKey),
                    "another key changed");
        }
    }

    // Loaded, saved, loaded again: the same options. A folder that begins with a blank (only
    // possible inside quotes) loses it, as the profile functions trim every value.
    platform::files().clear();
    platform::files()["/fuzz/pomu.ini"] = text;
    ConversionOptions loaded;
    loadSettingsFrom("/fuzz/pomu.ini", loaded);
    require(loaded.level.size() <= 4, "level past its buffer");
    require(loaded.sevenZipFolder.size() <= kMaxPathChars, "folder past its buffer");
    require(!(loaded.div100MB && loaded.div1GB), "both split options on");
    require(saveSettingsTo("/fuzz/pomu.ini", loaded), "save refused a loaded record");
    ConversionOptions reloaded;
    loadSettingsFrom("/fuzz/pomu.ini", reloaded);
    if (loaded.sevenZipFolder.empty() || !isBlank(loaded.sevenZipFolder.front())) {
        require(sameOptions(loaded, reloaded), "loaded-saved-loaded differs");
    }
    return 0;
}
