#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace kavelo {

// A place the drive list offers: an optical drive or a mounted volume.
struct Drive {
    QString label;  // what the list shows
    QString device; // e.g. /dev/sr0; empty for a volume known only by its folder
    QString root;   // the folder where the drive's files are, when mounted
    bool optical = false;
};

class IDrives {
public:
    virtual ~IDrives() = default;
    // The machine's optical drives and mounted volumes.
    virtual QList<Drive> drives() = 0;
    // The drive that holds `path`, from the list above.
    virtual std::optional<Drive> driveOf(const QString& path) = 0;
    // The folder to show for a drive: its root when it can be read, the device itself for a
    // disc that is in the drive but not mounted; nothing when there is nothing to read.
    virtual std::optional<QString> openDrive(const Drive& drive) = 0;
};

// The optical drive Kavelo plays when no other place is chosen: /dev/dvd, or /dev/sr0 when
// there is no /dev/dvd.
QString defaultOpticalDrive();

// Whether the optical drive `device` holds a disc it can read. Never blocks on an empty drive.
bool discInDrive(const QString& device);

// Optical drives from /dev (sr*, dvd*, cdrom*), volumes from the mount table.
class SystemDrives final : public IDrives {
public:
    QList<Drive> drives() override;
    std::optional<Drive> driveOf(const QString& path) override;
    std::optional<QString> openDrive(const Drive& drive) override;
};

} // namespace kavelo
