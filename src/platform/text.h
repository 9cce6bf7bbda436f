// Native path strings, the path and command-line limits, and ASCII-only case rules.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pomu {

#ifdef _WIN32
using Char = wchar_t;
#define POMU_T(s) L##s
inline constexpr Char kSeparator = L'\\';
// A path buffer holds 260 characters with its terminator; a command line twice that.
inline constexpr std::size_t kPathBufferChars = 260;
inline constexpr std::size_t kCommandBufferChars = 520;
#else
using Char = char;
#define POMU_T(s) s
inline constexpr Char kSeparator = '/';
inline constexpr std::size_t kPathBufferChars = 4096;  // PATH_MAX
inline constexpr std::size_t kCommandBufferChars = 4 * 4096;
#endif

// Paths are kept losslessly: UTF-16 on Windows, bytes on Linux.
using NativeString = std::basic_string<Char>;
using NativeView = std::basic_string_view<Char>;

inline constexpr std::size_t kMaxPathChars = kPathBufferChars - 1;
inline constexpr std::size_t kMaxCommandChars = kCommandBufferChars - 1;

constexpr bool fitsPath(NativeView path) {
    return path.size() <= kMaxPathChars;
}

constexpr Char asciiLower(Char c) {
    return (c >= Char('A') && c <= Char('Z')) ? Char(c - Char('A') + Char('a')) : c;
}

// Only A-Z fold, as the runtime's case-insensitive wide comparison does in its default locale.
constexpr bool equalsIgnoringCase(NativeView a, NativeView b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    }
    return true;
}

// A name as the file system tells names apart: A-Z folded on Windows, as it stands on Linux.
inline NativeString nameKey(NativeView name) {
    NativeString key(name);
#ifdef _WIN32
    for (Char& c : key) c = asciiLower(c);
#endif
    return key;
}

constexpr bool endsWithIgnoringCase(NativeView text, NativeView ending) {
    return text.size() >= ending.size() &&
           equalsIgnoringCase(text.substr(text.size() - ending.size()), ending);
}

// The last component of a path: what the user sees as the file's name.
constexpr NativeView fileNameOf(NativeView path) {
#ifdef _WIN32
    const std::size_t cut = path.find_last_of(L"\\/");
#else
    const std::size_t cut = path.find_last_of('/');
#endif
    return cut == NativeView::npos ? path : path.substr(cut + 1);
}

// Decimal text of a number in native characters.
NativeString toNative(long long number);

// UTF-8 text of a native string (unchanged bytes on Linux); an unpaired surrogate becomes
// U+FFFD.
std::string toUtf8(NativeView text);

// A native string from UTF-8 (unchanged bytes on Linux); a malformed sequence becomes U+FFFD.
NativeString fromUtf8(std::string_view text);

// Cuts a tool's output down to its latest bytes, at most `limit`: when anything is cut, the
// text starts after a line break, carriage return or backspace, so no line is left cut short.
void keepLatestOutput(std::string& text, std::size_t limit);

}  // namespace pomu
