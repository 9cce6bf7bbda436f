// Naming and command-line rules of a conversion; only the volume set and the outputs already
// there are looked for on disk.
#include "convert/plan.h"

#include "convert/archiver.h"

namespace pomu {
namespace {

constexpr NativeView kSetStartEnding = POMU_T(".part1.rar");
constexpr NativeView kComicEndings[] = {POMU_T(".cbr"), POMU_T(".cbz"), POMU_T(".cb7"),
                                        POMU_T(".cbt")};
constexpr NativeView kComicZipExtension = POMU_T(".cbz");
constexpr NativeView kComicSevenZipExtension = POMU_T(".cb7");
// The archiver numbers volumes from .001; a set this long is beyond any real use.
constexpr int kMaxVolumes = 9999;
constexpr int kMaxScannedVolume = 999;

// The volume number of "x.part<digits>.rar" (any case); empty for any other name.
NativeView volumeDigits(NativeView source) {
    constexpr NativeView kRar = POMU_T(".rar");
    constexpr NativeView kPart = POMU_T(".part");
    if (!endsWithIgnoringCase(source, kRar)) return {};
    const std::size_t end = source.size() - kRar.size();
    std::size_t start = end;
    while (start > 0 && source[start - 1] >= Char('0') && source[start - 1] <= Char('9')) --start;
    if (start == end || start < kPart.size() ||
        !equalsIgnoringCase(source.substr(start - kPart.size(), kPart.size()), kPart)) {
        return {};
    }
    return source.substr(start, end - start);
}

std::optional<NativeString> fitPath(NativeString path) {
    if (!fitsPath(path)) return std::nullopt;
    return path;
}

// A name that starts with '-' would be read as a switch; "./" keeps it a name. Dropped paths
// are absolute, so only a relative name is ever changed.
NativeString asPathArgument(NativeView path) {
    NativeString argument;
    if (!path.empty() && path.front() == Char('-')) {
        argument = POMU_T(".");
        argument += kSeparator;
    }
    argument += path;
    return argument;
}

std::optional<ToolCommand> finish(ToolCommand command) {
    if (command.line.size() > kMaxCommandChars) return std::nullopt;
    return command;
}

NativeString quoted(NativeView text) {
    NativeString result(1, Char('"'));
    result += text;
    result += Char('"');
    return result;
}

}  // namespace

NativeView findExtension(NativeView path) {
    std::size_t dot = NativeView::npos;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const Char c = path[i];
        if (c == kSeparator || c == Char(' ')) {
            dot = NativeView::npos;
        } else if (c == Char('.')) {
            dot = i;
        }
    }
    return dot == NativeView::npos ? path.substr(path.size()) : path.substr(dot);
}

std::optional<NativeString> renameExtension(NativeView path, NativeView extension) {
    const NativeView found = findExtension(path);
    NativeString result(path.substr(0, path.size() - found.size()));
    result += extension;
    return fitPath(std::move(result));
}

NativeView targetExtension(bool zip) {
    return zip ? archiver::kZipExtension : archiver::kSevenZipExtension;
}

bool isComic(NativeView source) {
    const NativeView extension = findExtension(source);
    for (const NativeView ending : kComicEndings) {
        if (equalsIgnoringCase(extension, ending)) return true;
    }
    return false;
}

NativeView targetExtension(NativeView source, bool zip) {
    if (!isComic(source)) return targetExtension(zip);
    return zip ? kComicZipExtension : kComicSevenZipExtension;
}

bool isSkipped(NativeView source, bool zip) {
    return equalsIgnoringCase(findExtension(source), targetExtension(source, zip));
}

std::optional<NativeString> volumeSetBase(NativeView source) {
    if (!endsWithIgnoringCase(source, kSetStartEnding)) return std::nullopt;
    return NativeString(source.substr(0, source.size() - kSetStartEnding.size()));
}

std::optional<NativeString> targetPath(NativeView source, bool zip) {
    const std::optional<NativeString> base = volumeSetBase(source);
    auto target = renameExtension(base ? NativeView(*base) : source, targetExtension(source, zip));
    if (target && *target == source) return std::nullopt;
    return target;
}

