// The window's set-up, its events, the drop batch and the close handling.
#include "ui/qt/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressBar>
#include <QScreen>
#include <QTextDocument>
#include <QUrl>
#include <utility>

#include "options/settings.h"
#include "ui/qt/app_icon.h"
#include "ui/qt/dialog_units.h"
#include "ui/qt/dropped_paths.h"
#include "ui/qt/x11_startup.h"

namespace pomu::ui {
namespace {

const QString kCaption = QStringLiteral("pomu");
const QString kForceExitQuestion = QStringLiteral("Now processing...\nForce exit?");

// The template: a 75 x 57 window with the status line at 7,22 sized 61 x 12 dialog units.
constexpr QSize kWindowUnits(75, 57);
constexpr QRect kStatusUnits(7, 22, 61, 12);
// The progress bar: the client area's whole width along its bottom edge, this many units high.
constexpr int kProgressUnitsHigh = 2;
constexpr int kProgressSteps = 1000;

// The longest line the status shows; the label widens, still centred, when it would not fit.
const QString kWidestLine = QStringLiteral("Processing file...");

QString toQString(NativeView text) {
    return QFile::decodeName(QByteArray(text.data(), qsizetype(text.size())));
}

// File names are shown as they are: a name that looks like markup is not rendered as such.
QString plainToolTip(NativeView text) {
    const QString tip = toQString(text);
    return Qt::mightBeRichText(tip) ? Qt::convertFromPlainText(tip, Qt::WhiteSpacePre) : tip;
}

// Files are always copied from the drop's point of view: the source must never think they
// were moved here and remove them.
bool acceptAsCopy(QDropEvent* event) {
    if (!(event->possibleActions() & Qt::CopyAction)) return false;
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return true;
}

}  // namespace

MainWindow::MainWindow(ConversionOptions& options, RunState& runState, Prompts& prompts,
                       QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      options_(options),
      runState_(runState),
      prompts_(prompts),
      status_(new QLabel(QStringLiteral("Drop file here."), this)),
      bar_(new QProgressBar(this)),
      statusLine_(status_, bar_),
      passwordQuestion_(prompts_, *this),
      batches_(statusLine_, options_, runState_),
      drops_(*this, prompts_, statusLine_, options_, runState_,
             [this](Drop drop) { runDrop(std::move(drop)); }) {
    batches_.setPasswordQuestion(&passwordQuestion_);
    setWindowTitle(kCaption);
    setWindowIcon(appIcon());
    status_->setObjectName(QStringLiteral("status"));
    status_->setProperty("controlId", kStatusControlId);
    status_->setTextFormat(Qt::PlainText);
    status_->setAlignment(Qt::AlignCenter);
    status_->setWordWrap(true);
    // Right clicks and drops over the label belong to the window.
    status_->setAttribute(Qt::WA_TransparentForMouseEvents);
    bar_->setObjectName(QStringLiteral("progress"));
    bar_->setRange(0, kProgressSteps);
    bar_->setTextVisible(false);
    bar_->setAttribute(Qt::WA_TransparentForMouseEvents);
    bar_->hide();
    connect(&statusLine_, &StatusLine::progressShown, this, [this](bool visible, double fraction) {
        launcher_.showProgress(visible ? std::optional<double>(fraction) : std::nullopt);
    });
    layOut();
}

void MainWindow::layOut() {
    const QFontMetrics metrics = fontMetrics();
    const DialogUnits units = dialogUnitsOf(metrics);
    const QSize size(units.toPixelsX(kWindowUnits.width()), units.toPixelsY(kWindowUnits.height()));
    setFixedSize(size);

    QRect label = units.toPixels(kStatusUnits);
    const QPoint centre = label.center();
    const int lineWidth = metrics.horizontalAdvance(kWidestLine) + metrics.averageCharWidth();
    label.setWidth(std::min(size.width(), std::max(label.width(), lineWidth)));
    label.setHeight(std::max(label.height(), 2 * metrics.lineSpacing() + 2));
    label.moveCenter(centre);
    label.moveLeft((size.width() - label.width()) / 2);
    status_->setGeometry(label);
    const int barHeight = std::max(3, units.toPixelsY(kProgressUnitsHigh));
    bar_->setGeometry(0, size.height() - barHeight, size.width(), barHeight);

    // Centred on the screen, as the template asks; no window manager does it for us.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(size.width() / 2, size.height() / 2));
    }
}

void MainWindow::setUp(std::span<const NativeView> systemArchiverFolders) {
    loadSettings(options_);
    switch (locateArchiver(options_, prompts_, this, systemArchiverFolders)) {
        case ArchiverFolder::ready:
            setAcceptDrops(true);
            menu_ = new OptionsMenu(options_, this);
            break;
        case ArchiverFolder::cancelled:
            // Inert: no drops, no menu; closing saves the folder as it was loaded.
            break;
        case ArchiverFolder::programMissing:
        case ArchiverFolder::libraryMissing:
            requestClose();
            break;
    }
    setUpDone_ = true;
    for (std::vector<NativeString>& paths : std::exchange(filesBeforeSetUp_, {})) {
        takeFiles(std::move(paths));
    }
}

void MainWindow::takeFiles(std::vector<NativeString> paths) {
    // A later start may come while the folder chooser is open.
    if (!setUpDone_) {
        filesBeforeSetUp_.push_back(std::move(paths));
        return;
    }
    if (!takesDrops() || paths.empty()) return;
    QMetaObject::invokeMethod(
        this, [this, paths = std::move(paths)]() mutable { takeDrop(std::move(paths)); },
        Qt::QueuedConnection);
}

void MainWindow::bringToFront(const Activation& activation) {
    QWidget* front = QApplication::activeModalWidget();
    if (!front && !closed_ && isVisible()) front = this;
    if (!front) return;
    if (front->isMinimized()) front->showNormal();
    front->raise();
    // Wayland gives the focus only with a token from the launcher, which gave it to the later
    // start. Qt's Wayland plugin reads the variable as the window asks for the focus (and
    // takes it away); it never reaches the archiver or the log's viewer. On X11 the later
    // start's startup id ends the launch and carries the launch time.
    const bool token = !activation.xdgActivationToken.isEmpty();
    if (token) qputenv("XDG_ACTIVATION_TOKEN", activation.xdgActivationToken);
    front->activateWindow();
    if (token) qunsetenv("XDG_ACTIVATION_TOKEN");
    finishX11Startup(*front, activation.startupId);
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
    if (!menu_ || closed_) return;
    activateWindow();
    // From the keyboard the menu opens under the status line.
    const QPoint at = event->reason() == QContextMenuEvent::Keyboard
                          ? status_->mapToGlobal(QPoint(status_->width() / 2, status_->height()))
                          : event->globalPos();
    menu_->popup(at);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (takesDrops() && !localPaths(event->mimeData()).empty() && acceptAsCopy(event)) return;
    event->ignore();
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event) {
    if (takesDrops() && acceptAsCopy(event)) return;
    event->ignore();
}

void MainWindow::dropEvent(QDropEvent* event) {
    std::vector<NativeString> paths = localPaths(event->mimeData());
    if (!takesDrops() || paths.empty() || !acceptAsCopy(event)) {
        event->ignore();
        return;
    }
    // The batch starts once the drop has been answered, so the drag source is not held for
    // the whole conversion.
    QMetaObject::invokeMethod(
        this, [this, paths = std::move(paths)]() mutable { takeDrop(std::move(paths)); },
        Qt::QueuedConnection);
}

void MainWindow::takeDrop(std::vector<NativeString> paths) {
    if (closed_) return;
    drops_.intake().take(std::move(paths));
}

void MainWindow::runDrop(Drop drop) {
    if (closed_) return;
    // The tooltip speaks of the last batch only; a drop that waits in the queue changes nothing.
    if (!runState_.busy) setToolTip(QString());
    switch (batches_.drop(std::move(drop))) {
        case BatchEnd::finished:
            showBatchReport();
            drops_.intake().resume();
            break;
        case BatchEnd::queued:
            break;
        case BatchEnd::forceExit:
            requestClose();
            break;
    }
}

void MainWindow::showBatchReport() {
    if (closed_) return;
    setToolTip(plainToolTip(tooltipText(batches_.lastReport())));
    // Without a duration the taskbar entry asks until the window is activated.
    if (!isActiveWindow()) {
        QApplication::alert(this);
        launcher_.setUrgent(true);
    }
}

void MainWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) launcher_.setUrgent(false);
    QWidget::changeEvent(event);
}

void MainWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
    const std::optional<NativeString>& log = batches_.logPath();
    if (!log || !platform::pathExists(*log)) return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(toQString(*log)));
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Escape || event->modifiers() != Qt::NoModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    // While a batch runs, ESC does nothing; the close box asks about force exit instead.
    if (!runState_.busy) requestClose();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (handleCloseRequest()) {
        event->accept();
    } else {
        event->ignore();
    }
}

void MainWindow::requestClose() {
    if (handleCloseRequest()) hide();
}

bool MainWindow::handleCloseRequest() {
    if (closed_) return true;
    if (runState_.busy && !runState_.forceExit) {
        if (prompts_.askYesNo(this, kCaption, kForceExitQuestion)) runState_.forceExit = true;
        return false;
    }
    closed_ = true;
    drops_.intake().clear();
    saveSettings(options_);
    // Nothing the running batch still does reaches the closed window.
    statusLine_.detach();
    setAcceptDrops(false);
    if (menu_) menu_->hide();
    emit closed();
    return true;
}

}  // namespace pomu::ui
