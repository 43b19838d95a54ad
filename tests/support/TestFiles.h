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

// Breaks the disc at `disc` as a damaged copy does, in a title set's control file and its backup
// alike: the post-command count of the title set's first title chain becomes 9806, which sends
// libdvdnav reading far past the chain when it starts the title. False when the files are not
// as expected.
inline bool breakTitleCommandCount(const QString& disc, int titleSet) {
    const auto be = [](const QByteArray& d, qsizetype at, int bytes) {
        quint32 v = 0;
        for (int i = 0; i < bytes && at + i < d.size(); ++i)
            v = (v << 8) | static_cast<quint8>(d[at + i]);
        return v;
    };
    for (const char* end : {"_0.IFO", "_0.BUP"}) {
        const QString path =
            disc + QStringLiteral("/VIDEO_TS/VTS_%1").arg(titleSet, 2, 10, QLatin1Char('0')) +
            QLatin1String(end);
        QByteArray data = readFile(path);
        const qsizetype table = static_cast<qsizetype>(be(data, 0xCC, 4)) * 2048;
        const qsizetype chain = table + static_cast<qsizetype>(be(data, table + 12, 4));
        const qsizetype commands = chain + static_cast<qsizetype>(be(data, chain + 0xE4, 2));
        if (table <= 0 || commands <= chain || commands + 4 > data.size())
            return false;
        data[commands + 2] = static_cast<char>(9806 >> 8);
        data[commands + 3] = static_cast<char>(9806 & 0xff);
        if (!writeFile(path, data))
            return false;
    }
    return true;
}

} // namespace kavelo::test
