#pragma once

#include <QByteArray>
#include <QDir>
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

// Copies the files of `disc`'s VIDEO_TS into `dir`/VIDEO_TS; `dir`, or empty when a copy fails.
inline QString copyDisc(const QString& disc, const QString& dir) {
    const QDir source(disc + QStringLiteral("/VIDEO_TS"));
    if (!QDir(dir).mkpath(QStringLiteral("VIDEO_TS")))
        return {};
    for (const QString& name : source.entryList(QDir::Files))
        if (!QFile::copy(source.filePath(name), dir + QStringLiteral("/VIDEO_TS/") + name))
            return {};
    return dir;
}

} // namespace kavelo::test
