// The program itself under openbox, driven as a user drives it: it runs until its last window
// closes, tool windows included, and ends with status 0, also when a disc was playing.
#include "Waiting.h"
#include "XWindows.h"

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kavelo {
namespace {

using test::waitUntil;
using test::xdotool;

// The visible window of `pid` whose title is exactly `title`; 0 when there is none.
WId findWindow(qint64 pid, const QString& title) {
    const auto ids = test::output(QStringLiteral("xdotool"),
                                  {QStringLiteral("search"), QStringLiteral("--all"),
                                   QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                                   QString::number(pid), QStringLiteral("--name"),
                                   QLatin1Char('^') + title + '$'});
    if (!ids)
        return 0;
    return ids->split(QLatin1Char('\n'), Qt::SkipEmptyParts).value(0).toULongLong();
}

WId waitForWindow(qint64 pid, const QString& title) {
    WId id = 0;
    waitUntil([&] { return (id = findWindow(pid, title)) != 0; }, 15000);
    return id;
}

// Closes a window the way a user does: activate it, then Alt+F4 (openbox's close).
void closeWithAltF4(WId id) {
    xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), test::windowId(id),
             QStringLiteral("key"), QStringLiteral("alt+F4")});
}

// The window of `pid` that is not one of Qt's: libmpv's video output inside the video area.
WId videoOutputWindow(qint64 pid) {
    const auto ids =
        test::output(QStringLiteral("xdotool"),
                     {QStringLiteral("search"), QStringLiteral("--pid"), QString::number(pid)});
    if (!ids)
        return 0;
    for (const QString& id : ids->split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const auto name =
            test::output(QStringLiteral("xdotool"), {QStringLiteral("getwindowname"), id});
        if (name && name->trimmed() != QLatin1String("Kavelo"))
            return id.toULongLong();
    }
    return 0;
}

// Whether the window shows a moving picture: two grabs differ and neither is one colour.
bool showsMovingPicture(WId id) {
    auto grab = [&] {
        QProcess import;
        import.start(QStringLiteral("import"),
                     {QStringLiteral("-window"), test::windowId(id), QStringLiteral("png:-")});
        if (!import.waitForFinished(5000))
            return QImage();
        return QImage::fromData(import.readAllStandardOutput(), "PNG");
    };
    auto coloured = [](const QImage& image) {
        return !image.isNull() && image.pixel(image.width() / 4, image.height() / 2) !=
                                      image.pixel(image.width() * 3 / 4, image.height() / 2);
    };
    const QImage first = grab();
    QImage second;
    return test::waitUntil([&] { return coloured(second = grab()) && second != first; }, 3000) &&
           coloured(first);
}

class Program : public ::testing::Test {
protected:
    void start(const QString& folder = QString()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        if (!folder.isEmpty()) {
            // What the program prints is read: only X errors matter here.
            m_process.setProcessChannelMode(QProcess::SeparateChannels);
            m_process.setStandardOutputFile(QProcess::nullDevice());
            m_process.setWorkingDirectory(folder);
        }
        m_process.start(QStringLiteral(KAVELO_PROGRAM), {});
        ASSERT_TRUE(m_process.waitForStarted());
        m_main = waitForWindow(m_process.processId(), QStringLiteral("Kavelo"));
        ASSERT_NE(m_main, 0u);
    }
    bool ended(int ms) {
        return waitUntil([&] { return m_process.state() == QProcess::NotRunning; }, ms);
    }
    void TearDown() override {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    QTemporaryDir m_config;
    QProcess m_process;
    WId m_main = 0;
};

TEST_F(Program, RunsUntilItsLastWindowClosesToolWindowsIncluded) {
    // The drive/directory dialog (Ctrl+D) outlives the main window.
    start();
    xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), test::windowId(m_main),
             QStringLiteral("key"), QStringLiteral("ctrl+d")});
    const WId directory =
        waitForWindow(m_process.processId(), QStringLiteral("Change Drive/Directory"));
    ASSERT_NE(directory, 0u);
    closeWithAltF4(m_main);
    EXPECT_TRUE(waitUntil(
        [&] { return findWindow(m_process.processId(), QStringLiteral("Kavelo")) == 0; }, 10000));
    EXPECT_FALSE(ended(1000)) << "the program ended with the main window";
    EXPECT_NE(findWindow(m_process.processId(), QStringLiteral("Change Drive/Directory")), 0u);
    closeWithAltF4(directory);
    ASSERT_TRUE(ended(15000));
    EXPECT_EQ(m_process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_process.exitCode(), 0);

    // So does the media file window (File > Play Multimedia Files).
    start();
    xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), test::windowId(m_main),
             QStringLiteral("key"), QStringLiteral("alt+f"), QStringLiteral("Down"),
             QStringLiteral("Down"), QStringLiteral("Return")});
    const WId media = waitForWindow(m_process.processId(), QStringLiteral("Open Multimedia Files"));
    ASSERT_NE(media, 0u);
    closeWithAltF4(m_main);
    EXPECT_TRUE(waitUntil(
        [&] { return findWindow(m_process.processId(), QStringLiteral("Kavelo")) == 0; }, 10000));
    EXPECT_FALSE(ended(1000)) << "the program ended with the main window";
    closeWithAltF4(media);
    ASSERT_TRUE(ended(15000));
    EXPECT_EQ(m_process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_process.exitCode(), 0);

    // Alone, the main window ends the program when it closes.
    start();
    closeWithAltF4(m_main);
    ASSERT_TRUE(ended(15000));
    EXPECT_EQ(m_process.exitCode(), 0);
}

// Closing the main window while the disc plays: Qt destroys the window's X windows as soon as
// the close is accepted, libmpv's video output inside them included unless it ended first.
// That race lost showed as an X error and status 1; a few rounds give it its chances.
TEST_F(Program, ClosingWhileADiscPlaysEndsCleanly) {
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        start(QStringLiteral(KAVELO_TEST_DVD));
        xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), test::windowId(m_main),
                 QStringLiteral("key"), QStringLiteral("ctrl+p")});
        // libmpv's window comes up with the program, before Play: wait for the disc's picture.
        ASSERT_TRUE(waitUntil(
            [&] {
                const WId video = videoOutputWindow(m_process.processId());
                return video != 0 && showsMovingPicture(video);
            },
            20000));
        closeWithAltF4(m_main);
        ASSERT_TRUE(ended(15000));
        const QString printed = QString::fromLocal8Bit(m_process.readAllStandardError());
        EXPECT_EQ(m_process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(m_process.exitCode(), 0);
        EXPECT_FALSE(printed.contains(QStringLiteral("X Error"))) << qPrintable(printed);
        EXPECT_FALSE(printed.contains(QStringLiteral("another thread"))) << qPrintable(printed);
    }
}

} // namespace
} // namespace kavelo
