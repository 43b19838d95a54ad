#include "Profile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSaveFile>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <optional>
#include <unistd.h>
#include <vector>

namespace kavelo {

Q_LOGGING_CATEGORY(lcProfile, "kavelo.profile", QtInfoMsg)

namespace {

// Profile files are tiny; anything larger is not one, and is neither read nor rewritten.
constexpr qint64 kMaxProfileBytes = 16 * 1024 * 1024;

// How long a write waits for another writer (this process or another) to finish.
constexpr std::chrono::milliseconds kLockWait{2000};

// An exclusive lock on the lock file beside a profile, held for one read-modify-replace.
// Byte 0 of the lock file is the lock itself; byte 1 is a gate a waiter holds while it waits,
// so a writer that has just let go cannot take the lock straight back and starve the others.
// Both are open-file-description locks: they conflict between threads and processes alike,
// and the kernel drops them when their holder dies, so a killed writer never blocks the next.
class WriterLock {
public:
    explicit WriterLock(const QString& path) {
        const QByteArray name = QFile::encodeName(path);
        m_fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (m_fd < 0) {
            qCDebug(lcProfile) << "cannot open the lock file" << path << errno;
            return;
        }
        const auto deadline = std::chrono::steady_clock::now() + kLockWait;
        if (!take(kGate, deadline, path))
            return;
        m_held = take(kLock, deadline, path);
        release(kGate);
    }
    ~WriterLock() {
        if (m_fd >= 0)
            ::close(m_fd); // closing releases the lock
    }
    WriterLock(const WriterLock&) = delete;
    WriterLock& operator=(const WriterLock&) = delete;

    bool held() const { return m_held; }

private:
    static constexpr off_t kLock = 0;
    static constexpr off_t kGate = 1;

    bool setLock(off_t byte, short type) const {
        struct flock range = {};
        range.l_type = type;
        range.l_whence = SEEK_SET;
        range.l_start = byte;
        range.l_len = 1;
        return ::fcntl(m_fd, F_OFD_SETLK, &range) == 0;
    }
    void release(off_t byte) const { setLock(byte, F_UNLCK); }

    bool take(off_t byte, std::chrono::steady_clock::time_point deadline,
              const QString& path) const {
        auto pause = std::chrono::microseconds(100);
        for (;;) {
            if (setLock(byte, F_WRLCK))
                return true;
            if (errno != EAGAIN && errno != EACCES && errno != EINTR) {
                qCDebug(lcProfile) << "cannot lock" << path << errno;
                return false;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                qCDebug(lcProfile)
                    << "another writer held" << path << "for" << kLockWait.count() << "ms";
                return false;
            }
            QThread::usleep(static_cast<unsigned long>(pause.count()));
            pause = std::min(pause * 2, std::chrono::microseconds(1000));
        }
    }

    int m_fd = -1;
    bool m_held = false;
};

// Removes the temporary files ("system.ini.XXXXXX") a writer killed between writing and
// replacing left beside `file`. Only called with the writer lock held, when no other writer
// can own one.
void removeStaleTemporaries(const QFileInfo& file) {
    const QDir dir = file.absoluteDir();
    const QRegularExpression ours(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(file.fileName()) + QStringLiteral("\\.[A-Za-z0-9]{6}")));
    const QStringList names =
        dir.entryList({file.fileName() + QStringLiteral(".??????")}, QDir::Files | QDir::Hidden);
    for (const QString& name : names) {
        if (!ours.match(name).hasMatch())
            continue;
        if (!QFile::remove(dir.filePath(name)))
            qCDebug(lcProfile) << "cannot remove the stale temporary file" << name;
    }
}

struct Line {
    qsizetype begin = 0; // first byte of the line
    qsizetype end = 0;   // first byte of its terminator (or of the next line when it has none)
    qsizetype next = 0;  // first byte of the next line
};

enum class Kind { Other, Section, Key };

struct Parsed {
    Kind kind = Kind::Other;
    QByteArray name;  // section or key name, trimmed
    QByteArray value; // key value, trimmed and unquoted
};

std::vector<Line> splitLines(const QByteArray& data) {
    std::vector<Line> lines;
    qsizetype pos = 0;
    while (pos < data.size()) {
        const qsizetype nl = data.indexOf('\n', pos);
        Line l;
        l.begin = pos;
        if (nl < 0) {
            l.end = l.next = data.size();
        } else {
            l.end = (nl > pos && data[nl - 1] == '\r') ? nl - 1 : nl;
            l.next = nl + 1;
        }
        lines.push_back(l);
        pos = l.next;
    }
    return lines;
}

QByteArray unquote(const QByteArray& v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.mid(1, v.size() - 2);
    return v;
}

Parsed parseLine(const QByteArray& data, const Line& l) {
    const QByteArray text = data.mid(l.begin, l.end - l.begin).trimmed();
    Parsed p;
    if (text.isEmpty() || text.front() == ';' || text.front() == '#')
        return p;
    if (text.front() == '[') {
        const qsizetype close = text.indexOf(']');
        p.kind = Kind::Section;
        p.name = (close < 0 ? text.mid(1) : text.mid(1, close - 1)).trimmed();
        return p;
    }
    const qsizetype eq = text.indexOf('=');
    if (eq <= 0)
        return p;
    p.kind = Kind::Key;
    p.name = text.left(eq).trimmed();
    p.value = unquote(text.mid(eq + 1).trimmed());
    return p;
}

bool sameName(const QByteArray& a, const QByteArray& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The whole file, an empty array for a missing file, nullopt when it cannot be read.
std::optional<QByteArray> readWhole(const QString& path) {
    QFileInfo info(path);
    if (!info.exists())
        return QByteArray();
    if (!info.isFile() || info.size() > kMaxProfileBytes)
        return std::nullopt;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    // Read what the file holds (it may change size meanwhile), never more than the limit.
    QByteArray data;
    data.reserve(info.size());
    char chunk[16384];
    for (;;) {
        const qint64 n = f.read(chunk, sizeof chunk);
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        if (data.size() + n > kMaxProfileBytes)
            return std::nullopt;
        data.append(chunk, n);
    }
    return data;
}

struct SectionRange {
    std::size_t header = 0; // index of the header line
    std::size_t end = 0;    // index of the next header, or the number of lines
};

std::optional<SectionRange> findSection(const QByteArray& data, const std::vector<Line>& lines,
                                        const QByteArray& section) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Parsed p = parseLine(data, lines[i]);
        if (p.kind != Kind::Section || !sameName(p.name, section))
            continue;
        std::size_t j = i + 1;
        while (j < lines.size() && parseLine(data, lines[j]).kind != Kind::Section)
            ++j;
        return SectionRange{i, j};
    }
    return std::nullopt;
}