std::optional<NativeString> firstOutputPath(NativeView target, bool split) {
    if (!split) return fitPath(NativeString(target));
    return volumePath(target, 1);
}

std::optional<NativeString> volumePath(NativeView target, int number) {
    NativeString digits = toNative(number);
    if (digits.size() < 3) digits.insert(0, 3 - digits.size(), Char('0'));
    NativeString path(target);
    path += Char('.');
    path += digits;
    return fitPath(std::move(path));
}

NativeString archiverPath(NativeView sevenZipFolder, NativeView fileName) {
    NativeString path(sevenZipFolder);
    path += fileName;
    return path;
}

bool isAcceptedLevel(NativeView level) {
    if (!level.empty() && (level.front() == Char('@') || level.front() == Char('-'))) return false;
    return level.find_first_of(POMU_T(" \t\"")) == NativeView::npos;
}

bool holdsWildcard([[maybe_unused]] NativeView source) {
#ifdef _WIN32
    return false;  // and "\\?\" prefixes hold a '?' that is no wildcard
#else
    return source.find_first_of("*?") != NativeView::npos;
#endif
}

std::optional<ToolCommand> extractCommand(NativeView sevenZipFolder, NativeView source,
                                          NativeView workspace) {
    ToolCommand command;
    command.program = archiverPath(sevenZipFolder, archiver::kProgramName);
    NativeString output(archiver::kOutputFolderSwitch);
    output += workspace;
    command.arguments = {NativeString(archiver::kExtract), asPathArgument(source), output,
                         NativeString(archiver::kRecurseSwitch)};

    NativeString& line = command.line;
    line = quoted(command.program);
    line += POMU_T(" ");
    line += archiver::kExtract;
    line += POMU_T(" ");
    line += quoted(command.arguments[1]);
    line += POMU_T(" ");
    line += archiver::kOutputFolderSwitch;
    line += quoted(workspace);
    line += POMU_T(" ");
    line += archiver::kRecurseSwitch;
    return finish(std::move(command));
}

std::optional<ToolCommand> compressCommand(NativeView sevenZipFolder, NativeView target,
                                           NativeView workspace, NativeView level, bool zip,
                                           bool div100MB, bool div1GB, bool creationTimes) {
    ToolCommand command;
    command.program = archiverPath(sevenZipFolder, archiver::kProgramName);
    NativeString everything(workspace);
    everything += archiver::kAllFiles;
    NativeString levelSwitch(archiver::kLevelSwitch);
    levelSwitch += level;
    command.arguments = {NativeString(archiver::kAdd), asPathArgument(target),
                         asPathArgument(everything), levelSwitch};

    NativeString& line = command.line;
    line = quoted(command.program);
    line += POMU_T(" ");
    line += archiver::kAdd;
    line += POMU_T(" ");
    line += quoted(command.arguments[1]);
    line += POMU_T(" ");
    line += quoted(command.arguments[2]);
    line += POMU_T(" ");
    line += levelSwitch;

    auto addSwitch = [&command](NativeView flag) {
        command.arguments.emplace_back(flag);
        command.line += POMU_T(" ");
        command.line += flag;
    };
    // zip first, then div100MB, then div1GB: div100MB wins if both were ever set.
    if (zip) addSwitch(archiver::kZipSwitch);
    if (div100MB) {
        addSwitch(archiver::kVolumes100MBSwitch);
    } else if (div1GB) {
        addSwitch(archiver::kVolumes1GBSwitch);
    }
    if (creationTimes) addSwitch(archiver::kCreationTimesSwitch);
    return finish(std::move(command));
}

// The technical listing's command, with switches before the archive and patterns after it.
std::optional<ToolCommand> listingCommand(NativeView sevenZipFolder, NativeView archive,
                                          std::initializer_list<NativeView> switches,
                                          std::initializer_list<NativeView> patterns) {
    ToolCommand command;
    command.program = archiverPath(sevenZipFolder, archiver::kProgramName);
    command.arguments = {NativeString(archiver::kList), NativeString(archiver::kTechnicalSwitch),
                         NativeString(archiver::kUtf8OutputSwitch),
                         NativeString(archiver::kAltStreamsSwitch)};
    for (const NativeView flag : switches) command.arguments.emplace_back(flag);
    NativeString& line = command.line;
    line = quoted(command.program);
    for (const NativeString& argument : command.arguments) {
        line += POMU_T(" ");
        line += argument;
    }
    command.arguments.push_back(asPathArgument(archive));
    line += POMU_T(" ");
    line += quoted(command.arguments.back());
    for (const NativeView pattern : patterns) {
        command.arguments.emplace_back(pattern);
        line += POMU_T(" ");
        line += quoted(pattern);
    }
    return finish(std::move(command));
}

