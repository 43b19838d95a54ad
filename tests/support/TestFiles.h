#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace kavelo::test {

// Writes `bytes` to `path`, replacing what was there; false when it cannot.
inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// The whole file, or `missing` when it cannot be read.
inline QByteArray readFile(const QString& path, const QByteArray& missing = QByteArray()) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : missing;
}

} // namespace kavelo::test
