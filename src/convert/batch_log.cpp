// Log lines in UTF-8, their local time, and appending with one old log kept.
#include "convert/batch_log.h"

#include <cstdio>
#include <ctime>

#include "pomu_version.h"

namespace pomu {
namespace {

#ifdef _WIN32
constexpr std::string_view kLogBreak = "\r\n";
#else
constexpr std::string_view kLogBreak = "\n";
#endif

#ifndef _WIN32
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The length of the valid UTF-8 sequence at the start of the bytes, or 0.
std::size_t validSequence(std::string_view bytes) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || lead == 0xC0 || lead == 0xC1 || bytes.size() < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
    }
    // Overlong forms, surrogates and code points past U+10FFFF.
    if (lead == 0xE0 && byte(1) < 0xA0) return 0;
    if (lead == 0xED && byte(1) >= 0xA0) return 0;
    if (lead == 0xF0 && byte(1) < 0x90) return 0;
    if (lead == 0xF4 && byte(1) >= 0x90) return 0;
    return length;
}
#endif

// A field of a log line: a line break or a tab in a name would forge a line or a column.
std::string field(NativeView text) {
    std::string out = utf8Of(text);
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return out;
}

std::string secondsText(double seconds) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f s", seconds);
    return buffer;
}

std::string_view outcomeWord(FileOutcome outcome) {
    switch (outcome) {
        case FileOutcome::converted:
            return "converted";
        case FileOutcome::notConverted:
            return "not converted";
        case FileOutcome::skipped:
            return "skipped";
    }
    return "not converted";
}

}  // namespace

std::string utf8Of(NativeView text) {
#ifdef _WIN32
    return toUtf8(text);  // a lone surrogate becomes U+FFFD there
#else
    // Names are bytes here and need not be UTF-8; the log stays valid UTF-8 all the same.
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = validSequence(text);
        if (length == 0) {
            out += kReplacement;
            text.remove_prefix(1);
        } else {
            out += text.substr(0, length);
            text.remove_prefix(length);
        }
    }
    return out;
#endif
}

std::string fileLogLine(std::string_view localTime, const FileReport& file) {
    std::string line(localTime);
    line += '\t';
    line += outcomeWord(file.outcome);
    line += '\t' + field(file.reason) + '\t' + field(file.source) + '\t' + field(file.target);
    line += '\t' + secondsText(file.seconds);
    line += kLogBreak;
    return line;
}

std::string batchLogLine(std::string_view localTime, const BatchReport& batch) {
    const std::size_t files = batch.files.size();
    std::string line(localTime);
    line += "\tbatch\t" + std::to_string(files) + (files == 1 ? " file: " : " files: ");
    line += std::to_string(batch.count(FileOutcome::converted)) + " converted, ";
    line += std::to_string(batch.count(FileOutcome::notConverted)) + " not converted, ";
    line += std::to_string(batch.count(FileOutcome::skipped)) + " skipped";
    if (batch.stopped) line += ", stopped by force exit";
    // Which pomu wrote the batch, for a log that outlives an update.
    line += " (pomu " POMU_VERSION ")";
    line += "\t\t\t" + secondsText(batch.seconds);
    line += kLogBreak;
    return line;
}

std::string localTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    if (localtime_s(&local, &now) != 0) return "?";
#else
    if (!localtime_r(&now, &local)) return "?";
#endif
    char buffer[32];
    if (std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local) == 0) return "?";
    return buffer;
}

bool appendToLog(NativeView path, std::string_view bytes) {
    const std::optional<std::uint64_t> size = platform::readFileSize(path);
    if (size && *size + bytes.size() > kLogLimitBytes) {
        NativeString old(path);
        old += POMU_T(".1");
        // A log that cannot be set aside is not written past its limit.
        if (!platform::renameFile(path, old)) return false;
    }
    return platform::appendToFile(path, bytes);
}

void BatchLog::fileEnded(const FileReport& file) const {
    if (path_) appendToLog(*path_, fileLogLine(localTimeNow(), file));
}

void BatchLog::batchEnded(const BatchReport& batch) const {
    if (path_) appendToLog(*path_, batchLogLine(localTimeNow(), batch));
}

}  // namespace pomu
