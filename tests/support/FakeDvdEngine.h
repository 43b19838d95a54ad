#pragma once

#include "DvdEngine.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <optional>

namespace kavelo::test {

// Records every engine call as a text ("Play", "PlayChapter(3)", "SetMute(true)") and fails
// the operations named in `failing` with EngineError. Reads answer from the public values.
class FakeDvdEngine final : public IDvdEngine {
public:
    explicit FakeDvdEngine(QWidget* parent = nullptr);
    ~FakeDvdEngine() override;

    QStringList calls;
    QSet<QString> failing; // operation names, e.g. "Play", "CurrentTime"

    bool fullScreen = false;
    std::int32_t title = 1;
    std::int32_t chapter = 1;
    QString currentTime = QStringLiteral("00:00:00:00");
    QString totalTime = QStringLiteral("00:00:00:00");
    QString directory;
    std::int32_t angle = 1;
    std::int32_t angles = 1;
    std::uint32_t backColor = 0;
    // Follows the playback calls that succeed (Play, Resume and the scans play, Pause pauses,
    // Stop stops); tests may set it. Reading it is not recorded.
    DvdPlayState playState = DvdPlayState::Stopped;

    QWidget* widget() override { return m_widget; }

    void Play() override { op("Play", {}, DvdPlayState::Playing); }
    void Pause() override { op("Pause", {}, DvdPlayState::Paused); }
    void Stop() override { op("Stop", {}, DvdPlayState::Stopped); }
    void Resume() override { op("Resume", {}, DvdPlayState::Playing); }
    void PlayChapter(std::int32_t c) override { op("PlayChapter", QString::number(c)); }
    void PlayNextChapter() override { op("PlayNextChapter"); }
    void PlayPrevChapter() override { op("PlayPrevChapter"); }
    void PlayAtTime(const QString& t) override { op("PlayAtTime", t); }
    void PlayForwards(double s) override {
        op("PlayForwards", QString::number(s), DvdPlayState::Playing);
    }
    void PlayBackwards(double s) override {
        op("PlayBackwards", QString::number(s), DvdPlayState::Playing);
    }
    DvdPlayState PlayState() noexcept override { return playState; }

    bool FullScreenMode() override { return read("FullScreenMode", fullScreen); }
    void SetFullScreenMode(bool on) override {
        op("SetFullScreenMode", on ? "true" : "false");
        fullScreen = on;
    }

    std::int32_t CurrentTitle() override { return read("CurrentTitle", title); }
    std::int32_t CurrentChapter() override { return read("CurrentChapter", chapter); }
    QString CurrentTime() override { return read("CurrentTime", currentTime); }
    QString TotalTitleTime() override { return read("TotalTitleTime", totalTime); }

    void SetDVDDirectory(const QString& path) override {
        op("SetDVDDirectory", path);
        directory = path;
    }
    QString DVDDirectory() override { return read("DVDDirectory", directory); }

    std::int32_t CurrentAngle() override { return read("CurrentAngle", angle); }
    void SetCurrentAngle(std::int32_t a) override {
        op("SetCurrentAngle", QString::number(a));
        angle = a;
    }
    std::int32_t AnglesAvailable() override { return read("AnglesAvailable", angles); }

    void SetMute(bool on) override { op("SetMute", on ? "true" : "false"); }
    void Zoom(std::int32_t x, std::int32_t y, double r) override {
        op("Zoom", QStringLiteral("%1,%2,%3").arg(x).arg(y).arg(r));
    }
    void SaveBookmark() override { op("SaveBookmark"); }
    void RestoreBookmark() override { op("RestoreBookmark"); }
    void DeleteBookmark() override { op("DeleteBookmark"); }
    void SetBackColor(std::uint32_t c) override {
        op("SetBackColor", QString::number(c));
        backColor = c;
    }
    void SetVolume(double v) override {
        op("SetVolume", QString::number(v));
        snap.volume = v;
    }
    const DvdSnapshot& snapshot() const noexcept override { return snap; }
    DvdEngineEvents& events() noexcept override { return m_events; }

    // What snapshot() answers; publish() tells the listeners it changed.
    DvdSnapshot snap;
    void publish() { emit m_events.snapshotChanged(snap); }

    // Number of recorded calls whose text starts with `prefix`.
    int count(const QString& prefix) const;

private:
    void op(const QString& name, const QString& arg = QString(),
            std::optional<DvdPlayState> after = std::nullopt);
    template <class T> T read(const QString& name, const T& value) {
        calls << name;
        if (failing.contains(name))
            throw EngineError(name.toStdString());
        return value;
    }

    QWidget* m_widget;
    DvdEngineEvents m_events;
};

// An engine factory for windows that build their own: makes an `Engine` on the window and
// keeps a pointer to the last one made in `last`.
template <class Engine> auto keepingLast(Engine*& last) {
    return [&last](QWidget* parent) {
        auto e = std::make_unique<Engine>(parent);
        last = e.get();
        return e;
    };
}

} // namespace kavelo::test