bool storable(const QByteArray& text) {
    return !text.contains('\n') && !text.contains('\r') && !text.contains('\0');
}

} // namespace

QString profileDirectory() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/kavelo");
}

QString systemProfilePath() {
    return profileDirectory() + QStringLiteral("/system.ini");
}

QString getPrivateProfileString(const QString& section, const QString& key,
                                const QString& defaultValue, const QString& file) {
    const std::optional<QByteArray> data = readWhole(file);
    if (!data || data->isEmpty())
        return defaultValue;
    const std::vector<Line> lines = splitLines(*data);
    const QByteArray sectionName = section.trimmed().toUtf8();
    const QByteArray keyName = key.trimmed().toUtf8();
    const std::optional<SectionRange> range = findSection(*data, lines, sectionName);
    if (!range)
        return defaultValue;
    for (std::size_t i = range->header + 1; i < range->end; ++i) {
        const Parsed p = parseLine(*data, lines[i]);
        if (p.kind == Kind::Key && sameName(p.name, keyName))
            return QString::fromUtf8(p.value);
    }
    return defaultValue;
}

bool writePrivateProfileString(const QString& section, const QString& key, const QString& value,
                               const QString& file) {
    const QByteArray sectionName = section.trimmed().toUtf8();
    const QByteArray keyName = key.trimmed().toUtf8();
    const QByteArray valueText = value.toUtf8();
    if (sectionName.isEmpty() || keyName.isEmpty() || !storable(sectionName) ||
        !storable(keyName) || !storable(valueText) || sectionName.contains(']') ||
        keyName.contains('=') || keyName.front() == '[' || keyName.front() == ';' ||
        keyName.front() == '#')
        return false;

    // Writers in this and other processes take turns on the lock file beside the profile, so
    // no write is lost between another's read and replace.
    const QFileInfo info(file);
    if (!QDir().mkpath(info.absolutePath()))
        return false;
    const WriterLock lock(file + QStringLiteral(".lock"));
    if (!lock.held())
        return false;
    removeStaleTemporaries(info);

    const std::optional<QByteArray> old = readWhole(file);
    if (!old)
        return false;
    QByteArray data = *old;
    const std::vector<Line> lines = splitLines(data);

    // New lines end the way the file's first line does.
    QByteArray eol = "\n";
    if (!lines.empty() && lines.front().end + 2 == lines.front().next)
        eol = "\r\n";

    const std::optional<SectionRange> range = findSection(data, lines, sectionName);
    bool done = false;
    if (range) {
        std::optional<std::size_t> lastContent;
        for (std::size_t i = range->header + 1; i < range->end && !done; ++i) {
            const Parsed p = parseLine(data, lines[i]);
            if (p.kind == Kind::Key && sameName(p.name, keyName)) {
                // Keep the key as the file spells it; replace the rest of the line.
                const QByteArray text = data.mid(lines[i].begin, lines[i].end - lines[i].begin);
                const QByteArray fileKey = text.left(text.indexOf('=')).trimmed();
                data.replace(lines[i].begin, lines[i].end - lines[i].begin,
                             fileKey + '=' + valueText);
                done = true;
            } else if (!data.mid(lines[i].begin, lines[i].end - lines[i].begin)
                            .trimmed()
                            .isEmpty()) {
                lastContent = i;
            }
        }
        if (!done) {
            const Line& after = lines[lastContent.value_or(range->header)];
            QByteArray insert = keyName + '=' + valueText + eol;
            if (after.end == after.next) // the last line of the file, without a terminator
                insert.prepend(eol);
            data.insert(after.next, insert);
            done = true;
        }
    }
    if (!done) {
        if (!data.isEmpty() && !data.endsWith('\n'))
            data += eol;
        data += '[' + sectionName + ']' + eol + keyName + '=' + valueText + eol;
    }
    if (data == *old && QFileInfo::exists(file))
        return true;

    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    if (out.write(data) != data.size()) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

} // namespace kavelo
