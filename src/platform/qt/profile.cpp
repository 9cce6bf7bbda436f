// Linux profile functions: the settings file as UTF-8 INI text, replaced whole on each write.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>

#include "options/ini_text.h"
#include "platform/platform.h"
#include "platform/qt/posix_handles.h"

namespace pomu::platform {
namespace {

using posix::ensureFolder;
using posix::parentFolder;
using posix::UniqueFd;

// Only this much of a file is read; a longer file is never rewritten, since writing back the
// part that was read would drop the rest.
constexpr std::size_t kMaxFileBytes = std::size_t(1) << 20;

struct FileText {
    std::string text;
    mode_t mode = 0600;  // the mode a new file gets
    bool exists = false;
    bool whole = true;  // false when the file is longer than kMaxFileBytes
};

// A missing file reads as empty; empty result when the file cannot be read or is no regular
// file (a FIFO is never waited on).
std::optional<FileText> readText(const std::string& path) {
    FileText file;
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd.valid()) {
        if (errno == ENOENT) return file;
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    file.exists = true;
    file.mode = info.st_mode & 07777;
    file.text.resize(kMaxFileBytes + 1);
    std::size_t size = 0;
    while (size < file.text.size()) {
        const ssize_t got = ::read(fd.get(), file.text.data() + size, file.text.size() - size);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::nullopt;
        if (got == 0) break;
        size += std::size_t(got);
    }
    file.whole = size <= kMaxFileBytes;
    file.text.resize(std::min(size, kMaxFileBytes));
    return file;
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        done += std::size_t(wrote);
    }
    return true;
}

// The temporary file is removed unless it was renamed into place.
class TempFile {
  public:
    explicit TempFile(std::string path) : path_(std::move(path)) {}
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (!kept_) ::unlink(path_.c_str());
    }
    const std::string& path() const { return path_; }
    void keep() { kept_ = true; }

  private:
    std::string path_;
    bool kept_ = false;
};

// Writes a full copy beside the file, flushes it, then renames it over the file, so a crash
// leaves either the old file or the new one.
bool replaceFile(const std::string& path, const std::string& text, mode_t mode) {
    const std::string folder = parentFolder(path);
    const std::size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string pattern = folder + "/." + name + ".XXXXXX";
    UniqueFd fd(::mkostemp(pattern.data(), O_CLOEXEC));
    if (!fd.valid()) return false;
    TempFile temp(pattern);
    if (::fchmod(fd.get(), mode) != 0 || !writeAll(fd.get(), text) || ::fsync(fd.get()) != 0 ||
        ::close(fd.release()) != 0) {
        return false;
    }
    if (::rename(temp.path().c_str(), path.c_str()) != 0) return false;
    temp.keep();
    UniqueFd folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.valid()) ::fsync(folderFd.get());
    return true;
}

// A settings file kept as a link elsewhere stays a link: the file it names is replaced.
std::optional<std::string> resolveLink(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) return std::nullopt;
    std::string resolved(real);
    std::free(real);
    return resolved;
}

}  // namespace

NativeString readProfileString(NativeView file, NativeView section, NativeView key,
                               NativeView defaultValue, std::size_t bufferChars) {
    const std::optional<std::string> path = posix::cPath(file);
    std::optional<FileText> content;
    if (path) content = readText(*path);
    std::optional<std::string_view> value;
    if (content) value = ini::findValue(content->text, section, key);
    return ini::profileCopy(value.value_or(defaultValue), bufferChars);
}

bool writeProfileString(NativeView file, NativeView section, NativeView key, NativeView value) {
    if (!ini::canWrite(section, key, value)) return false;
    const std::optional<std::string> given = posix::cPath(file);
    if (!given) return false;
    const std::optional<std::string> path = resolveLink(*given);
    if (!path || !ensureFolder(parentFolder(*path))) return false;
    const std::optional<FileText> old = readText(*path);
    if (!old || !old->whole) return false;
    const std::string text = ini::setValue(old->text, section, key, value);
    if (old->exists && text == old->text) return true;
    return replaceFile(*path, text, old->mode);
}

}  // namespace pomu::platform
