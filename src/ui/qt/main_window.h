// The pomu window: the status line, the options menu, drops and closing.
#pragma once

#include <QWidget>

#include "convert/batch.h"
#include "ui/qt/archiver_folder.h"
#include "ui/qt/folder_drops.h"
#include "ui/qt/launcher_entry.h"
#include "ui/qt/options_menu.h"
#include "ui/qt/password_dialog.h"
#include "ui/qt/prompts.h"
#include "ui/qt/single_instance.h"
#include "ui/qt/status_line.h"

class QLabel;
class QProgressBar;

namespace pomu::ui {

inline constexpr int kStatusControlId = 1001;

class MainWindow : public QWidget {
    Q_OBJECT

  public:
    MainWindow(ConversionOptions& options, RunState& runState, Prompts& prompts,
               QWidget* parent = nullptr);

    // Loads the settings and finds the archiver. Afterwards the window takes drops and has its
    // menu; without the archiver it has closed, and after a cancelled choice it stays inert.
    void setUp(std::span<const NativeView> systemArchiverFolders = kSystemArchiverFolders);

    bool isReady() const { return menu_ != nullptr; }
    bool isClosed() const { return closed_; }
    QLabel* statusLabel() const { return status_; }
    QProgressBar* progressBar() const { return bar_; }
    OptionsMenu* optionsMenu() const { return menu_; }
    const StatusLine& statusLine() const { return statusLine_; }
    const DropBatches& batches() const { return batches_; }
    // Dropped folders are being searched, or drops wait behind them.
    bool dropsWaiting() const { return !drops_.intake().idle(); }

    // A later start asked for the window: it, or the dialog it waits on, comes to the front,
    // with the later start's token where the desktop wants one.
    void bringToFront(const Activation& activation);
    // Files from the command line or a later start: one drop, converted once the window is
    // set up (from the event loop, as a drop is); an inert or closed window takes none.
    void takeFiles(std::vector<NativeString> paths);

  signals:
    // Emitted once, when the window has closed and saved the settings.
    void closed();

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Opens the log in the desktop's viewer for text files.
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Activated, the taskbar entry no longer asks for attention.
    void changeEvent(QEvent* event) override;

  private:
    void layOut();
    bool takesDrops() const { return isReady() && !closed_; }
    void takeDrop(std::vector<NativeString> paths);
    void runDrop(Drop drop);
    // After a batch: the files not converted in the tooltip, and the taskbar asks for
    // attention when the window is not in front.
    void showBatchReport();
    // The close handling; true when the window is closed (now or before).
    bool handleCloseRequest();
    void requestClose();

    ConversionOptions& options_;
    RunState& runState_;
    Prompts& prompts_;
    QLabel* status_;
    QProgressBar* bar_;
    LauncherEntry launcher_;
    StatusLine statusLine_;
    WindowPasswordQuestion passwordQuestion_;
    DropBatches batches_;
    FolderDrops drops_;
    OptionsMenu* menu_ = nullptr;
    bool closed_ = false;
    bool setUpDone_ = false;
    std::vector<std::vector<NativeString>> filesBeforeSetUp_;
};

}  // namespace pomu::ui
