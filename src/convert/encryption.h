// What a source's encryption asks of the new archive and of the runs fed its password.
#pragma once

#include <optional>
#include <string_view>

#include "convert/listing.h"
#include "convert/plan.h"

namespace pomu {

enum class Encryption {
    none,
    data,   // files encrypted, names readable (zip, 7z without -mhe, RAR -p)
    names,  // the names too: the listing needs the password (7z -mhe, RAR -hp)
};

Encryption encryptionOf(const Listing& listing);

// The runs of an encrypted source and of its new archive: each reads the password as UTF-8
// (7-Zip for Windows reads its input in the OEM code page otherwise), and the new archive is
// made with a password asked for on the input, AES-256 and, in 7z, its names hidden whatever
// the source hid. False when a line would not fit.
bool encryptCommands(ConversionPlan& plan, bool zip);

// The new archive is encrypted where the source was: every entry that holds data and, in a 7z,
// the names (its listing asked for the password).
bool encryptedAsNeeded(const Listing& packed, bool sevenZip);

// 7-Zip makes a ZIP only with a password of printable ASCII, 99 characters at most.
bool zipTakesPassword(std::string_view password);

// A hidden test of the source, which tells a wrong password from damage when the extraction's
// own output was the user's to see.
std::optional<ToolCommand> passwordProbe(const ToolCommand& extract);

// 7-Zip's words for a password that did not open the archive or its files.
bool saysWrongPassword(std::string_view output);

}  // namespace pomu
