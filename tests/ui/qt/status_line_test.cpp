// The status line: writes reach the label until the window has closed, never after.
#include <gtest/gtest.h>

#include <QLabel>
#include <QSignalSpy>

#include "test_printers.h"
#include "ui/qt/status_line.h"

namespace pomu::ui {
namespace {

TEST(StatusLineTest, WritesTheWholeTextUntilDetached) {
    QLabel label(QStringLiteral("Drop file here."));
    StatusLine line(&label);
    QSignalSpy written(&line, &StatusLine::written);
    const NativeView texts[] = {"Processing file...\n(2/5)", "7z Exists!", "日本",
                                "0 7z complete!"};
    for (const NativeView text : texts) {
        line.writeStatus(text);
        EXPECT_EQ(label.text(), QString::fromUtf8(text.data(), qsizetype(text.size())));
    }
    EXPECT_EQ(written.count(), qsizetype(std::size(texts)));

    line.detach();
    line.writeStatus("1 7z complete!");
    EXPECT_EQ(label.text(), QStringLiteral("0 7z complete!"));
    EXPECT_EQ(written.count(), qsizetype(std::size(texts)));
}

TEST(StatusLineTest, AWriteAfterTheLabelIsGoneDoesNothing) {
    auto label = std::make_unique<QLabel>();
    StatusLine line(label.get());
    QSignalSpy written(&line, &StatusLine::written);
    line.writeStatus("Processing file...");
    ASSERT_EQ(written.count(), 1) << "a write to the living label goes out";
    EXPECT_EQ(label->text(), QStringLiteral("Processing file..."));
    label.reset();
    line.writeStatus("1 7z complete!");
    EXPECT_EQ(written.count(), 1) << "a write went out after the label was gone";
}

}  // namespace
}  // namespace pomu::ui
