#pragma once

#include "Mci.h"

#include <QRect>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QWidget;

namespace kavelo {

enum class TimeFormat { Milliseconds, Frames };
enum class DeviceMode { Stopped, Playing, Paused };

// The mode as a status reply: "playing", "paused" or "stopped".
inline QString modeText(DeviceMode mode) {
    switch (mode) {
    case DeviceMode::Playing:
        return QStringLiteral("playing");
    case DeviceMode::Paused:
        return QStringLiteral("paused");
    case DeviceMode::Stopped:
        break;
    }
    return QStringLiteral("stopped");
}

// One open medium behind an alias. Positions are in the device's current time format:
// frames count from 0 at the first picture; a medium without pictures knows milliseconds only.
class IMciDevice {
public:
    virtual ~IMciDevice() = default;

    // Plays from `from` (or on from where it stands) and stops at `to` (or at the end).
    virtual MciError play(std::optional<qint64> from, std::optional<qint64> to) = 0;
    virtual MciError pause() = 0;
    virtual MciError resume() = 0;
    virtual MciError stop() = 0;
    // Stops and moves to `to`; when it returns, the picture is the one at `to`.
    virtual MciError seek(qint64 to) = 0;
    // Places the picture inside its parent window, in pixels.
    virtual MciError putWindow(const QRect& rect) = 0;
    virtual MciError setTimeFormat(TimeFormat format) = 0;
    virtual MciError length(qint64* value) = 0;
    virtual MciError position(qint64* value) = 0;
    // "playing", "paused" or "stopped".
    virtual QString mode() = 0;
};

struct OpenRequest {
    QString path;              // absolute path of an existing file
    QString deviceType;        // as given in the open command
    QString driver;            // the driver named in the profile, in lower case
    QWidget* parent = nullptr; // the window that hosts the picture; none for a window of its own
};

// Makes a device of type D and starts it on the request; nullptr and *error on failure.
template <class D, class Options>
std::unique_ptr<IMciDevice> startDevice(const OpenRequest& request, const Options& options,
                                        MciError* error) {
    auto device = std::make_unique<D>();
    const MciError e = device->start(request, options);
    if (error)
        *error = e;
    if (e != MciError::None)
        return nullptr;
    return device;
}

// Opens a device for a request; on failure returns nullptr and sets *error.
using DeviceFactory =
    std::function<std::unique_ptr<IMciDevice>(const OpenRequest& request, MciError* error)>;

} // namespace kavelo
