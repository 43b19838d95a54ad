// Kavelo in the desktop session, on a private session bus: the media controls (MPRIS) driving
// the real window and engine on the sample disc, the screensaver kept off while a video
// plays, and the program itself started, controlled and ended over the bus.
#include "DesktopSession.h"

#include "FakeDialogs.h"
#include "FakeDvdEngine.h"
#include "FakeScreenSaver.h"
#include "FrmPlay.h"
#include "FrmSingle.h"
#include "KaveloApp.h"
#include "Mpris.h"
#include "MpvDvdEngine.h"
#include "Waiting.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDir>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <future>

namespace kavelo {
namespace {

using test::FakeDialogs;
using test::FakeScreenSaver;
using test::waitUntil;

const QString kDisc = QStringLiteral(KAVELO_TEST_DVD);
const QString kClient = QStringLiteral("mpris-client");
const QString kRoot = QString::fromLatin1(Mpris::kRootInterface);
const QString kPlayer = QString::fromLatin1(Mpris::kPlayerInterface);
constexpr qint64 kSecond = 1000000;

// Runs a blocking bus call on a thread of its own while this thread's event loop turns, so
// that a service living here can answer it.
template <class F> auto offThread(F call) {
    auto future = std::async(std::launch::async, std::move(call));
    waitUntil([&] { return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
              30000);
    return future.get();
}

QDBusConnection client() {
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, kClient);
}

QVariant property(const QString& interface, const char* name) {
    return offThread([=] {
        QDBusInterface mpris(QString::fromLatin1(Mpris::kService),
                             QString::fromLatin1(Mpris::kPath), interface,
                             QDBusConnection(kClient));
        return mpris.property(name);
    });
}

QDBusMessage call(const QString& method, const QVariantList& args = {}) {
    return offThread([=] {
        QDBusInterface mpris(
            QString::fromLatin1(Mpris::kService), QString::fromLatin1(Mpris::kPath),
            method == QLatin1String("Raise") || method == QLatin1String("Quit") ? kRoot : kPlayer,
            QDBusConnection(kClient));
        return mpris.callWithArgumentList(QDBus::Block, method, args);
    });
}

QVariantMap metadata() {
    const QVariant v = property(kPlayer, "Metadata");
    if (v.canConvert<QDBusArgument>())
        return qdbus_cast<QVariantMap>(v.value<QDBusArgument>());
    return v.toMap();
}

QString trackTitle() {
    return metadata().value(QStringLiteral("xesam:title")).toString();
}

// What the service told the desktop by signal.
class SignalLog : public QObject {
    Q_OBJECT
public:
    QList<QVariantMap> changed;
    QList<qlonglong> seeked;

    void listen(QDBusConnection bus) {
        bus.connect(QString::fromLatin1(Mpris::kService), QString::fromLatin1(Mpris::kPath),
                    QStringLiteral("org.freedesktop.DBus.Properties"),
                    QStringLiteral("PropertiesChanged"), this,
                    SLOT(onChanged(QString, QVariantMap, QStringList)));
        bus.connect(QString::fromLatin1(Mpris::kService), QString::fromLatin1(Mpris::kPath),
                    kPlayer, QStringLiteral("Seeked"), this, SLOT(onSeeked(qlonglong)));
    }
    // Whether a change of `name` to a value `matches` was signalled.
    template <class Pred> bool told(const QString& name, Pred matches) const {
        for (const QVariantMap& c : changed) {
            if (c.contains(name) && matches(c.value(name)))
                return true;
        }
        return false;
    }

public slots:
    void onChanged(const QString& interface, const QVariantMap& properties, const QStringList&) {
        if (interface == kPlayer)
            changed << properties;
    }
    void onSeeked(qlonglong position) { seeked << position; }
};

QString titleIn(const QVariant& v) {
    const QVariantMap map = v.canConvert<QDBusArgument>()
                                ? qdbus_cast<QVariantMap>(v.value<QDBusArgument>())
                                : v.toMap();
    return map.value(QStringLiteral("xesam:title")).toString();
}

class DesktopSessionTest : public ::testing::Test {
protected:
    DesktopSessionTest()
        : m_oldCwd(QDir::currentPath()),
          m_app(m_dialogs, test::keepingLast(m_engine), QStringLiteral("/nonexistent")) {
        // Started in the disc's folder: Play plays it.
        QDir::setCurrent(kDisc);
        m_app.showMainWindow();
        m_window = m_app.existingMainWindow();
        m_session = std::make_unique<DesktopSession>(m_app, QDBusConnection::sessionBus());
        m_log.listen(client());
    }
    ~DesktopSessionTest() override {
        m_session.reset();
        QDir::setCurrent(m_oldCwd);
    }

    double position() { return m_engine->positionSeconds(); }
    DvdPlayState state() { return m_engine ? m_engine->PlayState() : DvdPlayState::Stopped; }

