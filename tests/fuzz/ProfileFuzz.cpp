// The profile functions on any file and any names: a write that fails leaves the file byte for
// byte; one that succeeds changes only its own line (or adds its line, and its section), the
// value reads back, and another key reads as before.
#include "FuzzSupport.h"
#include "Profile.h"

#include <QFile>

#include <cstddef>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>

namespace {

QTemporaryDir* g_dir = nullptr;

QString text(FuzzedDataProvider& in, std::size_t most) {
    const std::string raw = in.ConsumeRandomLengthString(most);
    return QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size()));
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QString unquoted(const QString& value) {
    QByteArray v = value.toUtf8().trimmed();
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    return QString::fromUtf8(v);
}

bool sameName(const QString& a, const QString& b) {
    return a.trimmed().toUtf8().compare(b.trimmed().toUtf8(), Qt::CaseInsensitive) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kavelo;
    FuzzedDataProvider in(data, size);
    const QString section = text(in, 24);
    const QString key = text(in, 24);
    const QString value = text(in, 40);
    const QString otherSection = text(in, 24);
    const QString otherKey = text(in, 24);
    const std::string raw = in.ConsumeRemainingBytesAsString();
    const QByteArray before(raw.data(), static_cast<qsizetype>(raw.size()));

    const QString path = fuzz::scratchFolder(g_dir) + QStringLiteral("/system.ini");
    {
        QFile f(path);
        FUZZ_CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(f.write(before) == before.size());
    }
    const QString none = QStringLiteral("\x01none");
    const QString otherBefore = getPrivateProfileString(otherSection, otherKey, none, path);

    if (!writePrivateProfileString(section, key, value, path)) {
        FUZZ_CHECK(readAll(path) == before);
        return 0;
    }
    const QByteArray after = readAll(path);
    FUZZ_CHECK(getPrivateProfileString(section, key, none, path) == unquoted(value));
    if (!(sameName(section, otherSection) && sameName(key, otherKey)))
        FUZZ_CHECK(getPrivateProfileString(otherSection, otherKey, none, path) == otherBefore);

    // Only one place changed: within one line, or whole lines added there.
    qsizetype head = 0;
    while (head < before.size() && head < after.size() && before[head] == after[head])
        ++head;
    qsizetype tail = 0;
    while (tail < before.size() - head && tail < after.size() - head &&
           before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
        ++tail;
    const QByteArray removed = before.mid(head, before.size() - head - tail);
    const QByteArray added = after.mid(head, after.size() - head - tail);
    FUZZ_CHECK(!removed.contains('\n'));
    FUZZ_CHECK(added.count('\n') <= 3);
    return 0;
}
