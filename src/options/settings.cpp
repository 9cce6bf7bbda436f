// The settings file's keys, defaults and read buffers over the platform's profile functions.
#include "options/settings.h"

#include "platform/platform.h"

namespace pomu {
namespace {

constexpr NativeView kSection = POMU_T("SystemSetting");
constexpr NativeView kOn = POMU_T("ON");
constexpr NativeView kOff = POMU_T("OFF");
constexpr std::size_t kLevelBufferChars = 5;
constexpr std::size_t kFlagBufferChars = 5;
// Twice the path buffer, so a value too long for it is seen whole and refused, never cut into
// a shorter folder.
constexpr std::size_t kFolderReadChars = 2 * kPathBufferChars;

NativeString read(NativeView file, NativeView key, NativeView defaultValue, std::size_t chars) {
    return platform::readProfileString(file, kSection, key, defaultValue, chars);
}

bool readFlag(NativeView file, NativeView key, bool byDefault = false) {
    return equalsIgnoringCase(read(file, key, byDefault ? kOn : kOff, kFlagBufferChars), kOn);
}

// Empty, or a folder that ends in a separator and fits a path buffer.
NativeString readFolder(NativeView file) {
    NativeString folder = read(file, POMU_T("dir"), POMU_T(""), kFolderReadChars);
    if (!folder.empty() && folder.back() != kSeparator) folder += kSeparator;
    if (!fitsPath(folder)) folder.clear();
    return folder;
}

bool writeFlag(NativeView file, NativeView key, bool on) {
    return platform::writeProfileString(file, kSection, key, on ? kOn : kOff);
}

}  // namespace

void loadSettingsFrom(NativeView file, ConversionOptions& options) {
    options = ConversionOptions{};
    options.sevenZipFolder = readFolder(file);
    options.level = read(file, POMU_T("level"), options.level, kLevelBufferChars);
    options.show = readFlag(file, POMU_T("show"));
    options.deleteAlready = readFlag(file, POMU_T("deleteAlready"));
    options.deleteProcessed = readFlag(file, POMU_T("deleteProcessed"));
    options.div100MB = readFlag(file, POMU_T("div100MB"));
    if (!options.div100MB) options.div1GB = readFlag(file, POMU_T("div1GB"));
    options.zip = readFlag(file, POMU_T("zip"));
    options.keepDate = readFlag(file, POMU_T("keepDate"), true);
}

bool saveSettingsTo(NativeView file, const ConversionOptions& options) {
    // A failed write does not stop the others: each key that can be kept is kept.
    bool saved =
        platform::writeProfileString(file, kSection, POMU_T("dir"), options.sevenZipFolder);
    saved &= writeFlag(file, POMU_T("deleteAlready"), options.deleteAlready);
    saved &= writeFlag(file, POMU_T("deleteProcessed"), options.deleteProcessed);
    saved &= writeFlag(file, POMU_T("div100MB"), options.div100MB);
    saved &= writeFlag(file, POMU_T("div1GB"), options.div1GB);
    saved &= writeFlag(file, POMU_T("zip"), options.zip);
    saved &= writeFlag(file, POMU_T("keepDate"), options.keepDate);
    return saved;
}

bool loadSettings(ConversionOptions& options) {
    const std::optional<NativeString> file = platform::settingsFilePath();
    if (!file) {
        options = ConversionOptions{};
        return false;
    }
    loadSettingsFrom(*file, options);
    return true;
}

bool saveSettings(const ConversionOptions& options) {
    const std::optional<NativeString> file = platform::settingsFilePath();
    return file && saveSettingsTo(*file, options);
}

}  // namespace pomu
