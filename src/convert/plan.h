// The conversion plan: skip rule, target and first output names, archiver commands, volume set,
// and the outputs already standing where it writes.
#pragma once

#include <optional>
#include <vector>

#include "convert/listing.h"
#include "convert/outcome.h"
#include "options/options.h"
#include "platform/platform.h"

namespace pomu {

inline constexpr int kMaxVolumeSetMembers = 99;

// The extension as the shell finds it: from the last dot of the last path component to the
// end; empty when there is none or a blank follows that dot.
NativeView findExtension(NativeView path);

// The path with its extension replaced, or the new one appended when it has none. Empty when
// the result would not fit a path buffer: the caller must never fall back to the source.
std::optional<NativeString> renameExtension(NativeView path, NativeView extension);

NativeView targetExtension(bool zip);

// ".cbr", ".cbz", ".cb7" or ".cbt" (any case): a comic book, whose new archive stays one.
bool isComic(NativeView source);

// The new archive's extension for this source: ".cbz" or ".cb7" for a comic book.
NativeView targetExtension(NativeView source, bool zip);

// A source that already has the target extension is not converted.
bool isSkipped(NativeView source, bool zip);

// False for a level the archiver would read as more than the level: a blank, a tab or a
// double quote ends the switch on Windows, a leading '@' or '-' starts a list file or a switch.
bool isAcceptedLevel(NativeView level);

// Linux: the archiver expands '*' and '?' in the archive name it is given, so such a source
// would stand for every matching file. Windows names cannot hold them.
bool holdsWildcard(NativeView source);

// For a source ending in ".part1.rar" (any case): the path without that ending.
std::optional<NativeString> volumeSetBase(NativeView source);

// The new archive's path: the set base or the source, with the target extension. Empty when
// it would not fit; never equal to the source.
std::optional<NativeString> targetPath(NativeView source, bool zip);

// The file whose existence and size prove success: the target, or its first volume.
std::optional<NativeString> firstOutputPath(NativeView target, bool split);

// The n-th output volume (1 is ".001").
std::optional<NativeString> volumePath(NativeView target, int number);

// The archiver's program path: the folder prefix followed by the program's file name.
NativeString archiverPath(NativeView sevenZipFolder, NativeView fileName);

// "<folder>7z.exe" x "<source>" -o"<workspace>" -r
std::optional<ToolCommand> extractCommand(NativeView sevenZipFolder, NativeView source,
                                          NativeView workspace);

// "<folder>7z.exe" a "<target>" "<workspace>*" -mx=<level> [-tzip] [-v100m | -v1g] [-mtc=on]
std::optional<ToolCommand> compressCommand(NativeView sevenZipFolder, NativeView target,
                                           NativeView workspace, NativeView level, bool zip,
                                           bool div100MB, bool div1GB, bool creationTimes = false);

// "<folder>7z.exe" l -slt -sccUTF-8 "<archive>": the listing the proof reads.
std::optional<ToolCommand> listCommand(NativeView sevenZipFolder, NativeView archive);

// "<folder>7z.exe" l -slt -sccUTF-8 -sns -r "<archive>" "*<line break>*": the entries whose
// names hold a line break.
std::optional<ToolCommand> lineBreakListCommand(NativeView sevenZipFolder, NativeView archive);

// "<folder>7z.exe" t "<archive>": reads the new archive's data back before any source moves.
std::optional<ToolCommand> testCommand(NativeView sevenZipFolder, NativeView archive);

// For a later volume of a RAR set ("x.part2.rar", "x.part03.rar"; any case): the first volume's
// name, the number 1 written as wide as the dropped one's. Empty for any other name.
std::optional<NativeString> firstVolumeOf(NativeView source);

// For the first volume of a RAR set ("x.part1.rar", "x.part01.rar", "x.part001.rar"; any case):
// how many digits its number has; 0 for any other name.
std::size_t setStartDigits(NativeView source);

// The source files a processed source stands for, for the first volume of a set: the names
// the archiver itself opens after it, the dropped name with its number counted on as wide
// ("X.PART2.RAR" after "X.PART1.RAR", "x.part02.rar" after "x.part01.rar"), from 1 up to 99
// (999 for three digits; and to at most `opened`), stopping at the first missing one;
// otherwise the source.
std::vector<NativeString> volumeSet(NativeView source, int opened = kMaxVolumeSetMembers);

// Everything the source's name and the options decide about one conversion, worked out once
// before anything runs.
struct ConversionPlan {
    NativeString source;
    NativeView targetExtension;                 // ".zip" or ".7z"; ".cbz" or ".cb7" for a comic
    std::optional<NativeString> volumeSetBase;  // a ".part1.rar" source without that ending
    NativeString target;
    NativeString firstOutputPath;   // the file whose existence and size prove success
    bool split = false;             // the output is the target's volumes from .001 on
    std::uint64_t volumeBytes = 0;  // split: the size of each volume but the last
    // With the source to be moved afterwards: the files it stands for, as they are now.
    std::vector<NativeString> volumeSet;
    ToolCommand sourceListCommand;  // the listing the proof reads
    // Where the archiver renames line breaks: the source's names that hold one.
    ToolCommand lineBreakListCommand;
    ToolCommand outputListCommand;  // the same of the new archive
    ToolCommand testCommand;        // reads the new archive back before a source moves
    // For the working folder given to planCommands:
    ToolCommand extractCommand;
    ToolCommand compressCommand;
};

// The plan, or why the file is not converted at all: skipped (detail: its extension), a path
// or command line that does not fit, a name or a setting the archiver would misread.
struct PlannedConversion {
    std::optional<ConversionPlan> plan;
    Reason refusal = Reason::pathTooLong;
    NativeString detail;
    // A comic named as its target would be: skipped only when this listing says it already is
    // that format; otherwise its new archive would take its own name.
    std::optional<ToolCommand> sameNameListing = std::nullopt;
};

PlannedConversion planConversion(NativeView source, const ConversionOptions& options);

// The plan's extraction into and compression from the working folder, keeping creation times
// where the source lists them and they can be kept; false when either line would not fit.
bool planCommands(ConversionPlan& plan, NativeView workspace, const ConversionOptions& options,
                  bool sourceListsCreationTimes = false);

// What already stands where the plan writes: the target and, in split mode, the run of
// volumes from .001 on.
std::vector<NativeString> existingOutputs(const ConversionPlan& plan);

// Volumes that stand beside a split target before compression (a stray .003 with no .001):
// never the job's own.
std::vector<int> strayVolumes(const ConversionPlan& plan);

// A file of the set as it stood before the archiver read it.
struct SetMember {
    NativeString path;
    std::uint64_t size = 0;
};

// What leaves with a converted source: a ".part1.rar" set whole or not at all, as many
// members as its listing says the archiver read and their sizes adding up to the listed
// total, so every byte moved was read; a lone archive of that name, or any other source, by
// itself. `members`: volumeSet's files in order, with their sizes.
std::vector<NativeString> leavingSources(NativeView source, const std::vector<SetMember>& members,
                                         const Listing& listing);

}  // namespace pomu
