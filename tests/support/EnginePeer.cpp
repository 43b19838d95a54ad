#include "EnginePeer.h"

#include <QFile>
#include <QTemporaryDir>

namespace kavelo {

void EngineTestPeer::PlayTitle(int title, int subpicture, int angle) {
    engine.m_driver.session();
    const QString place = engine.DVDDirectory();
    // A title chosen from outside the disc's program leaves the program.
    engine.m_playback.m_program.drop();
    engine.m_playback.loadTitle(place, engine.m_discs.read(place), title, 0, angle, 3000);
    if (subpicture >= 0)
        engine.m_playback.applyStreams(0, subpicture);
}

double EngineTestPeer::positionSeconds() {
    engine.m_playback.requireTitle();
    return engine.m_playback.title().position();
}

void EngineTestPeer::tellPosition(double seconds) {
    engine.m_playback.onPosition(seconds);
}

int EngineTestPeer::pictureUpdates() {
    return engine.m_driver.pictures();
}

bool EngineTestPeer::scanning() const {
    return kavelo::scanning(engine.state());
}

QString EngineTestPeer::titlePlace() const {
    return engine.m_playback.title().loaded() ? engine.m_playback.title().place() : QString();
}

QString EngineTestPeer::propertyText(const char* name) {
    return engine.m_driver.getText(name).value_or(QString());
}

bool EngineTestPeer::setProperty(const char* name, const QByteArray& value) {
    try {
        engine.m_driver.setText(name, value);
        return true;
    } catch (const EngineError&) {
        return false;
    }
}

QImage EngineTestPeer::picture() {
    const QTemporaryDir dir;
    if (!dir.isValid())
        return {};
    const QString path = dir.filePath(QStringLiteral("picture.png"));
    if (!engine.m_driver.tryCommand({"screenshot-to-file", QFile::encodeName(path), "video"}))
        return {};
    return QImage(path);
}

int EngineTestPeer::discProbes() const {
    return probes(engine.m_discs);
}

} // namespace kavelo
