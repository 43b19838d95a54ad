#include "Profile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <optional>
#include <vector>

namespace kavelo {

namespace {

// Profile files are tiny; anything larger is not one, and is neither read nor rewritten.
constexpr qint64 kMaxProfileBytes = 16 * 1024 * 1024;

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
    QByteArray data = f.read(kMaxProfileBytes + 1);
    if (data.size() > kMaxProfileBytes || f.error() != QFileDevice::NoError)
        return std::nullopt;
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

    const QFileInfo info(file);
    if (!QDir().mkpath(info.absolutePath()))
        return false;
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
