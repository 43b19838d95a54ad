// Kavelo in a desktop session with real windows: a media file's video keeps the screen on,
// and the program itself is started, controlled and ended over the session bus.
#include "DesktopSessionFixture.h"
#include "FrmSingle.h"
#include "Waiting.h"

#include <QDBusConnectionInterface>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace kavelo {
namespace {

using namespace test;

TEST_F(DesktopSessionTest, AMediaFilesVideoKeepsTheScreenOnItsSoundAloneDoesNot) {
    QTemporaryDir media;
    ASSERT_TRUE(media.isValid());
    const QString video = media.filePath(QStringLiteral("clip.mpg"));
    const QString tone = media.filePath(QStringLiteral("tone.wav"));
    ASSERT_EQ(QProcess::execute(QStringLiteral("ffmpeg"),
                                {"-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                                 "testsrc=size=160x120:rate=25:duration=20", "-f", "lavfi", "-i",
                                 "sine=duration=20", "-shortest", video}),
              0);
    ASSERT_EQ(
        QProcess::execute(QStringLiteral("ffmpeg"), {"-nostdin", "-loglevel", "error", "-f",
                                                     "lavfi", "-i", "sine=duration=20", tone}),
        0);

    m_app.showMultimedia();
    auto* form = qobject_cast<FrmSingle*>(m_app.multimedia().get());
    ASSERT_NE(form, nullptr);
    m_dialogs.fileAnswers = {tone};
    QTest::mouseClick(form->cmdOpen, Qt::LeftButton);
    QTest::mouseClick(form->cmdPlay, Qt::LeftButton);
    QTest::qWait(1000);
    EXPECT_EQ(m_saver.calls(), QStringList{});
    QTest::mouseClick(form->cmdClose, Qt::LeftButton);

    m_dialogs.fileAnswers = {video};
    QTest::mouseClick(form->cmdOpen, Qt::LeftButton);
    QTest::mouseClick(form->cmdPlay, Qt::LeftButton);
    EXPECT_TRUE(waitUntil([&] { return m_saver.held() == 1; }, 5000));
    QTest::mouseClick(form->cmdPause, Qt::LeftButton);
    EXPECT_TRUE(waitUntil([&] { return m_saver.held() == 0; }, 5000));
    QTest::mouseClick(form->cmdResume, Qt::LeftButton);
    EXPECT_TRUE(waitUntil([&] { return m_saver.held() == 1; }, 5000));
    form->close(); // closes the device
    EXPECT_TRUE(waitUntil([&] { return m_saver.held() == 0; }, 5000));
    EXPECT_EQ(m_saver.count("Inhibit"), 2);
    EXPECT_EQ(m_saver.mostHeld(), 1);
}

// The program as a user starts it, in a Wayland session where nobody chose a platform.
TEST(DesktopProgram, RunsOnXWaylandAndQuitEndsItReleasingTheScreensaver) {
    FakeScreenSaver saver;
    ASSERT_TRUE(saver.registered());
    QDBusConnection bus = client();
    QTemporaryDir config;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("kavelo-test-no-compositor"));
    env.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    QProcess kavelo;
    kavelo.setProcessEnvironment(env);
    kavelo.setWorkingDirectory(kDisc);
    kavelo.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    kavelo.start(QStringLiteral(KAVELO_PROGRAM), {});
    ASSERT_TRUE(kavelo.waitForStarted(5000));
    const auto registered = [&] {
        return offThread([&] {
            return bus.interface()
                ->isServiceRegistered(QString::fromLatin1(Mpris::kService))
                .value();
        });
    };
    ASSERT_TRUE(waitUntil(registered, 20000));
    // Its window is on the X server: xcb, not Wayland.
    EXPECT_TRUE(test::xdotool({"search", "--name", "^Kavelo$"}));

    call("Play");
    EXPECT_TRUE(waitUntil([&] { return saver.held() == 1; }, 15000));
    EXPECT_TRUE(waitUntil(
        [&] { return property(kPlayer, "PlaybackStatus").toString() == QLatin1String("Playing"); },
        5000));
    EXPECT_EQ(trackTitle(), QStringLiteral("Title 1, Chapter 1"));

    call("Quit");
    EXPECT_TRUE(waitUntil([&] { return kavelo.state() == QProcess::NotRunning; }, 10000));
    EXPECT_EQ(kavelo.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(kavelo.exitCode(), 0);
    EXPECT_EQ(saver.held(), 0);
    EXPECT_EQ(saver.calls(), (QStringList{"Inhibit(Kavelo)", "UnInhibit(41)"}));
    EXPECT_FALSE(registered());
    if (kavelo.state() != QProcess::NotRunning) {
        kavelo.kill();
        kavelo.waitForFinished(5000);
    }
}

} // namespace
} // namespace kavelo
