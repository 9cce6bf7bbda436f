// One instance per user: the second claim ends and asks the first to come to the front.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <cstring>
#include <thread>

#include "support/test_files.h"
#include "ui/qt/single_instance.h"

namespace pomu::ui {
namespace {

QString socketIn(const test::ScratchFolder& scratch) {
    return QString::fromStdString((scratch.path() / "pomu.socket").string());
}

bool waitForSignal(QSignalSpy& spy, qsizetype count, int milliseconds = 10000) {
    const QDeadlineTimer deadline(milliseconds);
    while (spy.count() < count && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return spy.count() >= count;
}

// A raw connection to the instance socket of that name.
int connectTo(const QString& name, const QByteArray& text = {}) {
    if (text.isEmpty()) return connectTo(name, SingleInstance::socketName(name));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, text.constData(), size_t(text.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address),
                  socklen_t(offsetof(sockaddr_un, sun_path) + 1 + text.size())) == 0) {
        return fd;
    }
    ::close(fd);
    return -1;
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

Activation activationIn(const QSignalSpy& spy, qsizetype at) {
    return spy.at(at).at(0).value<Activation>();
}

TEST(SingleInstanceTest, ALaterStartHandsItsTokensOverWithItsRequest) {
    const test::ScratchFolder scratch;
    SingleInstance first(socketIn(scratch));
    QSignalSpy activations(&first, &SingleInstance::activationRequested);
    ASSERT_TRUE(first.claim());

    const Activation launched{"0e5aa430eca0251f16c2c636b3f455eb",
                              "launcher-42-host_TIME1234",
                              {"/home/u/a b.zip", "/x/line\nbreak%41.rar", "/bytes\xff\x01.7z"}};
    EXPECT_FALSE(SingleInstance(socketIn(scratch)).claim(launched));
    ASSERT_TRUE(waitForSignal(activations, 1));
    EXPECT_EQ(activationIn(activations, 0), launched);

    // Tokens that could not be told apart from the lines around them are left out.
    EXPECT_FALSE(SingleInstance(socketIn(scratch)).claim({"two words", QByteArray(300, 'a')}));
    ASSERT_TRUE(waitForSignal(activations, 2));
    EXPECT_EQ(activationIn(activations, 1), Activation{});
}

// Peers that stall, send nothing or send too much still call the window, without a token, and
// the first instance's loop goes on meanwhile.
TEST(SingleInstanceTest, APeerThatSendsGarbageOrNothingStillCallsTheFirstToTheFront) {
    const test::ScratchFolder scratch;
    SingleInstance first(socketIn(scratch));
    QSignalSpy activations(&first, &SingleInstance::activationRequested);
    ASSERT_TRUE(first.claim());
    const auto connected = [&](const QByteArray& text) {
        const int fd = connectTo(socketIn(scratch));
        EXPECT_GE(fd, 0);
        EXPECT_EQ(::send(fd, text.constData(), size_t(text.size()), MSG_NOSIGNAL),
                  ssize_t(text.size()));
        return fd;
    };
    QElapsedTimer clock;
    clock.start();
    const int silent = connected({});
    // Past the size limit, written as a peer would while this loop reads.
    std::thread flooding([&] {
        const int fd = connectTo(socketIn(scratch));
        const QByteArray text = QByteArray(5 << 20, 'x') + "\nXDG_ACTIVATION_TOKEN=abc\n";
        ::send(fd, text.constData(), size_t(text.size()), MSG_NOSIGNAL);
        ::close(fd);
    });
    ::close(connected("XDG_ACTIVATION_TOKEN=cut-short"));
    ASSERT_TRUE(waitForSignal(activations, 3));
    flooding.join();
    EXPECT_LT(clock.elapsed(), 5000);
    for (qsizetype i = 0; i < 3; ++i) EXPECT_EQ(activationIn(activations, i), Activation{});
    ::close(silent);
}

// Files are data: only a whole, well-formed list of absolute paths is taken.
TEST(SingleInstanceTest, OnlyAWholeListOfPathsIsTakenAsFiles) {
    const struct Case {
        QByteArray request;
        std::vector<NativeString> files;
    } cases[] = {
        {"FILE=%2Fa.zip\nFILE=%2Fb%20c.rar\nEND\n", {"/a.zip", "/b c.rar"}},
        {"FILE=%2Fa.zip\n", {}},                      // cut short: no end
        {"FILE=/a.zip\nEND\n", {}},                   // not encoded
        {"FILE=a.zip\nEND\n", {}},                    // not absolute
        {"FILE=%2Fa%00.zip\nEND\n", {}},              // a NUL
        {"FILE=%2Fa%2.zip\nEND\n", {}},               // a broken escape
        {"RUN=rm\nFILE=%2Fa.zip\nEND\n", {}},         // a line of no known kind
        {"FILE=%2Fa.zip\nEND\nFILE=%2Fb.zip\n", {}},  // more after the end
        {"FILE=%2Fa.zip\nEND\nEND", {}},              // a line without its newline
    };
    const test::ScratchFolder scratch;
    SingleInstance first(socketIn(scratch));
    QSignalSpy activations(&first, &SingleInstance::activationRequested);
    ASSERT_TRUE(first.claim());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request.toStdString());
        const int fd = connectTo(socketIn(scratch));
        ASSERT_EQ(::send(fd, c.request.constData(), size_t(c.request.size()), MSG_NOSIGNAL),
                  ssize_t(c.request.size()));
        ::close(fd);
        ASSERT_TRUE(waitForSignal(activations, activations.count() + 1));
        EXPECT_EQ(activationIn(activations, activations.count() - 1).files, c.files);
    }
}

