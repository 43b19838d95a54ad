// Kavelo in a desktop session with real windows: a media file's video keeps the screen on,
// and the program itself is started, controlled and ended over the session bus.
#include "DesktopSessionFixture.h"
#include "FrmSingle.h"
#include "ScreenSaver.h"
#include "Waiting.h"

#include <QDBusConnectionInterface>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <xcb/screensaver.h>
#include <xcb/xcb.h>

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

    // The window's file is a media player of its own beside the disc's.
    const auto mediaStatus = [&] {
        return property(kPlayer, "PlaybackStatus", kMediaPlayer).toString();
    };
    ASSERT_TRUE(waitUntil([&] { return mediaStatus() == QLatin1String("Playing"); }, 5000));
    EXPECT_EQ(property(kPlayer, "PlaybackStatus").toString(), QStringLiteral("Stopped"));
    EXPECT_EQ(property(kRoot, "Identity", kMediaPlayer).toString(),
              QStringLiteral("Kavelo Multimedia Files"));
    const QVariantMap clip = metadata(kMediaPlayer);
    EXPECT_EQ(clip.value("xesam:title").toString(), QStringLiteral("clip.mpg"));
    EXPECT_NEAR(clip.value("mpris:length").toLongLong() / double(kSecond), 20, 0.5);
    EXPECT_FALSE(property(kPlayer, "CanGoNext", kMediaPlayer).toBool());
    SignalLog mediaLog;
    mediaLog.listen(client(), kMediaPlayer);
    call("Pause", {}, kMediaPlayer);
    EXPECT_TRUE(waitUntil([&] { return mediaStatus() == QLatin1String("Paused"); }, 5000));
    EXPECT_TRUE(waitUntil([&] { return m_saver.held() == 0; }, 5000));
    call("PlayPause", {}, kMediaPlayer);
    EXPECT_TRUE(waitUntil([&] { return m_saver.held() == 1; }, 5000));
    const QString track = clip.value("mpris:trackid").value<QDBusObjectPath>().path();
    call("SetPosition", {QVariant::fromValue(QDBusObjectPath(track)), 15 * kSecond}, kMediaPlayer);
    EXPECT_TRUE(waitUntil(
        [&] {
            const qlonglong at = property(kPlayer, "Position", kMediaPlayer).toLongLong();
            return std::abs(at / double(kSecond) - 15) < 1.5;
        },
        5000));
    EXPECT_TRUE(waitUntil([&] { return !mediaLog.seeked.isEmpty(); }, 5000));
    EXPECT_NEAR(mediaLog.seeked.value(0) / double(kSecond), 15, 1.5);
    EXPECT_EQ(form->sliTime->value() > 0, true);
    EXPECT_TRUE(m_dialogs.messages.isEmpty());

    form->close(); // closes the device
    EXPECT_TRUE(waitUntil([&] { return m_saver.held() == 0; }, 5000));
    EXPECT_EQ(m_saver.count("Inhibit"), 3);
    EXPECT_EQ(m_saver.mostHeld(), 1);
    // The window gone, so is its player.
    EXPECT_TRUE(waitUntil(
        [&] {
            return !offThread([&] {
                return client()
                    .interface()
                    ->isServiceRegistered(QString::fromLatin1(Mpris::kMediaService))
                    .value();
            });
        },
        5000));
}

// The X server's own screen saver as another client sees it (MIT-SCREEN-SAVER).
class XSaver {
public:
    XSaver() : m_connection(xcb_connect(nullptr, nullptr)) {
        if (!xcb_connection_has_error(m_connection))
            m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    }
    ~XSaver() {
        // The server's settings outlive this client: put the timeout back.
        xcb_set_screen_saver(m_connection, -1, -1, XCB_BLANKING_DEFAULT, XCB_EXPOSURES_DEFAULT);
        xcb_disconnect(m_connection);
    }
    XSaver(const XSaver&) = delete;
    XSaver& operator=(const XSaver&) = delete;

    bool connected() const { return m_root != 0; }
    // As `xset s <seconds> 0`.
    void setTimeout(int seconds) {
        xcb_set_screen_saver(m_connection, static_cast<int16_t>(seconds), 0, XCB_BLANKING_PREFERRED,
                             XCB_EXPOSURES_DEFAULT);
        xcb_flush(m_connection);
    }
    bool on() {
        std::unique_ptr<xcb_screensaver_query_info_reply_t, decltype(&std::free)> info(
            xcb_screensaver_query_info_reply(
                m_connection, xcb_screensaver_query_info(m_connection, m_root), nullptr),
            &std::free);
        return info && info->state == XCB_SCREENSAVER_STATE_ON;
    }

private:
    xcb_connection_t* m_connection;
    xcb_window_t m_root = 0;
};

// Whether `holds` stays true for `ms` (checked as the event loop turns).
template <class Pred> bool holdsFor(Pred holds, int ms) {
    return !waitUntil([&] { return !holds(); }, ms);
}

TEST_F(DesktopSessionTest, TheXServersScreenSaverStaysOffWhileTheDiscPlaysAndOnlyThen) {
    XSaver x;
    ASSERT_TRUE(x.connected());
    x.setTimeout(2);
    // Idle and stopped: the server's saver comes on.
    EXPECT_TRUE(waitUntil([&] { return x.on(); }, 6000));

    call("Play");
    ASSERT_TRUE(waitUntil([&] { return state() == DvdPlayState::Playing; }, 10000));
    EXPECT_TRUE(waitUntil([&] { return m_session->screenSaver().xSuspended(); }, 5000));
    EXPECT_TRUE(waitUntil([&] { return !x.on(); }, 3000)); // a playing disc wakes the screen
    EXPECT_TRUE(holdsFor([&] { return !x.on(); }, 4000));
    EXPECT_EQ(m_saver.held(), 1); // with the session's screensaver

    // Paused: both let go together, and the saver comes on after its timeout.
    call("Pause");
    ASSERT_TRUE(waitUntil([&] { return state() == DvdPlayState::Paused; }, 5000));
    EXPECT_TRUE(waitUntil([&] { return !m_session->screenSaver().xSuspended(); }, 5000));
    EXPECT_TRUE(waitUntil([&] { return m_saver.held() == 0; }, 5000));
    EXPECT_TRUE(waitUntil([&] { return x.on(); }, 6000));

    call("Play");
    EXPECT_TRUE(waitUntil([&] { return !x.on(); }, 5000));
    EXPECT_TRUE(holdsFor([&] { return !x.on(); }, 3000));
    // The session gone (the program's end): released.
    m_session.reset();
    EXPECT_TRUE(waitUntil([&] { return x.on(); }, 6000));
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
