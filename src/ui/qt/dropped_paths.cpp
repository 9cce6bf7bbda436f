// Local file URLs of a drop turned into paths without altering their bytes.
#include "ui/qt/dropped_paths.h"

#include <QMimeData>
#include <QUrl>

namespace pomu::ui {

NativeString localPath(const QUrl& url) {
    if (!url.isLocalFile()) return {};
    // A file on another host is not a path on this machine.
    const QString host = url.host();
    if (!host.isEmpty() && host != QStringLiteral("localhost")) return {};
    const QByteArray bytes =
        QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (!bytes.startsWith('/') || bytes.contains('\0')) return {};
    return NativeString(bytes.constData(), std::size_t(bytes.size()));
}

std::vector<NativeString> localPaths(const QMimeData* data) {
    std::vector<NativeString> paths;
    if (!data || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls()) {
        NativeString path = localPath(url);
        if (!path.empty()) paths.push_back(std::move(path));
    }
    return paths;
}

}  // namespace pomu::ui