// The abstract namespace is open to every user: another one's request is not heard at all.
TEST(SingleInstanceTest, APeerOfAnotherUserIsNotHeard) {
    if (::geteuid() != 0) GTEST_SKIP() << "only the superuser can start a peer as another user";
    const test::ScratchFolder scratch;
    SingleInstance first(socketIn(scratch));
    QSignalSpy activations(&first, &SingleInstance::activationRequested);
    ASSERT_TRUE(first.claim());
    // Named as this user names it: the other user's own pomu would look elsewhere.
    const QByteArray ours = SingleInstance::socketName(socketIn(scratch));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(1);
        const int fd = connectTo({}, ours);
        if (fd < 0) ::_exit(2);
        // The instance may have shut the connection already.
        const char request[] = "FILE=%2Fetc%2Fpasswd\nEND\n";
        ::send(fd, request, sizeof request - 1, MSG_NOSIGNAL);
        ::_exit(0);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    ASSERT_EQ(status, 0) << "the peer could not connect as user 65534";
    EXPECT_FALSE(waitForSignal(activations, 1, 2000));
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

// Names from any folder, however deep: the claim holds (it once failed open past sun_path).
TEST(SingleInstanceTest, NamesOfAnyLengthHoldTheClaim) {
    const test::ScratchFolder scratch;
    for (const std::size_t length : {std::size_t(20), std::size_t(107), std::size_t(108),
                                     std::size_t(300), std::size_t(4096)}) {
        SCOPED_TRACE(length);
        QString name = socketIn(scratch) + "/";
        name += QString(qsizetype(length) - name.size(), QLatin1Char('d'));
        SingleInstance first(name);
        ASSERT_TRUE(first.claim());
        SingleInstance second(name);
        EXPECT_FALSE(second.claim());
        // Names that share their first 107 bytes are still two instances.
        SingleInstance other(name + "x");
        EXPECT_TRUE(other.claim());
    }
}

// An instance killed mid-run (SIGKILL: no clean-up of its own) leaves nothing that blocks.
TEST(SingleInstanceTest, AKilledInstanceLeavesTheNameFree) {
    const test::ScratchFolder scratch;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SingleInstance held(socketIn(scratch));
        const char claimed = held.claim() ? '1' : '0';
        [[maybe_unused]] const ssize_t written = ::write(ready[1], &claimed, 1);
        for (;;) ::pause();
    }
    char claimed = 0;
    ASSERT_EQ(::read(ready[0], &claimed, 1), 1);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_EQ(claimed, '1');
    SingleInstance whileHeld(socketIn(scratch));
    EXPECT_FALSE(whileHeld.claim());
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    SingleInstance next(socketIn(scratch));
    EXPECT_TRUE(next.claim());
}

TEST(SingleInstanceTest, TheDefaultNameIsPerUser) {
    const QString name = SingleInstance::defaultName();
    EXPECT_TRUE(name.startsWith(QLatin1Char('/'))) << name.toStdString();
    EXPECT_TRUE(name.endsWith(QStringLiteral("/pomu-%1").arg(::getuid()))) << name.toStdString();
}

}  // namespace
}  // namespace pomu::ui
