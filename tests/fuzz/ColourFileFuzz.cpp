// The skin's colour files: any bytes read as a field or as nothing, and a field reads as a
// palette number or as nothing.
#include "FuzzSupport.h"
#include "Skin.h"

#include <QFile>

#include <cstddef>
#include <cstdint>

namespace {
QTemporaryDir* g_dir = nullptr;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kavelo;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString path = fuzz::scratchFolder(g_dir) + QStringLiteral("/color1.txt");
    {
        QFile f(path);
        FUZZ_CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(f.write(bytes) == bytes.size());
    }
    const std::optional<QByteArray> field = readColourField(path);
    if (bytes.isEmpty() || bytes[0] < '0' || bytes[0] > '9') {
        FUZZ_CHECK(!field);
        return 0;
    }
    FUZZ_CHECK(field);
    FUZZ_CHECK(*field == bytes.mid(2, bytes[0] - '0'));
    const std::optional<int> number = colourNumber(*field);
    if (number) {
        FUZZ_CHECK(*number >= 0 && *number <= 15);
        FUZZ_CHECK(field->trimmed().toInt() == *number);
        FUZZ_CHECK(engineColour(paletteColour(*number)) <= 0xffffffu);
    }
    return 0;
}
