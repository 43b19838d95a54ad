#pragma once

#include "EngineState.h"
#include "MpvDvdEngine.h"

#include <QImage>
#include <QString>

#include <memory>

namespace kavelo {

// What tests and measurements read of the DVD engine beyond its interface: its state, the
// position with fractions, libmpv's properties and picture, and a title played on its own.
struct EngineTestPeer {
    MpvDvdEngine& engine;

    // Plays the title with the 1-based number from its start, outside the disc's program, in
    // `angle`, showing the subtitles the subpicture register value `subpicture` names (64 plus
    // the stream's number; -1 for none).
    void PlayTitle(int title, int subpicture = -1, int angle = 1);
    // The playing position within the title in seconds; raises when nothing is loaded.
    double positionSeconds();
    // Pictures shown after a load or a seek (each step of a backward scan shows one).
    int pictureUpdates();
    bool scanning() const;
    EngineState state() const { return engine.state(); }
    // An mpv property as text, empty when it has none.
    QString propertyText(const char* name);
    // The place the loaded title is read from.
    QString titlePlace() const;
    // Sets an mpv property (a filter to measure with); false when libmpv refuses.
    bool setProperty(const char* name, const QByteArray& value);
    // The picture libmpv shows now, as the video decodes it; null when there is none.
    QImage picture();
    // libmpv's position event, as though it had told `seconds` now.
    void tellPosition(double seconds);
    // How many times a disc's structure was read by the probe.
    int discProbes() const;

    static int probes(const DvdStructureReader& reader) { return reader.m_probes; }
};

namespace test {
inline EngineTestPeer peer(MpvDvdEngine* engine) {
    return {*engine};
}
inline EngineTestPeer peer(MpvDvdEngine& engine) {
    return {engine};
}
inline EngineTestPeer peer(const std::unique_ptr<MpvDvdEngine>& engine) {
    return {*engine};
}
} // namespace test

} // namespace kavelo
