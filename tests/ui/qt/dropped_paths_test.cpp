// Paths taken from a drop: local files only, in order, with their bytes unchanged.
#include <gtest/gtest.h>

#include <QMimeData>
#include <QUrl>

#include "ui/qt/dropped_paths.h"

namespace pomu::ui {
namespace {

TEST(DroppedPathsTest, TakesTheBytesOfLocalFileUrls) {
    struct Case {
        const char* url;
        NativeString path;
    };
    const Case cases[] = {
        {"file:///tmp/a.zip", "/tmp/a.zip"},
        {"file:///tmp/with%20blank.rar", "/tmp/with blank.rar"},
        {"file:///tmp/%E6%97%A5%E6%9C%AC.zip", "/tmp/日本.zip"},
        {"file:///tmp/latin1-%E9t%E9.zip", "/tmp/latin1-\xE9t\xE9.zip"},
        {"file:///tmp/%FF%FE.7z", "/tmp/\xFF\xFE.7z"},
        {"file:///tmp/quote%22and%25percent", "/tmp/quote\"and%percent"},
        {"file:///tmp/-leading", "/tmp/-leading"},
        {"file://localhost/tmp/a.zip", "/tmp/a.zip"},
        {"file://otherhost/tmp/a.zip", ""},
        {"file:///tmp/nul%00byte.zip", ""},
        {"http://example.com/a.zip", ""},
        {"smb://server/share/a.zip", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(localPath(QUrl(QString::fromLatin1(c.url))), c.path) << c.url;
    }
}

TEST(DroppedPathsTest, KeepsTheDropsOrderAndLeavesOtherUrlsOut) {
    QMimeData data;
    data.setUrls({QUrl(QStringLiteral("file:///b/second.zip")),
                  QUrl(QStringLiteral("https://example.com/x.zip")),
                  QUrl(QStringLiteral("file:///a/first.zip")),
                  QUrl::fromLocalFile(QStringLiteral("/c/ダウンロード.rar"))});
    EXPECT_EQ(localPaths(&data),
              (std::vector<NativeString>{"/b/second.zip", "/a/first.zip", "/c/ダウンロード.rar"}));
}

TEST(DroppedPathsTest, ADropWithoutLocalFilesGivesNothing) {
    QMimeData text;
    text.setText(QStringLiteral("/tmp/a.zip"));
    EXPECT_TRUE(localPaths(&text).empty());
    QMimeData remote;
    remote.setUrls({QUrl(QStringLiteral("ftp://host/a.zip"))});
    EXPECT_TRUE(localPaths(&remote).empty());
    EXPECT_TRUE(localPaths(nullptr).empty());
}

}  // namespace
}  // namespace pomu::ui
