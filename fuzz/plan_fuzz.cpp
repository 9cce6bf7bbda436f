// Fuzz target for the conversion plan: extension rule, target names and archiver commands.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "convert/plan.h"

namespace pomu::platform {
namespace {
std::set<NativeString>& existing() {
    static std::set<NativeString> paths;
    return paths;
}
}  // namespace

// Stand-in for the existence test of the volume set: the paths this input says exist.
bool pathExists(NativeView path) {
    return existing().count(NativeString(path)) > 0;
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

NativeString nativeText(const std::string& bytes) {
    return NativeString(bytes.begin(), bytes.end());  // each byte one character
}

// The archiver's splitting: blanks outside double quotes separate, a quote only toggles.
std::vector<NativeString> splitLine(NativeView line) {
    std::vector<NativeString> parts;
    NativeString part;
    bool quoted = false, inPart = false;
    for (const Char c : line) {
        if (c == Char('"')) {
            quoted = !quoted;
            inPart = true;
        } else if ((c == Char(' ') || c == Char('\t')) && !quoted) {
            if (inPart) parts.push_back(part);
            part.clear();
            inPart = false;
        } else {
            part += c;
            inPart = true;
        }
    }
    if (inPart) parts.push_back(part);
    return parts;
}

// The line holds the program and the arguments as given; the list may add "./" before a
// name that starts with '-', so the archiver never reads it as a switch.
void requireSameArguments(const ToolCommand& command) {
    const std::vector<NativeString> parts = splitLine(command.line);
    require(parts.size() == command.arguments.size() + 1 && parts[0] == command.program,
            "the line splits into another program or count");
    const NativeString guard = NativeString(POMU_T(".")) + kSeparator;
    for (std::size_t i = 0; i < command.arguments.size(); ++i) {
        const NativeString& part = parts[i + 1];
        const bool guarded =
            !part.empty() && part[0] == Char('-') && command.arguments[i] == guard + part;
        require(part == command.arguments[i] || guarded, "the line splits into other arguments");
    }
}

bool hasAny(NativeView text, NativeView characters) {
    return text.find_first_of(characters) != NativeView::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const bool zip = input.ConsumeBool();
    const bool div100MB = input.ConsumeBool();
    const bool div1GB = input.ConsumeBool();
    const int members = input.ConsumeIntegralInRange<int>(0, 120);
    const NativeString folder = nativeText(input.ConsumeRandomLengthString(300));
    const NativeString workspace = nativeText(input.ConsumeRandomLengthString(300));
    const NativeString level = nativeText(input.ConsumeRandomLengthString(6));
    const NativeString extension = nativeText(input.ConsumeRandomLengthString(8));
    const NativeString source = nativeText(input.ConsumeRemainingBytesAsString());

    const std::optional<NativeString> renamed = renameExtension(source, extension);
    require(!renamed || fitsPath(*renamed), "renamed path past the limit");

    const std::optional<NativeString> target = targetPath(source, zip);
    require(!target || *target != source, "target equals the source");
    require(!target || fitsPath(*target), "target past the limit");
    if (target) {
        const std::optional<NativeString> first = firstOutputPath(*target, div100MB || div1GB);
        require(!first || fitsPath(*first), "first output past the limit");
    }

    ConversionOptions options;
    options.zip = zip;
    options.div100MB = div100MB;
    options.div1GB = div1GB;
    options.level = level;
    const PlannedConversion planned = planConversion(source, options);
    require(!planned.plan || (planned.plan->target == target && planned.plan->target != source),
            "the plan's target is not the target rule's, or is the source");

    const NativeString quote(1, Char('"'));
    const bool quoteFree = !hasAny(folder, quote) && !hasAny(source, quote) &&
                           !hasAny(workspace, quote) && !hasAny(level, quote);
    const NativeString blanks = POMU_T(" \t");
    if (const auto extract = extractCommand(folder, source, workspace)) {
        require(extract->line.size() <= kMaxCommandChars, "extraction line past its buffer");
        if (quoteFree) requireSameArguments(*extract);
    }
    if (target) {
        if (const auto compress =
                compressCommand(folder, *target, workspace, level, zip, div100MB, div1GB)) {
            require(compress->line.size() <= kMaxCommandChars, "compression line past its buffer");
            // The level is written unquoted, so a blank in it splits it as the archiver would.
            if (quoteFree && !hasAny(level, blanks)) requireSameArguments(*compress);
        }
    }

    // The volume set of a plain source is the source alone.
    if (!volumeSetBase(source)) {
        require(volumeSet(source) == std::vector<NativeString>{source},
                "a plain source stands for others");
    }
    // A set spelled out here from the input as its base: part 1 on, up to the first missing
    // member, at most 99, none past the path limit.
    platform::existing().clear();
    std::vector<NativeString> spelled;
    for (int k = 1; k <= members; ++k) {
        spelled.push_back(source + POMU_T(".part") + nativeText(std::to_string(k)) +
                          POMU_T(".rar"));
        platform::existing().insert(spelled.back());
    }
    std::vector<NativeString> expected;
    for (const NativeString& member : spelled) {
        if (expected.size() == 99 || member.size() > kMaxPathChars) break;
        expected.push_back(member);
    }
    require(
        volumeSet(spelled.empty() ? source + POMU_T(".part1.rar") : spelled.front()) == expected,
        "the volume set is not the run of existing members");
    return 0;
}
