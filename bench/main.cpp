// pomu_bench entry point: picks the sub-command; on Linux a Qt core application drives the pump.
#include <cstdio>
#include <string>

#include "arguments.h"
#include "commands.h"
#include "report.h"

#ifndef _WIN32
#include <QCoreApplication>
#endif

namespace {

constexpr const char* kUsageText =
    "usage: pomu_bench convert <source> <level> <archiverFolder>\n"
    "       pomu_bench force-exit <source> <archiverFolder> [delayMs]\n"
    "       pomu_bench clear <folder>\n"
    "       pomu_bench batch <folder> <level> <archiverFolder>\n"
    "       pomu_bench walk <folder>\n"
    "       pomu_bench search <folder>\n";

int dispatch(const pomu::bench::Arguments& all) {
    using namespace pomu::bench;
    if (all.empty()) {
        std::fputs(kUsageText, stderr);
        return kUsage;
    }
    const std::string name = utf8(all.front());
    const Arguments rest(all.begin() + 1, all.end());
    if (name == "convert") return convertCommand(rest);
    if (name == "force-exit") return forceExitCommand(rest);
    if (name == "clear") return clearCommand(rest);
    if (name == "batch") return batchCommand(rest);
    if (name == "walk") return walkCommand(rest);
    if (name == "search") return searchCommand(rest);
    std::fputs(kUsageText, stderr);
    return kUsage;
}

}  // namespace

int main(int argc, char** argv) {
#ifndef _WIN32
    // The tool runner's event pump is Qt's on Linux, as in the window.
    QCoreApplication app(argc, argv);
#endif
    return dispatch(pomu::bench::nativeArguments(argc, argv));
}
