#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <unistd.h>

namespace kavelo::bench {

// The processor time (user and system) process `pid` has spent, in seconds, or only its thread
// `thread` when one is given; 0 when unknown.
inline double cpuSeconds(qint64 pid, qint64 thread = 0) {
    QFile file(thread != 0 ? QStringLiteral("/proc/%1/task/%2/stat").arg(pid).arg(thread)
                           : QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = file.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return (fields[11].toDouble() + fields[12].toDouble()) /
           static_cast<double>(sysconf(_SC_CLK_TCK));
}

} // namespace kavelo::bench
