// The set-up's search for 7z and 7z.so, with the folder chooser and the two error messages.
#include "ui/qt/archiver_folder.h"

#include <QFile>

#include "convert/archiver.h"
#include "convert/plan.h"

namespace pomu::ui {
namespace {

const QString kCaption = QStringLiteral("pomu");

bool holdsFile(NativeView folder, NativeView fileName) {
    return platform::pathExists(archiverPath(folder, fileName));
}

QString missingText(NativeView fileName) {
    return QFile::decodeName(QByteArray(fileName.data(), qsizetype(fileName.size()))) +
           QStringLiteral(" not found");
}

}  // namespace

bool holdsArchiver(NativeView folder) {
    return holdsFile(folder, archiver::kProgramName) && holdsFile(folder, archiver::kLibraryName);
}

ArchiverFolder locateArchiver(ConversionOptions& options, Prompts& prompts, QWidget* owner,
                              std::span<const NativeView> systemFolders) {
    // An empty folder would make the program a bare name found somewhere on the search path,
    // not the file tested here; it never stays empty when the archiver is used.
    NativeString folder = options.sevenZipFolder;
    for (const NativeView systemFolder : systemFolders) {
        if (!folder.empty()) break;
        if (holdsArchiver(systemFolder)) folder = systemFolder;
    }
    if (folder.empty() || !holdsFile(folder, archiver::kProgramName)) {
        const std::optional<QString> chosen =
            prompts.chooseFolder(owner, QStringLiteral("Select 7-Zip Folder"));
        if (!chosen) return ArchiverFolder::cancelled;
        const QByteArray bytes = QFile::encodeName(*chosen);
        folder.assign(bytes.constData(), std::size_t(bytes.size()));
        folder += kSeparator;
    }
    options.sevenZipFolder = folder;
    if (!holdsFile(folder, archiver::kProgramName)) {
        prompts.showError(owner, kCaption, missingText(archiver::kProgramName));
        return ArchiverFolder::programMissing;
    }
    if (!holdsFile(folder, archiver::kLibraryName)) {
        prompts.showError(owner, kCaption, missingText(archiver::kLibraryName));
        return ArchiverFolder::libraryMissing;
    }
    return ArchiverFolder::ready;
}

}  // namespace pomu::ui
