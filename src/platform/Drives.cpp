#include "Drives.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace kavelo {
namespace {

constexpr const char* kPseudoFileSystems[] = {
    "proc",       "sysfs",      "devtmpfs", "devpts",  "cgroup",      "cgroup2",
    "securityfs", "pstore",     "bpf",      "tracefs", "debugfs",     "mqueue",
    "hugetlbfs",  "configfs",   "fusectl",  "autofs",  "binfmt_misc", "overlay",
    "nsfs",       "rpc_pipefs", "efivarfs", "squashfs"};

bool pseudoFileSystem(const QByteArray& type) {
    for (const char* t : kPseudoFileSystems) {
        if (type == t)
            return true;
    }
    return false;
}

} // namespace

QString defaultOpticalDrive() {
    return QFileInfo::exists(QStringLiteral("/dev/dvd")) ? QStringLiteral("/dev/dvd")
                                                         : QStringLiteral("/dev/sr0");
}

bool discInDrive(const QString& device) {
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return false;
    const int status = ::ioctl(fd, CDROM_DRIVE_STATUS, CDSL_CURRENT);
    ::close(fd);
    return status == CDS_DISC_OK;
}

QList<Drive> SystemDrives::drives() {
    QList<Drive> result;
    const QList<QStorageInfo> volumes = QStorageInfo::mountedVolumes();
    // Optical drives, whether or not they hold a disc.
    const QStringList devices =
        QDir(QStringLiteral("/dev"))
            .entryList({QStringLiteral("sr*"), QStringLiteral("dvd*"), QStringLiteral("cdrom*")},
                       QDir::System | QDir::Files, QDir::Name);
    QStringList seen;
    for (const QString& name : devices) {
        const QString device = QStringLiteral("/dev/") + name;
        const QString real = QFileInfo(device).canonicalFilePath();
        if (seen.contains(real))
            continue;
        seen << real;
        Drive d;
        d.device = device;
        d.optical = true;
        for (const QStorageInfo& v : volumes) {
            const QString vdev = QFileInfo(QString::fromLocal8Bit(v.device())).canonicalFilePath();
            if (vdev == real)
                d.root = v.rootPath();
        }
        d.label = device + QStringLiteral(" [DVD]");
        result << d;
    }
    for (const QStorageInfo& v : volumes) {
        if (!v.isValid() || pseudoFileSystem(v.fileSystemType()))
            continue;
        Drive d;
        d.device = QString::fromLocal8Bit(v.device());
        d.root = v.rootPath();
        d.label = v.name().isEmpty() ? v.rootPath()
                                     : QStringLiteral("%1 [%2]").arg(v.rootPath(), v.name());
        result << d;
    }
    return result;
}

std::optional<Drive> SystemDrives::driveOf(const QString& path) {
    const QStorageInfo info(path);
    if (!info.isValid())
        return std::nullopt;
    for (const Drive& d : drives()) {
        if (!d.optical && d.root == info.rootPath())
            return d;
    }
    return std::nullopt;
}

std::optional<QString> SystemDrives::openDrive(const Drive& drive) {
    if (!drive.root.isEmpty()) {
        if (QDir(drive.root).isReadable())
            return drive.root;
        return std::nullopt;
    }
    if (drive.optical && discInDrive(drive.device))
        return drive.device;
    return std::nullopt;
}

} // namespace kavelo
