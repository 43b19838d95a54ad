#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace kavelo {

// A place on a disc to return to: the title, the time in it, the angle and the streams.
struct DiscBookmark {
    int title = 1;
    double seconds = 0;
    int angle = 1;
    // The stream registers, 0-based as the disc counts them; -1 for none. The subpicture's is
    // the logical stream plus 64 when it is shown.
    int audio = 0;
    int subpicture = -1;
    bool operator==(const DiscBookmark&) const = default;
};

// The bookmarks kept on disk, one per disc, keyed by the disc's identity (the 32 hexadecimal
// digits of its disc ID, the same for a disc and a copy of its files), so that a bookmark
// outlives the program. The file is small text: a header line, then one line per disc, the
// most recently saved last; beyond kMaxDiscs the oldest are dropped. Every change rewrites
// the file atomically. A file that is damaged, foreign, too large or not a regular file is
// ignored whole (a kavelo.platform debug line says why); nothing here throws.
class BookmarkStore {
public:
    static constexpr int kMaxDiscs = 300;
    static constexpr qint64 kMaxFileBytes = 64 * 1024;
    static constexpr const char* kHeader = "kavelo-bookmarks 1";

    // The file in the user's data folder for Kavelo (QStandardPaths::AppDataLocation).
    BookmarkStore();
    explicit BookmarkStore(QString filePath);

    QString filePath() const { return m_path; }

    std::optional<DiscBookmark> find(const QString& discId) const noexcept;
    // Keeps `mark` as the disc's one bookmark; false when the file could not be written.
    bool save(const QString& discId, const DiscBookmark& mark) noexcept;
    // Drops the disc's bookmark; false when the file could not be written.
    bool remove(const QString& discId) noexcept;

    // Whether `discId` is a disc identity as kept here: 32 hexadecimal digits.
    static bool validDiscId(const QString& discId);

private:
    struct Entry {
        QString discId;
        DiscBookmark mark;
    };
    QList<Entry> read() const;
    bool write(const QList<Entry>& entries) const;

    QString m_path;
};

} // namespace kavelo
