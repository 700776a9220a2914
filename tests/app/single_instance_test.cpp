#include "app/single_instance.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <atomic>
#include <functional>
#include <future>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#endif
#ifdef Q_OS_LINUX
#include <linux/sockios.h>
#include <sys/ioctl.h>
#endif

namespace kr40 {
namespace {

// A name no other test or test run uses.
QString UniqueName()
{
    static std::atomic<int> counter{0};
    return InstanceName(
        QStringLiteral("/opt/kr40/kr40test_%1_%2").arg(QCoreApplication::applicationPid()).arg(counter++));
}

// Runs HandOver off the event loop's thread: the first copy answers from the
// event loop, which the test spins while waiting.
std::future<bool> HandOverAsync(const QString& name, int count, const QString& argument)
{
    return std::async(std::launch::async, [=] { return SingleInstance::HandOver(name, count, argument, 5000); });
}

// True once the peer of a local socket has read everything written to it: the
// kernel then holds none of the client's bytes (Linux). Elsewhere only the
// client's own buffer is seen.
bool ReadByPeer(const QLocalSocket& client)
{
    if (client.bytesToWrite() > 0) return false;
#ifdef Q_OS_LINUX
    int unread = 0;
    return ioctl(static_cast<int>(client.socketDescriptor()), SIOCOUTQ, &unread) == 0 && unread == 0;
#else
    return true;
#endif
}

bool Finished(std::future<bool>& result)
{
    return QTest::qWaitFor([&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                           10000);
}

QByteArray Message(const QByteArray& magic, qint32 count, quint32 length, const QByteArray& payload)
{
    QByteArray m = magic;
    char field[4];
    qToLittleEndian(count, field);
    m.append(field, 4);
    qToLittleEndian(length, field);
    m.append(field, 4);
    return m + payload;
}

TEST(SingleInstanceDecision, FollowsArgumentsAndBusyState)
{
    struct Case {
        int count;
        const char* argument;
        bool busy;
        HandOverAction expected;
    };
    const Case cases[] = {
        {0, "", false, HandOverAction::Raise},
        {0, "", true, HandOverAction::Raise},
        // no arguments, yet a string (the program's own path): still nothing to open
        {0, "/opt/kr40/kr40", true, HandOverAction::Raise},
        {1, "", false, HandOverAction::Raise},
        {1, "", true, HandOverAction::Raise},
        {1, "/data/a.krd", false, HandOverAction::RaiseAndOpen},
        {3, "/data/a.krs", false, HandOverAction::RaiseAndOpen},
        {1, "/data/a.krd", true, HandOverAction::Ignore},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecideHandOver(c.count, QString::fromUtf8(c.argument), c.busy), c.expected)
            << c.count << " '" << c.argument << "' busy=" << c.busy;
    }
}

TEST(SingleInstanceName, OnePerExecutableNameAndUser)
{
    const QString name = InstanceName(QStringLiteral("/opt/kr40/KR40.exe"));
    EXPECT_TRUE(name.startsWith(QStringLiteral("KR40_Mutex_951413_03_"))) << name.toStdString();
    EXPECT_GT(name.size(), QStringLiteral("KR40_Mutex_951413_03_").size());  // the user part
    // The folder does not matter, the name does; only the last extension goes.
    EXPECT_EQ(InstanceName(QStringLiteral("/home/u/KR40.exe")), name);
    EXPECT_NE(InstanceName(QStringLiteral("/opt/kr40/KR41.exe")), name);
    EXPECT_TRUE(InstanceName(QStringLiteral("/x/kr.40.bin")).startsWith(QStringLiteral("kr.40_Mutex")));

    // Names that are long or not plain ASCII stay short, safe and distinct.
    const QString names[] = {InstanceName(QStringLiteral("/x/осциллограф")),
                             InstanceName(QStringLiteral("/x/осциллятор")),
                             InstanceName(QStringLiteral("/x/") + QString(200, u'a')),
                             InstanceName(QStringLiteral("/x/") + QString(200, u'a') + u'b'),
                             InstanceName(QStringLiteral("/x/kr 40 scope"))};
    for (const QString& n : names) {
        EXPECT_LE(n.size(), 72) << n.toStdString();
        for (QChar c : n) {
            EXPECT_TRUE(c.unicode() < 0x80 && (c.isLetterOrNumber() || c == u'_' || c == u'.' || c == u'-'))
                << n.toStdString();
        }
    }
    EXPECT_NE(names[0], names[1]);
    EXPECT_NE(names[2], names[3]);
}

TEST(SingleInstanceClaim, OnlyTheFirstCopyOwnsTheName)
{
    const QString name = UniqueName();
    EXPECT_FALSE(SingleInstance::HandOver(name, 1, QStringLiteral("/data/a.krd"), 1000));  // nobody runs

    auto first = std::make_unique<SingleInstance>(name);
    ASSERT_TRUE(first->Claim());
    EXPECT_TRUE(first->IsListening());

    SingleInstance second(name);
    EXPECT_FALSE(second.Claim());
    EXPECT_FALSE(second.IsListening());

    // Once the first copy has gone, the name is free again.
    first.reset();
    SingleInstance third(name);
    EXPECT_TRUE(third.Claim());
    EXPECT_TRUE(third.IsListening());
}

TEST(SingleInstanceHandOver, DeliversCountAndLastArgument)
{
    SingleInstance first(UniqueName());
    ASSERT_TRUE(first.Claim());
    QSignalSpy spy(&first, &SingleInstance::HandedOver);

    const struct {
        int count;
        QString argument;
    } cases[] = {
        {1, QStringLiteral("/tmp/осциллограмма.krd")},
        {0, QString()},
        {3, QStringLiteral("C:\\Data\\set 1.KRS")},
    };
    for (const auto& c : cases) {
        spy.clear();
        auto result = HandOverAsync(first.Name(), c.count, c.argument);
        ASSERT_TRUE(Finished(result));
        EXPECT_TRUE(result.get());
        ASSERT_TRUE(spy.count() == 1 || spy.wait(5000));
        ASSERT_EQ(spy.count(), 1);
        EXPECT_EQ(spy.at(0).at(0).toInt(), c.count);
        EXPECT_EQ(spy.at(0).at(1).toString(), c.argument);
    }
}

// A message that arrives in pieces is delivered once it is whole.
TEST(SingleInstanceHandOver, AssemblesAMessageArrivingInPieces)
{
    SingleInstance first(UniqueName());
    ASSERT_TRUE(first.Claim());
    QSignalSpy spy(&first, &SingleInstance::HandedOver);

    const QByteArray path = QStringLiteral("/tmp/осциллограмма.krd").toUtf8();
    const QByteArray message = Message("KR4H", 2, path.size(), path);
    QLocalSocket client;
    client.connectToServer(first.Name());
    ASSERT_TRUE(client.waitForConnected(5000));
    for (const QByteArray& piece : {message.left(5), message.mid(5, 10), message.mid(15)}) {
        EXPECT_EQ(spy.count(), 0);
        client.write(piece);
        client.flush();
        ASSERT_TRUE(QTest::qWaitFor([&] { return ReadByPeer(client); }, 5000));
    }
    ASSERT_TRUE(spy.count() == 1 || spy.wait(5000));
    EXPECT_EQ(spy.at(0).at(0).toInt(), 2);
    EXPECT_EQ(spy.at(0).at(1).toString(), QStringLiteral("/tmp/осциллограмма.krd"));
}

// The first copy refuses malformed messages at once, without waiting for a
// length it was told about, and goes on serving.
TEST(SingleInstanceHandOver, RefusesMalformedMessages)
{
    SingleInstance first(UniqueName());
    ASSERT_TRUE(first.Claim());
    QSignalSpy spy(&first, &SingleInstance::HandedOver);

    const struct {
        const char* what;
        QByteArray bytes;
    } cases[] = {
        {"wrong magic", Message("HTTP", 1, 3, "a.b")},
        {"magic broken early", QByteArray("GET ")},
        {"length over the bound", Message("KR4H", 1, SingleInstance::MaxArgumentBytes + 1, "")},
        {"length 4 GiB", Message("KR4H", 1, 0xFFFFFFFFu, QByteArray(100, 'x'))},
        {"negative count", Message("KR4H", -1, 3, "a.b")},
        {"bytes after the message", Message("KR4H", 1, 3, "a.b") + "junk"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QLocalSocket client;
        client.connectToServer(first.Name());
        ASSERT_TRUE(client.waitForConnected(5000));
        client.write(c.bytes);
        client.flush();
        // Refused (Nak, then closed), not left hanging until the stall timeout.
        ASSERT_TRUE(QTest::qWaitFor([&] { return client.state() == QLocalSocket::UnconnectedState; }, 5000));
        EXPECT_EQ(client.readAll(), QByteArray(1, '\x15'));
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(spy.count(), 0);

    // Oversized on the sender's side: nothing is sent.
    EXPECT_FALSE(SingleInstance::HandOver(first.Name(), 1, QString(SingleInstance::MaxArgumentBytes + 1, u'a'), 5000));

    auto result = HandOverAsync(first.Name(), 1, QStringLiteral("/data/a.krd"));
    ASSERT_TRUE(Finished(result));
    EXPECT_TRUE(result.get());
    ASSERT_TRUE(spy.count() == 1 || spy.wait(5000));
    EXPECT_EQ(spy.at(0).at(1).toString(), QStringLiteral("/data/a.krd"));
}

#ifdef Q_OS_UNIX
// A crashed run leaves its socket file behind; nobody listens on it.
TEST(SingleInstanceClaim, TakesOverASocketFileLeftByACrashedRun)
{
    const QString name = UniqueName();
    const QByteArray path = QFile::encodeName(QDir(QDir::tempPath()).filePath(name));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), static_cast<qsizetype>(sizeof(address.sun_path)));
    std::memcpy(address.sun_path, path.constData(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
    ASSERT_TRUE(QFile::exists(QFile::decodeName(path)));

    SingleInstance first(name);
    ASSERT_TRUE(first.Claim());
    EXPECT_TRUE(first.IsListening());

    QSignalSpy spy(&first, &SingleInstance::HandedOver);
    auto result = HandOverAsync(name, 1, QStringLiteral("/data/a.krd"));
    ASSERT_TRUE(Finished(result));
    EXPECT_TRUE(result.get());
    EXPECT_TRUE(spy.count() == 1 || spy.wait(5000));
}

// Something else at the socket's name: taken over when it can go without
// losing anything, refused with the reason otherwise - and in no case do two
// copies both get to run.
TEST(SingleInstanceClaim, TakesOverOrRefusesWhatElseStandsAtTheName)
{
    QTemporaryDir elsewhere;
    ASSERT_TRUE(elsewhere.isValid());
    const QString target = elsewhere.filePath(QStringLiteral("target"));
    ASSERT_TRUE(QDir().mkpath(target + QStringLiteral("/keep")));

    const struct {
        const char* what;
        std::function<bool(const QString&)> make;
        bool takenOver;
    } cases[] = {
        {"regular file",
         [](const QString& p) {
             QFile f(p);
             return f.open(QIODevice::WriteOnly) && f.write("x") == 1;
         },
         true},
        {"named pipe", [](const QString& p) { return ::mkfifo(QFile::encodeName(p).constData(), 0600) == 0; }, true},
        {"empty directory", [](const QString& p) { return QDir().mkdir(p); }, true},
        {"link to a directory", [&](const QString& p) { return QFile::link(target, p); }, true},
        {"directory with content", [](const QString& p) { return QDir().mkpath(p + QStringLiteral("/keep")); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString name = UniqueName();
        const QString path = QDir(QDir::tempPath()).filePath(name);
        ASSERT_TRUE(c.make(path));

        SingleInstance first(name);
        SingleInstance second(name);
        if (c.takenOver) {
            ASSERT_TRUE(first.Claim());
            EXPECT_TRUE(first.IsListening());
            EXPECT_TRUE(first.BlockedReason().isEmpty());
            EXPECT_FALSE(second.Claim());  // the first copy answers
            EXPECT_TRUE(second.BlockedReason().isEmpty());
        } else {
            EXPECT_FALSE(first.Claim());
            EXPECT_TRUE(first.BlockedReason().contains(path)) << first.BlockedReason().toStdString();
            EXPECT_FALSE(second.Claim());
            EXPECT_FALSE(second.BlockedReason().isEmpty());
            EXPECT_TRUE(QFileInfo(path + QStringLiteral("/keep")).isDir());
            QDir(path).removeRecursively();
        }
    }
    EXPECT_TRUE(QFileInfo(target + QStringLiteral("/keep")).isDir());
}
#endif

}  // namespace
}  // namespace kr40
