// Telling RAR sources by their ending and reading the archiver's "i" output for RAR support.
#include "convert/rar_support.h"

#include <vector>

#include "convert/archiver.h"
#include "convert/plan.h"
#include "convert/runner.h"

namespace pomu {
namespace {

constexpr NativeView kInfo = POMU_T("i");

std::vector<std::string_view> wordsOf(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < line.size()) {
        const std::size_t start = line.find_first_not_of(" \t\r", at);
        if (start == std::string_view::npos) break;
        std::size_t end = line.find_first_of(" \t\r", start);
        if (end == std::string_view::npos) end = line.size();
        words.push_back(line.substr(start, end - start));
        at = end;
    }
    return words;
}

// A format line names the format, then its endings: "... Rar5     rar r00   R a r ! ...".
bool namesRarFormat(const std::vector<std::string_view>& words) {
    for (std::size_t i = 0; i + 1 < words.size(); ++i) {
        if ((words[i] == "Rar" || words[i] == "Rar5") && words[i + 1] == "rar") return true;
    }
    return false;
}

// A codec line ends with the codec's name: Rar1, Rar2, Rar3 or Rar5.
bool namesRarCodec(const std::vector<std::string_view>& words) {
    if (words.empty()) return false;
    const std::string_view name = words.back();
    return name.size() == 4 && name.substr(0, 3) == "Rar" && name[3] >= '1' && name[3] <= '9';
}

}  // namespace

bool isRarSource(NativeView path) {
    const NativeView extension = findExtension(path);
    if (equalsIgnoringCase(extension, POMU_T(".rar"))) return true;
    return extension.size() == 4 && asciiLower(extension[1]) == Char('r') &&
           extension[2] >= Char('0') && extension[2] <= Char('9') && extension[3] >= Char('0') &&
           extension[3] <= Char('9');
}

std::optional<bool> readsRar(std::string_view info) {
    bool listed = false;
    bool format = false;
    bool codec = false;
    std::string_view section;
    std::size_t at = 0;
    while (at <= info.size()) {
        std::size_t end = info.find('\n', at);
        if (end == std::string_view::npos) end = info.size();
        const std::vector<std::string_view> words = wordsOf(info.substr(at, end - at));
        at = end + 1;
        if (words.size() == 1 && words[0].size() > 1 && words[0].back() == ':') {
            section = words[0];
            listed = listed || section == "Formats:";
            continue;
        }
        if (section == "Formats:") format = format || namesRarFormat(words);
        if (section == "Codecs:") codec = codec || namesRarCodec(words);
    }
    if (!listed) return std::nullopt;
    return format && codec;
}

std::optional<ToolCommand> infoCommand(NativeView sevenZipFolder) {
    ToolCommand command;
    command.program = archiverPath(sevenZipFolder, archiver::kProgramName);
    if (!fitsPath(command.program)) return std::nullopt;
    command.arguments = {NativeString(kInfo)};
    command.line = POMU_T("\"") + command.program + POMU_T("\" ") + NativeString(kInfo);
    return command;
}

void learnRarSupport(const ConversionOptions& options, StatusWindow& window, RunState& runState) {
    if (runState.archiverReadsRar) return;
    const std::optional<ToolCommand> command = infoCommand(options.sevenZipFolder);
    if (!command) {
        runState.archiverReadsRar = true;
        return;
    }
    const ListingRun run = runListing(*command, window, runState);
    // Stopped by force exit: the batch ends, and the question stays open.
    if (run.run.forced) return;
    const bool ended = run.run.exitCode && archiver::runSucceeded(*run.run.exitCode);
    runState.archiverReadsRar = ended ? readsRar(run.output).value_or(true) : true;
}

}  // namespace pomu
