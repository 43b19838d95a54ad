#include "BookmarkStore.h"

#include "Logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>

namespace kavelo {

namespace {

// A time beyond a day is no place on a disc.
constexpr double kMaxSeconds = 24 * 3600;

// A whole decimal number in [low, high], written as this file writes it: an optional minus
// and at most nine digits; nothing for anything else.
std::optional<int> number(const QByteArray& text, int low, int high) {
    const qsizetype digits = text.startsWith('-') ? text.size() - 1 : text.size();
    if (digits < 1 || digits > 9)
        return std::nullopt;
    for (qsizetype i = text.size() - digits; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
    }
    const int value = text.toInt();
    if (value < low || value > high)
        return std::nullopt;
    return value;
}

std::optional<DiscBookmark> parseMark(const QList<QByteArray>& f) {
    DiscBookmark m;
    const auto title = number(f[1], 1, 99);
    const auto milliseconds = number(f[2], 0, static_cast<int>(kMaxSeconds * 1000));
    const auto angle = number(f[3], 1, 9);
    const auto audio = number(f[4], -1, 7);
    const auto subpicture = number(f[5], -1, 95);
    if (!title || !milliseconds || !angle || !audio || !subpicture)
        return std::nullopt;
    m.title = *title;
    m.seconds = *milliseconds / 1000.0;
    m.angle = *angle;
    m.audio = *audio;
    m.subpicture = *subpicture;
    return m;
}

} // namespace

BookmarkStore::BookmarkStore()
    : BookmarkStore(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
                    QStringLiteral("/bookmarks")) {}

BookmarkStore::BookmarkStore(QString filePath) : m_path(std::move(filePath)) {}

bool BookmarkStore::validDiscId(const QString& discId) {
    if (discId.size() != 32)
        return false;
    for (QChar c : discId) {
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
              (c >= QLatin1Char('a') && c <= QLatin1Char('f'))))
            return false;
    }
    return true;
}

QList<BookmarkStore::Entry> BookmarkStore::read() const {
    const QFileInfo info(m_path);
    if (!info.exists())
        return {};
    // Only a small regular file: a pipe or a device in its place could wait forever.
    if (!info.isFile() || info.size() > kMaxFileBytes) {
        qCDebug(logging::platform) << "bookmarks: not a bookmark file, ignored:" << m_path;
        return {};
    }
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCDebug(logging::platform)
            << "bookmarks: unreadable, ignored:" << m_path << file.errorString();
        return {};
    }
    const QByteArray bytes = file.read(kMaxFileBytes + 1);
    const auto damaged = [&](const char* why) {
        qCDebug(logging::platform)
            << "bookmarks: damaged or foreign file ignored (" << why << "):" << m_path;
        return QList<Entry>();
    };
    if (bytes.size() > kMaxFileBytes)
        return damaged("too large");
    if (!bytes.endsWith('\n'))
        return damaged("cut short");
    QList<QByteArray> lines = bytes.split('\n');
    lines.removeLast(); // after the last line's end
    if (lines.isEmpty() || lines.front() != kHeader)
        return damaged("no header");
    QList<Entry> entries;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> f = lines[i].split(' ');
        if (f.size() != 6)
            return damaged("a line of the wrong shape");
        const QString id = QString::fromLatin1(f[0]);
        const auto mark = parseMark(f);
        if (!validDiscId(id) || !mark)
            return damaged("a value out of range");
        for (const Entry& e : entries) {
            if (e.discId == id)
                return damaged("a disc twice");
        }
        entries.append({id, *mark});
    }
    if (entries.size() > kMaxDiscs)
        return damaged("too many discs");
    return entries;
}

bool BookmarkStore::write(const QList<Entry>& entries) const {
    const QFileInfo info(m_path);
    if (!QDir().mkpath(info.absolutePath())) {
        qCWarning(logging::platform) << "bookmarks: cannot make the folder" << info.absolutePath();
        return false;
    }
    QByteArray bytes = QByteArray(kHeader) + '\n';
    for (const Entry& e : entries) {
        const DiscBookmark& m = e.mark;
        bytes += e.discId.toLatin1() + ' ' + QByteArray::number(m.title) + ' ' +
                 QByteArray::number(std::llround(m.seconds * 1000)) + ' ' +
                 QByteArray::number(m.angle) + ' ' + QByteArray::number(m.audio) + ' ' +
                 QByteArray::number(m.subpicture) + '\n';
    }
    QSaveFile out(m_path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        qCWarning(logging::platform) << "bookmarks: cannot write" << m_path << out.errorString();
        return false;
    }
    return true;
}

std::optional<DiscBookmark> BookmarkStore::find(const QString& discId) const noexcept {
    try {
        for (const Entry& e : read()) {
            if (e.discId == discId)
                return e.mark;
        }
    } catch (...) {
        logging::noteAbsorbed();
    }
    return std::nullopt;
}

bool BookmarkStore::save(const QString& discId, const DiscBookmark& mark) noexcept {
    try {
        DiscBookmark kept = mark;
        kept.seconds = std::isfinite(mark.seconds) ? std::clamp(mark.seconds, 0.0, kMaxSeconds) : 0;
        // Only what reads back: an identity or a value out of range is refused here.
        const QList<QByteArray> fields = {"",
                                          QByteArray::number(kept.title),
                                          QByteArray::number(std::llround(kept.seconds * 1000)),
                                          QByteArray::number(kept.angle),
                                          QByteArray::number(kept.audio),
                                          QByteArray::number(kept.subpicture)};
        if (!validDiscId(discId) || !parseMark(fields)) {
            qCDebug(logging::platform) << "bookmarks: not kept, out of range:" << discId;
            return false;
        }
        QList<Entry> entries = read();
        entries.removeIf([&](const Entry& e) { return e.discId == discId; });
        entries.append({discId, kept});
        // The most recently saved stay.
        while (entries.size() > kMaxDiscs)
            entries.removeFirst();
        return write(entries);
    } catch (...) {
        logging::noteAbsorbed();
        return false;
    }
}

bool BookmarkStore::remove(const QString& discId) noexcept {
    try {
        QList<Entry> entries = read();
        if (entries.removeIf([&](const Entry& e) { return e.discId == discId; }) == 0)
            return true;
        return write(entries);
    } catch (...) {
        logging::noteAbsorbed();
        return false;
    }
}

} // namespace kavelo
