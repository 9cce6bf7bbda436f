// Loading and saving the conversion options in the settings file.
#pragma once

#include "options/options.h"
#include "platform/text.h"

namespace pomu {

// Fills every option from the file, starting from the defaults: a missing file or key leaves
// the default. div1GB is not read when div100MB is on, so the two never load both on.
void loadSettingsFrom(NativeView file, ConversionOptions& options);

// Writes dir, deleteAlready, deleteProcessed, div100MB, div1GB, zip and keepDate, in that order;
// level and show stay as the file holds them. True when every write succeeded.
bool saveSettingsTo(NativeView file, const ConversionOptions& options);

// The same on the program's own settings file. loadSettings gives the defaults and false when
// that file's path cannot be found.
bool loadSettings(ConversionOptions& options);
bool saveSettings(const ConversionOptions& options);

}  // namespace pomu
