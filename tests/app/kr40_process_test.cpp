// The built kr40 program run as a process: exit codes and messages of the
// picture mode, the command line and the single-instance name. Each run gets
// its own HOME, configuration, runtime and temp folders.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include "app/single_instance.h"

namespace kr40 {
namespace {

struct Outcome {
    bool finished = false;  // false: still running at the deadline (then killed)
    int exitCode = -1;
    QString err;
};

// Runs kr40 with `args` offscreen in `home` and waits at most deadlineMs.
// Messages are in English (--lang=en comes first).
Outcome RunKr40(const QTemporaryDir& home, const QStringList& args, const QString& driverEnv = {},
                int deadlineMs = 60000)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("KR40_DRIVER"));
    if (!driverEnv.isEmpty()) env.insert(QStringLiteral("KR40_DRIVER"), driverEnv);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (const char* var : {"HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR", "TMPDIR"})
        env.insert(QString::fromLatin1(var), home.path());

    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(home.path());
    p.start(QStringLiteral(KR40_EXECUTABLE), QStringList{"--lang=en"} + args);
    Outcome o;
    o.finished = p.waitForStarted(10000) && p.waitForFinished(deadlineMs);
    if (!o.finished) {
        p.kill();
        p.waitForFinished(10000);
    }
    o.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    o.err = QString::fromLocal8Bit(p.readAllStandardError());
    return o;
}

// No instrument and no driver library here: the USB error goes to stderr and
// the run fails at once instead of waiting on a box nobody can answer.
TEST(Kr40Process, PictureWithoutInstrumentFailsWithTheUsbError)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString png = home.filePath(QStringLiteral("x.png"));
    const Outcome o = RunKr40(home, {"--driver=d2xx", "--screenshot", png, "--frames", "1"}, {}, 30000);
    ASSERT_TRUE(o.finished) << "still running: " << o.err.toStdString();
    EXPECT_NE(o.exitCode, 0);
    EXPECT_TRUE(o.err.contains(QStringLiteral("USB Error"))) << o.err.toStdString();
    EXPECT_TRUE(o.err.contains(QStringLiteral("Can't load ftd2xx.dll"))) << o.err.toStdString();
    // Ended by the error, not by waiting out the silence limit.
    EXPECT_FALSE(o.err.contains(QStringLiteral("no new frame"))) << o.err.toStdString();
    EXPECT_FALSE(QFile::exists(png));
}

// A settings file that cannot be opened fails the picture run with the
// reason, and no picture is written.
TEST(Kr40Process, PictureWithABadSettingsFileFails)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString refused = home.filePath(QStringLiteral("refused.krs"));
    QFile f(refused);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Common]\nSomething=1\n");
    f.close();

    const struct {
        QString file;
        const char* reason;
    } cases[] = {
        {home.filePath(QStringLiteral("missing.krs")), "File not found."},
        {refused, "Invalid file format."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        const QString png = home.filePath(QStringLiteral("y.png"));
        const Outcome o = RunKr40(home, {"--simulate", "--screenshot", png, "--frames", "1", c.file});
        ASSERT_TRUE(o.finished) << o.err.toStdString();
        EXPECT_NE(o.exitCode, 0);
        EXPECT_TRUE(o.err.contains(QString::fromLatin1(c.reason))) << o.err.toStdString();
        EXPECT_FALSE(QFile::exists(png));
    }
}

// Many frames: the run is limited by silence, not by its total time.
TEST(Kr40Process, PictureAfterManyFramesSucceeds)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString png = home.filePath(QStringLiteral("z.png"));
    const Outcome o = RunKr40(home, {"--simulate", "--screenshot", png, "--frames", "300"}, {}, 100000);
    ASSERT_TRUE(o.finished) << o.err.toStdString();
    EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
    EXPECT_FALSE(QImage(png).isNull());
}

TEST(Kr40Process, RefusedCommandLinesExitWithTwo)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const struct {
        QStringList args;
        QString driverEnv;
        const char* message;
    } cases[] = {
        {{"--screenshot", "", "--frames", "1"}, {}, "--screenshot needs a file name"},
        {{"--driver=bogus", "--screenshot", "a.png", "--frames", "1"}, {}, "unknown driver"},
        {{"--screenshot", "a.png", "--frames", "1"}, "bogus", "KR40_DRIVER=bogus"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const Outcome o = RunKr40(home, c.args, c.driverEnv, 30000);
        ASSERT_TRUE(o.finished) << o.err.toStdString();
        EXPECT_EQ(o.exitCode, 2);
        EXPECT_TRUE(o.err.contains(QString::fromLatin1(c.message))) << o.err.toStdString();
    }
}

#ifdef Q_OS_UNIX
// A directory with content where the single-instance socket goes: the program
// refuses to start rather than run without the name (a second copy would then
// run beside it), and leaves the directory alone.
TEST(Kr40Process, RefusesToStartWhenTheInstanceNameIsBlocked)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString blocker = QDir(home.path()).filePath(InstanceName(QStringLiteral(KR40_EXECUTABLE)));
    ASSERT_TRUE(QDir().mkpath(blocker + QStringLiteral("/keep")));

    const Outcome o = RunKr40(home, {"--simulate"}, {}, 30000);
    ASSERT_TRUE(o.finished) << "started beside a blocked name: " << o.err.toStdString();
    EXPECT_NE(o.exitCode, 0);
    EXPECT_TRUE(o.err.contains(blocker)) << o.err.toStdString();
    EXPECT_TRUE(QFileInfo(blocker + QStringLiteral("/keep")).isDir());
}
#endif

}  // namespace
}  // namespace kr40
