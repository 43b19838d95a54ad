#pragma once

// Subpicture units and program-stream packs written the way authoring tools write them.

#include <cstdint>
#include <span>
#include <vector>

namespace kavelo::test {

// Writes subpicture units the way an authoring tool does, for the decoder to read back.
class NibbleWriter {
public:
    void put(int nibble) {
        if (m_half)
            bytes.back() |= static_cast<std::uint8_t>(nibble & 0x0f);
        else
            bytes.push_back(static_cast<std::uint8_t>((nibble & 0x0f) << 4));
        m_half = !m_half;
    }
    void code(int value, int nibbles) {
        for (int i = nibbles - 1; i >= 0; --i)
            put(value >> (4 * i));
    }
    void align() { m_half = false; }
    std::vector<std::uint8_t> bytes;

private:
    bool m_half = false;
};

inline void encodeRow(NibbleWriter& w, const std::uint8_t* row, int width, bool fillLast) {
    int x = 0;
    while (x < width) {
        int run = 1;
        while (x + run < width && row[x + run] == row[x] && run < 255)
            ++run;
        const int colour = row[x] & 3;
        if (fillLast && x + run == width && run > 3) {
            w.code(colour, 4); // run to the end of the row
        } else {
            const int value = (run << 2) | colour;
            w.code(value, run < 4 ? 1 : run < 16 ? 2 : run < 64 ? 3 : 4);
        }
        x += run;
    }
    w.align();
}

struct Area {
    int x, y, width, height;
};

inline std::vector<std::uint8_t> encodeUnit(const std::vector<std::uint8_t>& pixels, Area a,
                                            std::uint16_t colours = 0x3210,
                                            std::uint16_t contrasts = 0xff00, bool fillLast = true,
                                            int stopDate = -1, bool forced = false) {
    NibbleWriter top, bottom;
    for (int y = 0; y < a.height; ++y)
        encodeRow(y % 2 == 0 ? top : bottom, pixels.data() + static_cast<std::size_t>(y) * a.width,
                  a.width, fillLast);
    std::vector<std::uint8_t> unit(4);
    const std::size_t topOffset = unit.size();
    unit.insert(unit.end(), top.bytes.begin(), top.bytes.end());
    const std::size_t bottomOffset = unit.size();
    unit.insert(unit.end(), bottom.bytes.begin(), bottom.bytes.end());
    const std::size_t control = unit.size();
    const int x2 = a.x + a.width - 1, y2 = a.y + a.height - 1;
    // The first control sequence starts the display; with `stopDate`, a second one stops it
    // that many 1024-tick units later.
    const std::size_t last = stopDate >= 0 ? control + 24 : control;
    const std::vector<std::uint8_t> seq = {
        0,
        0,
        static_cast<std::uint8_t>(last >> 8),
        static_cast<std::uint8_t>(last), // the next sequence, or itself
        static_cast<std::uint8_t>(forced ? 0x00 : 0x01),
        0x03,
        static_cast<std::uint8_t>(colours >> 8),
        static_cast<std::uint8_t>(colours),
        0x04,
        static_cast<std::uint8_t>(contrasts >> 8),
        static_cast<std::uint8_t>(contrasts),
        0x05,
        static_cast<std::uint8_t>(a.x >> 4),
        static_cast<std::uint8_t>(((a.x & 0x0f) << 4) | (x2 >> 8)),
        static_cast<std::uint8_t>(x2),
        static_cast<std::uint8_t>(a.y >> 4),
        static_cast<std::uint8_t>(((a.y & 0x0f) << 4) | (y2 >> 8)),
        static_cast<std::uint8_t>(y2),
        0x06,
        static_cast<std::uint8_t>(topOffset >> 8),
        static_cast<std::uint8_t>(topOffset),
        static_cast<std::uint8_t>(bottomOffset >> 8),
        static_cast<std::uint8_t>(bottomOffset),
        0xff};
    unit.insert(unit.end(), seq.begin(), seq.end());
    if (stopDate >= 0) {
        const std::vector<std::uint8_t> stop = {static_cast<std::uint8_t>(stopDate >> 8),
                                                static_cast<std::uint8_t>(stopDate),
                                                static_cast<std::uint8_t>(last >> 8),
                                                static_cast<std::uint8_t>(last),
                                                0x02,
                                                0xff};
        unit.insert(unit.end(), stop.begin(), stop.end());
    }
    unit[0] = static_cast<std::uint8_t>(unit.size() >> 8);
    unit[1] = static_cast<std::uint8_t>(unit.size());
    unit[2] = static_cast<std::uint8_t>(control >> 8);
    unit[3] = static_cast<std::uint8_t>(control);
    return unit;
}

// A picture with runs of every code length: 1-3, 4-15, 16-63, 64-255 and fill-to-end.
inline std::vector<std::uint8_t> testPicture(int width, int height) {
    std::vector<std::uint8_t> px(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        int x = 0, n = 0;
        const int runs[] = {1, 3, 5, 14, 17, 60, 70, 200};
        while (x < width) {
            const int run = runs[(n + y) % 8];
            for (int i = 0; i < run && x < width; ++i, ++x)
                px[static_cast<std::size_t>(y) * width + x] =
                    static_cast<std::uint8_t>((n + y) % 4);
            ++n;
        }
    }
    return px;
}

// Wraps `payload` into 2048-byte MPEG-2 packs as private-stream-1 packets of stream `stream`.
inline std::vector<std::uint8_t> spuPack(std::span<const std::uint8_t> payload, int stream,
                                         std::int64_t pts) {
    std::vector<std::uint8_t> pack = {0, 0, 1, 0xba, 0x44, 0, 4, 0, 4, 1, 0x01, 0x89, 0xc3, 0xf8};
    const std::size_t header = pts >= 0 ? 5 : 0;
    const std::size_t length = 3 + header + 1 + payload.size();
    const std::vector<std::uint8_t> pes = {0,
                                           0,
                                           1,
                                           0xbd,
                                           static_cast<std::uint8_t>(length >> 8),
                                           static_cast<std::uint8_t>(length),
                                           0x81,
                                           static_cast<std::uint8_t>(pts >= 0 ? 0x80 : 0),
                                           static_cast<std::uint8_t>(header)};
    pack.insert(pack.end(), pes.begin(), pes.end());
    if (pts >= 0) {
        pack.push_back(static_cast<std::uint8_t>(0x21 | ((pts >> 29) & 0x0e)));
        pack.push_back(static_cast<std::uint8_t>(pts >> 22));
        pack.push_back(static_cast<std::uint8_t>(((pts >> 14) & 0xfe) | 1));
        pack.push_back(static_cast<std::uint8_t>(pts >> 7));
        pack.push_back(static_cast<std::uint8_t>(((pts << 1) & 0xfe) | 1));
    }
    pack.push_back(static_cast<std::uint8_t>(0x20 + stream));
    pack.insert(pack.end(), payload.begin(), payload.end());
    // Padding stream to the pack's full size.
    const std::size_t rest = 2048 - pack.size();
    const std::vector<std::uint8_t> pad = {0,
                                           0,
                                           1,
                                           0xbe,
                                           static_cast<std::uint8_t>((rest - 6) >> 8),
                                           static_cast<std::uint8_t>(rest - 6)};
    pack.insert(pack.end(), pad.begin(), pad.end());
    pack.resize(2048, 0xff);
    return pack;
}

} // namespace kavelo::test
