// Encryption rules: what a source's listing says, the switches of the runs fed a password, and
// whether the new archive is encrypted as it must be.
#include "convert/encryption.h"

#include <algorithm>

#include "convert/archiver.h"

namespace pomu {
namespace {

constexpr NativeView kPasswordSwitch = POMU_T("-p");  // no value: read from the input
constexpr NativeView kHiddenNamesSwitch = POMU_T("-mhe=on");
constexpr NativeView kZipAesSwitch = POMU_T("-mem=AES256");

bool addSwitches(ToolCommand& command, std::initializer_list<NativeView> switches) {
    for (NativeView flag : switches) {
        command.arguments.emplace_back(flag);
        command.line += POMU_T(" ");
        command.line += flag;
    }
    return command.line.size() <= kMaxCommandChars;
}

}  // namespace

Encryption encryptionOf(const Listing& listing) {
    if (listing.encrypted) return Encryption::names;
    return listing.anyEncrypted() ? Encryption::data : Encryption::none;
}

bool encryptCommands(ConversionPlan& plan, bool zip) {
    const NativeView hidden = zip ? kZipAesSwitch : kHiddenNamesSwitch;
    return addSwitches(plan.extractCommand, {archiver::kUtf8OutputSwitch}) &&
           addSwitches(plan.compressCommand,
                       {kPasswordSwitch, hidden, archiver::kUtf8OutputSwitch}) &&
           addSwitches(plan.testCommand, {archiver::kUtf8OutputSwitch});
}

bool encryptedAsNeeded(const Listing& packed, bool sevenZip) {
    if (sevenZip && !packed.encrypted) return false;
    return std::all_of(packed.entries.begin(), packed.entries.end(), [](const ListedEntry& e) {
        return e.encrypted || e.folder || e.size.value_or(1) == 0;
    });
}

bool zipTakesPassword(std::string_view password) {
    constexpr std::size_t kMaxZipPasswordChars = 99;  // WinZip's AES
    return password.size() <= kMaxZipPasswordChars &&
           std::all_of(password.begin(), password.end(), [](char c) {
               return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x80;
           });
}

std::optional<ToolCommand> passwordProbe(const ToolCommand& extract) {
    if (extract.arguments.size() < 2) return std::nullopt;
    ToolCommand probe;
    probe.program = extract.program;
    probe.arguments = {NativeString(archiver::kTest), extract.arguments[1]};
    probe.line = POMU_T("\"") + probe.program + POMU_T("\" ") + probe.arguments[0] + POMU_T(" \"") +
                 probe.arguments[1] + POMU_T("\"");
    if (!addSwitches(probe, {archiver::kUtf8OutputSwitch})) return std::nullopt;
    return probe;
}

bool saysWrongPassword(std::string_view output) {
    return output.find("Wrong password") != std::string_view::npos;
}

}  // namespace pomu
