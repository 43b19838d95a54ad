#include "Registry.h"

#include <QFile>
#include <QStandardPaths>

#include <algorithm>

namespace kavelo {

long copyRegistryValue(std::uint32_t valueType, const QByteArray& value, std::uint32_t& type,
                       QByteArray& buffer, std::uint32_t& size) {
    const auto needed = static_cast<std::uint32_t>(value.size());
    const auto room = std::min<std::uint32_t>(size, static_cast<std::uint32_t>(buffer.size()));
    if (needed > room) {
        size = needed;
        return kErrorMoreData;
    }
    std::copy(value.begin(), value.end(), buffer.begin());
    type = valueType;
    size = needed;
    return kErrorSuccess;
}

LinuxRegistry::LinuxRegistry(QStringList searchPaths) : m_searchPaths(std::move(searchPaths)) {}

QStringList LinuxRegistry::sysInfoPrograms() {
    return {
        // System information proper.
        QStringLiteral("hardinfo2"),
        QStringLiteral("hardinfo"),
        QStringLiteral("kinfocenter"),
        QStringLiteral("cpu-x"),
        QStringLiteral("lshw-gtk"),
        // The desktops' system monitors, which show the machine and its load.
        QStringLiteral("gnome-system-monitor"),
        QStringLiteral("plasma-systemmonitor"),
        QStringLiteral("mate-system-monitor"),
        QStringLiteral("xfce4-taskmanager"),
        QStringLiteral("lxtask"),
    };
}

QString LinuxRegistry::findSysInfoProgram() const {
    for (const QString& name : sysInfoPrograms()) {
        const QString path = QStandardPaths::findExecutable(name, m_searchPaths);
        if (!path.isEmpty())
            return path;
    }
    return {};
}

long LinuxRegistry::openKey(RegKey root, const QString& subKey, std::uint32_t /*options*/,
                            std::uint32_t access, RegKey& key) {
    if (root != kHKeyLocalMachine ||
        subKey.compare(QLatin1String(kMsInfoKey), Qt::CaseInsensitive) != 0)
        return kErrorFileNotFound;
    if (access & kKeyWriteRights)
        return kErrorAccessDenied;
    const QString program = findSysInfoProgram();
    if (program.isEmpty())
        return kErrorFileNotFound;
    key = m_nextKey++;
    m_open[key] = program;
    return kErrorSuccess;
}

long LinuxRegistry::queryValue(RegKey key, const QString& name, std::uint32_t& type,
                               QByteArray& buffer, std::uint32_t& size) {
    const auto it = m_open.find(key);
    if (it == m_open.end())
        return kErrorInvalidHandle;
    if (name.compare(QLatin1String(kMsInfoPathValue), Qt::CaseInsensitive) != 0)
        return kErrorFileNotFound;
    QByteArray value = QFile::encodeName(it->second);
    value.append('\0'); // stored as the platform stores text: with its terminating zero
    return copyRegistryValue(kRegSz, value, type, buffer, size);
}

long LinuxRegistry::closeKey(RegKey key) {
    return m_open.erase(key) ? kErrorSuccess : kErrorInvalidHandle;
}

} // namespace kavelo
