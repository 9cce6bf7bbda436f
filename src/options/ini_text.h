// INI text rules for the Linux settings file: finding and setting one key as plain string edits.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace pomu::ini {

// The rules follow the Windows profile functions as Wine implements them:
// - section and key names match ignoring the case of A-Z, with blanks around them trimmed;
// - only the first section of a name is searched, and its first key of a name wins;
// - lines end in LF, CRLF or a lone CR; a UTF-8 byte-order mark is skipped;
// - lines starting with ';' or '#' are comments, and no line but the edited one changes.

// The trimmed value of the key; empty when the key is missing or its line has no '='.
std::optional<std::string_view> findValue(std::string_view text, std::string_view section,
                                          std::string_view key);

// What a profile read hands back for a value: the text up to a NUL, one pair of matching
// surrounding quotes (" or ') removed, then at most bufferBytes - 1 bytes, cut at a UTF-8
// character boundary.
std::string profileCopy(std::string_view value, std::size_t bufferBytes);

// True when the key can be written without breaking the file's lines: no line break or NUL
// anywhere, names not empty, a key with no '=' that does not read as a comment or a section,
// a section name with no ']'.
bool canWrite(std::string_view section, std::string_view key, std::string_view value);

// The text with the key set: its line rewritten in place, or a new line after the section's
// last key, or the section appended at the end. New lines use the text's own line ending (LF
// for a text that has none).
std::string setValue(std::string_view text, std::string_view section, std::string_view key,
                     std::string_view value);

}  // namespace pomu::ini
