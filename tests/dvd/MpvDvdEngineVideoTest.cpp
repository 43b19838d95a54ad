// The libmpv engine with real video output under Xvfb: the picture, zoom, back colour, full
// screen, and mouse and keys reaching Qt over the playing video (pressed with xdotool).
#include "EnginePeer.h"
#include "EngineWindow.h"
#include "MpvDvdEngine.h"
#include "Screenshots.h"
#include "Waiting.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QList>
#include <QMouseEvent>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>

using kavelo::MpvDvdEngine;
namespace test = kavelo::test;

namespace {

const QString kDisc = QStringLiteral(KAVELO_TEST_DVD);

// Sees what the application sees, as the main window's key-state latch does.
class InputSpy : public QObject {
public:
    QList<QObject*> rightPressTargets;
    int spaceKeys = 0;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress &&
            static_cast<QMouseEvent*>(event)->button() == Qt::RightButton)
            rightPressTargets << watched;
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space)
            ++spaceKeys;
        return false;
    }
};

bool isRed(QRgb p) {
    return qRed(p) > 200 && qGreen(p) + qBlue(p) < 60;
}

// Mean difference per colour channel, 0 to 255.
double difference(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull())
        return 255;
    double sum = 0;
    int count = 0;
    for (int y = 0; y < a.height(); y += 4) {
        for (int x = 0; x < a.width(); x += 4) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q));
            count += 3;
        }
    }
    return sum / count;
}

// The X windows directly inside `window` (libmpv's video output makes one of its own).
QStringList childWindows(WId window) {
    QProcess process;
    process.start(QStringLiteral("xwininfo"),
                  {QStringLiteral("-children"), QStringLiteral("-id"), QString::number(window)});
    process.waitForFinished(5000);
    QStringList children;
    static const QRegularExpression line(QStringLiteral("^\\s+(0x[0-9a-f]+) "));
    for (const QString& text :
         QString::fromLocal8Bit(process.readAllStandardOutput()).split('\n')) {
        if (const QRegularExpressionMatch m = line.match(text); m.hasMatch())
            children << m.captured(1);
    }
    return children;
}

class VideoEngineTest : public test::EngineWindowTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(QFile::exists(kDisc + QStringLiteral("/VIDEO_TS/VIDEO_TS.IFO")));
        showEngine(QRect(0, 0, 640, 480), QRect(0, 0, 640, 360));
        if (ready())
            qApp->installEventFilter(&spy);
    }
    void TearDown() override { qApp->removeEventFilter(&spy); }

    InputSpy spy;
};

