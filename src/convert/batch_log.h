// The plain-text log of batches: a UTF-8 line per file and per batch, appended, kept small.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "convert/report.h"

namespace pomu {

// At this size the log becomes pomu.log.1, replacing an older one.
inline constexpr std::uint64_t kLogLimitBytes = std::uint64_t(1) << 20;

// The text as UTF-8; what cannot be encoded (a lone surrogate, a byte that is no UTF-8)
// becomes U+FFFD.
std::string utf8Of(NativeView text);

// "<time>\t<outcome>\t<reason>\t<source>\t<target>\t<seconds> s" and the line break.
std::string fileLogLine(std::string_view localTime, const FileReport& file);
// "<time>\tbatch\t<N files: counts> (pomu <version>)\t\t\t<seconds> s" and the line break.
std::string batchLogLine(std::string_view localTime, const BatchReport& batch);

// "YYYY-MM-DD hh:mm:ss" of this moment in local time.
std::string localTimeNow();

// Appends the bytes, first renaming a log that would grow past the limit to "<path>.1".
// False when the log could not be written; nothing else happens then.
bool appendToLog(NativeView path, std::string_view bytes);

// Writes the batch's lines as they come; without a path, or when writing fails, it says
// nothing and the batch goes on.
class BatchLog {
  public:
    explicit BatchLog(std::optional<NativeString> path) : path_(std::move(path)) {}
    void fileEnded(const FileReport& file) const;
    void batchEnded(const BatchReport& batch) const;
    const std::optional<NativeString>& path() const { return path_; }

  private:
    std::optional<NativeString> path_;
};

}  // namespace pomu
