// One instance per user: the second claim ends and asks the first to come to the front.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSignalSpy>

#include "support/test_files.h"
#include "ui/qt/single_instance.h"

namespace pomu::ui {
namespace {

QString socketIn(const test::ScratchFolder& scratch) {
    return QString::fromStdString((scratch.path() / "pomu.socket").string());
}

bool waitForSignal(QSignalSpy& spy, int count) {
    const QDeadlineTimer deadline(10000);
    while (spy.count() < count && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return spy.count() >= count;
}

TEST(SingleInstanceTest, ALaterClaimEndsAndCallsTheFirstToTheFront) {
    const test::ScratchFolder scratch;
    SingleInstance first(socketIn(scratch));
    QSignalSpy activations(&first, &SingleInstance::activationRequested);
    ASSERT_TRUE(first.claim());

    SingleInstance second(socketIn(scratch));
    EXPECT_FALSE(second.claim());
    EXPECT_TRUE(waitForSignal(activations, 1));

    SingleInstance third(socketIn(scratch));
    EXPECT_FALSE(third.claim());
    EXPECT_TRUE(waitForSignal(activations, 2));
}

TEST(SingleInstanceTest, TheNameIsFreeAgainOnceTheInstanceEnds) {
    const test::ScratchFolder scratch;
    {
        SingleInstance first(socketIn(scratch));
        ASSERT_TRUE(first.claim());
    }
    SingleInstance next(socketIn(scratch));
    EXPECT_TRUE(next.claim());
}

TEST(SingleInstanceTest, ASocketLeftByACrashedInstanceIsReplaced) {
    const test::ScratchFolder scratch;
    const std::string path = (scratch.path() / "pomu.socket").string();
    // A bound socket that nobody listens on, as an instance killed mid-run leaves it.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof(address.sun_path));
    path.copy(address.sun_path, path.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
    ASSERT_TRUE(test::fs::exists(path));

    SingleInstance instance(socketIn(scratch));
    EXPECT_TRUE(instance.claim());
    SingleInstance later(socketIn(scratch));
    EXPECT_FALSE(later.claim());
}

TEST(SingleInstanceTest, TheDefaultNameIsPerUser) {
    const QString name = SingleInstance::defaultName();
    EXPECT_TRUE(name.startsWith(QLatin1Char('/'))) << name.toStdString();
    EXPECT_TRUE(name.endsWith(QStringLiteral("/pomu-%1.socket").arg(::getuid())))
        << name.toStdString();
}

}  // namespace
}  // namespace pomu::ui
