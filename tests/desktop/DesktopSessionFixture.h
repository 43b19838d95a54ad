// The program's own window and real engine in a desktop session on the sample disc, with a
// recording screensaver and the media controls on the test's private session bus.
#pragma once

#include "EnginePeer.h"
#include "DesktopSession.h"
#include "FakeDialogs.h"
#include "FakeDvdEngine.h"
#include "FakeScreenSaver.h"
#include "FrmPlay.h"
#include "KaveloApp.h"
#include "MprisClient.h"
#include "MpvDvdEngine.h"

#include <QDBusConnection>
#include <QDir>
#include <QString>

#include <gtest/gtest.h>

#include <memory>

namespace kavelo::test {

inline const QString kDisc = QStringLiteral(KAVELO_TEST_DVD);

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

    double position() { return kavelo::test::peer(m_engine).positionSeconds(); }
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

} // namespace kavelo::test