    QString m_oldCwd;
    FakeScreenSaver m_saver;
    FakeDialogs m_dialogs;
    MpvDvdEngine* m_engine = nullptr;
    KaveloApp m_app;
    FrmPlay* m_window = nullptr;
    std::unique_ptr<DesktopSession> m_session;
    SignalLog m_log;
};

TEST_F(DesktopSessionTest, MediaControlsRunTheWindowsCommandsAndTheScreensaverFollows) {
    ASSERT_TRUE(m_saver.registered());
    ASSERT_NE(m_session->mpris(), nullptr);
    ASSERT_TRUE(m_session->mpris()->registered());
    EXPECT_EQ(property(kRoot, "Identity").toString(), QStringLiteral("Kavelo"));
    EXPECT_EQ(property(kRoot, "DesktopEntry").toString(), QString::fromLatin1(kDesktopId));
    EXPECT_TRUE(property(kRoot, "CanRaise").toBool() && property(kRoot, "CanQuit").toBool());
    EXPECT_EQ(property(kPlayer, "PlaybackStatus").toString(), QStringLiteral("Stopped"));
    EXPECT_FALSE(property(kPlayer, "CanSeek").toBool());
    EXPECT_EQ(metadata().value("mpris:trackid").value<QDBusObjectPath>().path(),
              QString::fromLatin1(Mpris::kNoTrack));

    // Play runs dPlay: the logo goes, the status bar runs, the screensaver is held.
    call("Play");
    ASSERT_TRUE(waitUntil([&] { return state() == DvdPlayState::Playing; }, 10000));
    EXPECT_TRUE(m_window->picLogo->isHidden());
    EXPECT_TRUE(m_window->timTime->isActive());
    EXPECT_TRUE(waitUntil([&] { return m_saver.held() == 1; }, 5000));
    EXPECT_TRUE(waitUntil(
        [&] {
            return m_log.told("PlaybackStatus", [](const QVariant& v) { return v == "Playing"; });
        },
        5000));
    const QVariantMap playing = metadata();
    EXPECT_EQ(playing.value("xesam:title").toString(), QStringLiteral("Title 2, Chapter 1"));
    EXPECT_EQ(playing.value("mpris:length").toLongLong(), 80 * kSecond);
    const QString track = playing.value("mpris:trackid").value<QDBusObjectPath>().path();
    EXPECT_EQ(track, QStringLiteral("/org/example/kavelo/title/2"));
    EXPECT_TRUE(property(kPlayer, "CanSeek").toBool());

    // Next and Previous are the chapter commands; the track title follows.
    call("Next");
    ASSERT_TRUE(waitUntil([&] { return m_engine->CurrentChapter() == 2; }, 5000));
    EXPECT_TRUE(waitUntil(
        [&] {
            return m_log.told("Metadata", [](const QVariant& v) {
                return titleIn(v) == QLatin1String("Title 2, Chapter 2");
            });
        },
        5000));

    // Positions go through PlayAtTime; one for another track, or past the end, is ignored.
    call("SetPosition", {QVariant::fromValue(QDBusObjectPath(track)), 65 * kSecond});
    ASSERT_TRUE(waitUntil([&] { return std::abs(position() - 65) < 1.0; }, 5000)) << position();
    EXPECT_TRUE(waitUntil([&] { return !m_log.seeked.isEmpty(); }, 5000));
    EXPECT_NEAR(m_log.seeked.value(0) / double(kSecond), 65, 1.5);
    EXPECT_NEAR(property(kPlayer, "Position").toLongLong() / double(kSecond), 65, 1.5);
    EXPECT_EQ(trackTitle(), QStringLiteral("Title 2, Chapter 4"));
    call("SetPosition",
         {QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/example/kavelo/title/1"))),
          5 * kSecond});
    call("SetPosition", {QVariant::fromValue(QDBusObjectPath(track)), 90 * kSecond});
    QTest::qWait(300);
    EXPECT_GT(position(), 64);
    call("Seek", {qlonglong(-10 * kSecond)});
    ASSERT_TRUE(waitUntil([&] { return position() < 60; }, 5000)) << position();
    EXPECT_GT(position(), 54);

    // Pause and PlayPause: released, then held again; never two at once.
    call("Pause");
    ASSERT_TRUE(waitUntil([&] { return state() == DvdPlayState::Paused; }, 5000));
    EXPECT_TRUE(waitUntil([&] { return m_saver.held() == 0; }, 5000));
    EXPECT_EQ(property(kPlayer, "PlaybackStatus").toString(), QStringLiteral("Paused"));
    call("PlayPause");
    ASSERT_TRUE(waitUntil([&] { return state() == DvdPlayState::Playing; }, 5000));
    EXPECT_TRUE(waitUntil([&] { return m_saver.held() == 1; }, 5000));
    EXPECT_EQ(m_saver.count("Inhibit"), 2);

    // Stop runs dStop; Next then says what dNextChapter always says without a disc playing.
    call("Stop");
    ASSERT_TRUE(waitUntil([&] { return state() == DvdPlayState::Stopped; }, 5000));
    EXPECT_FALSE(m_window->timTime->isActive());
    EXPECT_TRUE(waitUntil([&] { return m_saver.held() == 0; }, 5000));
    EXPECT_TRUE(m_dialogs.messages.isEmpty());
    call("Next");
    EXPECT_TRUE(waitUntil([&] { return !m_dialogs.messages.isEmpty(); }, 5000));
    EXPECT_EQ(m_dialogs.messages, QStringList{"Please Insert DVD Rom."});
    EXPECT_EQ(property(kPlayer, "PlaybackStatus").toString(), QStringLiteral("Stopped"));

    // Closing the main window while it plays releases the screensaver; Raise opens it again.
    call("PlayPause");
    ASSERT_TRUE(waitUntil([&] { return m_saver.held() == 1; }, 10000));
    m_window->close();
    ASSERT_TRUE(waitUntil([&] { return m_app.existingMainWindow() == nullptr; }, 5000));
    EXPECT_TRUE(waitUntil([&] { return m_saver.held() == 0; }, 5000));
    EXPECT_EQ(property(kPlayer, "PlaybackStatus").toString(), QStringLiteral("Stopped"));
    call("Raise");
    EXPECT_TRUE(waitUntil(
        [&] { return m_app.existingMainWindow() && m_app.existingMainWindow()->isVisible(); },
        5000));
    EXPECT_EQ(m_saver.mostHeld(), 1);
}

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
    EXPECT_EQ(trackTitle(), QStringLiteral("Title 2, Chapter 1"));

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

#include "DesktopSessionTest.moc"
