// The program's run: one instance per user, the window's set-up, and the event loop.
#pragma once

#include <QString>

#include "options/options.h"
#include "ui/qt/archiver_folder.h"
#include "ui/qt/prompts.h"
#include "ui/qt/single_instance.h"

namespace pomu::ui {

// Runs in the application object that exists already. Returns 0 at once when another instance
// answers under instanceName, which is handed thisStart's tokens and files; otherwise the
// window converts thisStart's files as one drop, and this returns 0 once the window has
// closed, also when it closed during its set-up or in the middle of a batch.
int runApplication(Prompts& prompts, ConversionOptions& options, RunState& runState,
                   const QString& instanceName, const Activation& thisStart,
                   std::span<const NativeView> systemArchiverFolders = kSystemArchiverFolders);

}  // namespace pomu::ui