TEST_F(VideoEngineTest, ShowsThePictureWithZoomBackColourAndFullScreen) {
    QWidget* video = engine->widget();
    const WId wid = video->winId();
    engine->SetBackColor(0x000000ff); // red around the 4:3 picture in a 16:9 area
    engine->SetDVDDirectory(kDisc);
    engine->Play();
    ASSERT_TRUE(
        test::waitUntil([&] { return kavelo::test::peer(engine).positionSeconds() > 0.5; }, 8000));

    // A right click over the playing video reaches Qt on dvdMain.
    const QPoint centre = video->mapToGlobal(video->rect().center());
    ASSERT_TRUE(test::xdotool(
        {"mousemove", QString::number(centre.x()), QString::number(centre.y()), "click", "3"}));
    EXPECT_TRUE(test::waitUntil([&] { return spy.rightPressTargets.contains(video); }, 3000));

    // Paused: the picture in the middle, the back colour beside it.
    engine->Pause();
    QImage plain;
    EXPECT_TRUE(test::waitUntil(
        [&] {
            plain = test::grabOnScreen(video);
            return isRed(plain.pixel(10, 180)) && plain.pixel(320, 180) != plain.pixel(10, 180);
        },
        5000))
        << "side " << std::hex << plain.pixel(10, 180) << ", middle " << plain.pixel(320, 180);

    engine->Zoom(0, 0, 4.0);
    EXPECT_TRUE(
        test::waitUntil([&] { return difference(plain, test::grabOnScreen(video)) > 20; }, 5000));
    engine->Zoom(0, 0, 0.0);
    EXPECT_TRUE(
        test::waitUntil([&] { return difference(plain, test::grabOnScreen(video)) < 3; }, 5000));

    // Full screen: the same native window over the whole screen, still playing.
    engine->Resume();
    const QRect inWindow = video->geometry();
    engine->SetFullScreenMode(true);
    EXPECT_TRUE(engine->FullScreenMode());
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_TRUE(test::waitUntil([&] { return video->window()->geometry() == screen; }, 5000));
    EXPECT_EQ(video->size(), screen.size());
    EXPECT_EQ(video->winId(), wid);
    const double before = kavelo::test::peer(engine).positionSeconds();
    EXPECT_TRUE(test::waitUntil(
        [&] { return kavelo::test::peer(engine).positionSeconds() > before + 0.3; }, 5000));

    spy.rightPressTargets.clear();
    ASSERT_TRUE(test::xdotool({"mousemove", "500", "400", "click", "3"}));
    ASSERT_TRUE(test::xdotool({"key", "space"}));
    EXPECT_TRUE(test::waitUntil(
        [&] { return spy.rightPressTargets.contains(video) && spy.spaceKeys >= 1; }, 3000));

    engine->SetFullScreenMode(false);
    EXPECT_FALSE(engine->FullScreenMode());
    EXPECT_EQ(video->parentWidget(), &m_window);
    EXPECT_EQ(video->geometry(), inWindow);
    EXPECT_EQ(video->winId(), wid);
    const double back = kavelo::test::peer(engine).positionSeconds();
    EXPECT_TRUE(test::waitUntil(
        [&] { return kavelo::test::peer(engine).positionSeconds() > back + 0.2; }, 5000));

    // Closing is quick, with the sound device let go.
    QElapsedTimer clock;
    clock.start();
    engine.reset();
    EXPECT_LT(clock.elapsed(), 1500);
}

TEST_F(VideoEngineTest, ClosingWhileInFullScreenGivesTheVideoBack) {
    QWidget* video = engine->widget();
    engine->SetDVDDirectory(kDisc);
    engine->Play();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const auto fullScreenShown = [&] {
        return test::waitUntil(
            [&] {
                return engine->widget()->window()->isVisible() &&
                       engine->widget()->window()->geometry() == screen;
            },
            5000);
    };
    engine->SetFullScreenMode(true);
    EXPECT_TRUE(fullScreenShown());
    engine.reset();
    EXPECT_EQ(video->parentWidget(), &m_window);

    // At exit the application deletes every top-level window, the full-screen one among them,
    // before the engines go.
    engine = std::make_unique<MpvDvdEngine>(&m_window);
    engine->SetDVDDirectory(kDisc);
    engine->Play();
    engine->SetFullScreenMode(true);
    EXPECT_TRUE(fullScreenShown());
    delete engine->widget()->window();
    EXPECT_EQ(engine->widget(), nullptr);
    EXPECT_THROW(engine->Play(), kavelo::EngineError);
    EXPECT_THROW(engine->SetFullScreenMode(false), kavelo::EngineError);
    engine.reset();
}

TEST_F(VideoEngineTest, StopAndPlayKeepOneVideoOutput) {
    QWidget* video = engine->widget();
    engine->SetBackColor(0x000000ff);
    // The output is there before anything plays (the logo covers it in the window).
    ASSERT_TRUE(test::waitUntil([&] { return !childWindows(video->winId()).isEmpty(); }, 3000));
    const QStringList output = childWindows(video->winId());
    engine->SetDVDDirectory(kDisc);
    for (int cycle = 0; cycle < 3; ++cycle) {
        engine->Play();
        engine->Pause();
        EXPECT_TRUE(test::waitUntil(
            [&] {
                const QImage shown = test::grabOnScreen(video);
                return shown.pixel(320, 180) != shown.pixel(10, 180);
            },
            5000))
            << "no picture";
        engine->Stop();
        // Stopped: the back colour where the picture was, from the same output.
        EXPECT_TRUE(
            test::waitUntil([&] { return isRed(test::grabOnScreen(video).pixel(320, 180)); }, 5000))
            << cycle;
        EXPECT_EQ(childWindows(video->winId()), output) << "the video output was rebuilt";
    }
}

} // namespace
