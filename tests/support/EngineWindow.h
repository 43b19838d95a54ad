#pragma once

#include "MenuInput.h"
#include "MpvDvdEngine.h"

#include <QGuiApplication>
#include <QStandardPaths>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace kavelo::test {

// A window on a real X server with the libmpv engine's video area in it; input comes through
// xdotool, so the tests skip where it is not installed.
class EngineWindowTest : public ::testing::Test {
protected:
    // Shows the window at `window` with the video area at `video`; after it, a test goes on only
    // when neither skipped nor failed (see ready()).
    void showEngine(const QRect& window, const QRect& video) {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            GTEST_SKIP() << "xdotool is not installed";
        m_window.setGeometry(window);
        engine = std::make_unique<MpvDvdEngine>(&m_window);
        engine->widget()->setGeometry(video);
        m_window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
    }
    bool ready() const { return !IsSkipped() && !HasFatalFailure(); }
    // The window's keys and pointer work the disc's menus, as in the main window (for as long
    // as this engine lives).
    void takeMenuInput() { input = std::make_unique<MenuInput>(engine->widget(), *engine); }

    QWidget m_window;
    std::unique_ptr<MpvDvdEngine> engine;
    std::unique_ptr<MenuInput> input; // the window's keys and pointer for the disc's menus
};

} // namespace kavelo::test