std::optional<ToolCommand> listCommand(NativeView sevenZipFolder, NativeView archive) {
    return listingCommand(sevenZipFolder, archive, {}, {});
}

std::optional<ToolCommand> lineBreakListCommand(NativeView sevenZipFolder, NativeView archive) {
    return listingCommand(sevenZipFolder, archive, {archiver::kRecurseNamesSwitch},
                          {archiver::kLineBreakPattern});
}

std::optional<ToolCommand> testCommand(NativeView sevenZipFolder, NativeView archive) {
    ToolCommand command;
    command.program = archiverPath(sevenZipFolder, archiver::kProgramName);
    command.arguments = {NativeString(archiver::kTest), asPathArgument(archive)};
    command.line = quoted(command.program) + POMU_T(" ") + NativeString(archiver::kTest) +
                   POMU_T(" ") + quoted(command.arguments.back());
    return finish(std::move(command));
}

std::size_t setStartDigits(NativeView source) {
    const NativeView digits = volumeDigits(source);
    const std::size_t significant = digits.find_first_not_of(Char('0'));
    return significant != NativeView::npos && digits.substr(significant) == POMU_T("1")
               ? digits.size()
               : 0;
}

std::optional<NativeString> firstVolumeOf(NativeView source) {
    const NativeView digits = volumeDigits(source);
    if (digits.empty()) return std::nullopt;
    const std::size_t start = std::size_t(digits.data() - source.data());
    const std::size_t end = start + digits.size();
    const std::size_t significant = digits.find_first_not_of(Char('0'));
    // The first volume itself, or a number 0.
    if (significant == NativeView::npos || digits.substr(significant) == POMU_T("1")) return {};
    NativeString first(source.substr(0, start));
    first += NativeString(digits.size() - 1, Char('0'));
    first += Char('1');
    first += source.substr(end);
    return first;
}

std::vector<NativeString> volumeSet(NativeView source, int opened) {
    const std::size_t width = setStartDigits(source);
    if (width == 0) return {NativeString(source)};
    // The archiver counts on the digits before ".rar", as wide as the dropped ones, and keeps
    // every other character as dropped: on a file system that tells case apart, "x.part2.rar"
    // beside "X.PART1.RAR" is another set's.
    const NativeView ending = source.substr(source.size() - 4);
    const NativeView before = source.substr(0, source.size() - 4 - width);
    const int most = width < 3 ? kMaxVolumeSetMembers : 999;
    std::vector<NativeString> members;
    for (int k = 1; k <= most && k <= opened; ++k) {
        NativeString digits = toNative(k);
        if (digits.size() < width) digits.insert(0, width - digits.size(), Char('0'));
        NativeString member(before);
        member += digits;
        member += ending;
        if (!fitsPath(member) || !platform::pathExists(member)) break;
        members.push_back(std::move(member));
    }
    return members;
}

std::vector<NativeString> leavingSources(NativeView source, const std::vector<SetMember>& members,
                                         const Listing& listing) {
    if (setStartDigits(source) == 0 || !listing.multivolume) return {NativeString(source)};
    if (!listing.volumes || *listing.volumes < 1 ||
        members.size() < std::size_t(*listing.volumes)) {
        return {};
    }
    const std::size_t count = std::size_t(*listing.volumes);
    // One volume has no total of its own: its physical size is all that was read.
    const std::optional<std::uint64_t> total =
        count == 1 ? listing.physicalSize : listing.totalPhysicalSize;
    if (!total) return {};
    std::uint64_t sum = 0;
    std::vector<NativeString> leaving;
    for (std::size_t i = 0; i < count; ++i) {
        if (members[i].size > *total - sum) return {};
        sum += members[i].size;
        leaving.push_back(members[i].path);
    }
    if (sum != *total) return {};
    return leaving;
}

PlannedConversion planConversion(NativeView source, const ConversionOptions& options) {
    const auto refused = [](Reason reason, NativeView detail = {}) {
        return PlannedConversion{std::nullopt, reason, NativeString(detail)};
    };
    // A path that does not fit was cut somewhere on its way here: never act on it.
    if (source.empty() || !fitsPath(source)) return refused(Reason::pathTooLong);
    if (isSkipped(source, options.zip)) {
        PlannedConversion skipped = refused(Reason::skipped, findExtension(source));
        // A comic's ending tells nothing certain of what it holds: its listing does.
        if (isComic(source)) {
            skipped.sameNameListing = listCommand(options.sevenZipFolder, source);
            if (!skipped.sameNameListing) return refused(Reason::pathTooLong);
        }
        return skipped;
    }
    // Refused before anything moves: the archiver would read these as its own syntax.
    if (holdsWildcard(source)) return refused(Reason::nameRefused, source);
    if (!isAcceptedLevel(options.level)) return refused(Reason::settingRefused, POMU_T("level"));
    const bool split = options.div100MB || options.div1GB;
    const std::optional<NativeString> target = targetPath(source, options.zip);
    const std::optional<NativeString> first = target ? firstOutputPath(*target, split) : target;
    const NativeView folder = options.sevenZipFolder;
    const std::optional<ToolCommand> sourceList = listCommand(folder, source);
    const std::optional<ToolCommand> outputList =
        first ? listCommand(folder, *first) : std::nullopt;
    const std::optional<ToolCommand> test = first ? testCommand(folder, *first) : std::nullopt;
    const std::optional<ToolCommand> lineBreaks =
        archiver::kRenamesLineBreaks ? lineBreakListCommand(folder, source) : ToolCommand();
    if (!sourceList || !outputList || !test || !lineBreaks) return refused(Reason::pathTooLong);
    return {ConversionPlan{.source = NativeString(source),
                           .targetExtension = targetExtension(source, options.zip),
                           .volumeSetBase = volumeSetBase(source),
                           .target = *target,
                           .firstOutputPath = *first,
                           .split = split,
                           .volumeBytes = !split             ? 0
                                          : options.div100MB ? archiver::kVolumes100MBBytes
                                                             : archiver::kVolumes1GBBytes,
                           .volumeSet = options.deleteProcessed ? volumeSet(source)
                                                                : std::vector<NativeString>{},
                           .sourceListCommand = *sourceList,
                           .lineBreakListCommand = *lineBreaks,
                           .outputListCommand = *outputList,
                           .testCommand = *test,
                           .extractCommand = {},
                           .compressCommand = {}},
            {},
            {}};
}

bool planCommands(ConversionPlan& plan, NativeView workspace, const ConversionOptions& options,
                  bool sourceListsCreationTimes) {
    const std::optional<ToolCommand> extract =
        extractCommand(options.sevenZipFolder, plan.source, workspace);
    const std::optional<ToolCommand> compress =
        compressCommand(options.sevenZipFolder, plan.target, workspace, options.level, options.zip,
                        options.div100MB, options.div1GB,
                        sourceListsCreationTimes && archiver::kKeepsCreationTimes);
    if (!extract || !compress) return false;
    plan.extractCommand = *extract;
    plan.compressCommand = *compress;
    return true;
}

std::vector<NativeString> existingOutputs(const ConversionPlan& plan) {
    std::vector<NativeString> found;
    if (platform::pathExists(plan.target)) found.push_back(plan.target);
    if (!plan.split) return found;
    for (int number = 1; number <= kMaxVolumes; ++number) {
        const std::optional<NativeString> volume = volumePath(plan.target, number);
        if (!volume || !platform::pathExists(*volume)) break;
        found.push_back(*volume);
    }
    return found;
}

std::vector<int> strayVolumes(const ConversionPlan& plan) {
    std::vector<int> present;
    if (!plan.split) return present;
    for (int number = 1; number <= kMaxScannedVolume; ++number) {
        const std::optional<NativeString> volume = volumePath(plan.target, number);
        if (volume && platform::pathExists(*volume)) present.push_back(number);
    }
    return present;
}

}  // namespace pomu
