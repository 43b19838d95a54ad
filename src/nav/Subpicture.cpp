#include "Subpicture.h"

#include <algorithm>
#include <cmath>

namespace kavelo {

namespace {

constexpr int kMaxWidth = 720;
constexpr int kMaxHeight = 576;
constexpr int kMaxSequences = 64; // display control sequences followed in one unit

int be16(std::span<const std::uint8_t> d, std::size_t at) {
    return (d[at] << 8) | d[at + 1];
}

// Reads the run-length pixel data of one field, a nibble at a time, never past `end`.
class NibbleReader {
public:
    NibbleReader(std::span<const std::uint8_t> data, std::size_t start, std::size_t end)
        : m_data(data), m_pos(start * 2), m_end(std::min(end, data.size()) * 2) {}

    bool atEnd() const { return m_pos >= m_end; }
    int next() {
        if (atEnd())
            return -1;
        const std::uint8_t byte = m_data[m_pos / 2];
        const int nibble = (m_pos % 2 == 0) ? (byte >> 4) : (byte & 0x0f);
        ++m_pos;
        return nibble;
    }
    void alignToByte() { m_pos = (m_pos + 1) & ~std::size_t(1); }

private:
    std::span<const std::uint8_t> m_data;
    std::size_t m_pos;
    std::size_t m_end;
};

// Decodes the rows y0, y0 + 2, ... of `image` from `reader`.
void decodeField(NibbleReader& reader, SubpictureImage& image, int firstRow) {
    for (int y = firstRow; y < image.height; y += 2) {
        int x = 0;
        std::uint8_t* row = image.pixels.data() + static_cast<std::size_t>(y) * image.width;
        while (x < image.width) {
            // A code is 4, 8, 12 or 16 bits: two bits of colour under a run length whose
            // leading zero nibbles say how long the code is.
            int code = 0;
            for (int limit = 1; code < limit && limit <= 0x40; limit <<= 2) {
                const int nibble = reader.next();
                if (nibble < 0)
                    return; // the data ran out: the rest stays transparent
                code = (code << 4) | nibble;
            }
            const int index = code & 3;
            int run = code >> 2;
            if (run == 0) // fills the rest of the row
                run = image.width - x;
            run = std::min(run, image.width - x);
            std::fill_n(row + x, run, static_cast<std::uint8_t>(index));
            x += run;
        }
        reader.alignToByte();
    }
}

std::uint8_t clampByte(double v) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

// 0x00YYCrCb (studio range) to B, G, R.
std::array<std::uint8_t, 3> toBgr(std::uint32_t ycrcb) {
    const double y = 1.164 * (static_cast<int>((ycrcb >> 16) & 0xff) - 16);
    const double cr = static_cast<int>((ycrcb >> 8) & 0xff) - 128;
    const double cb = static_cast<int>(ycrcb & 0xff) - 128;
    return {clampByte(y + 2.018 * cb), clampByte(y - 0.813 * cr - 0.391 * cb),
            clampByte(y + 1.596 * cr)};
}

} // namespace

std::optional<SubpictureImage> decodeSubpicture(std::span<const std::uint8_t> unit) {
    if (unit.size() < 4)
        return std::nullopt;
    const std::size_t size = std::min<std::size_t>(be16(unit, 0), unit.size());
    const std::size_t control = be16(unit, 2);
    if (size < 4 || control + 4 > size)
        return std::nullopt;

    SubpictureImage image;
    int x1 = -1, x2 = -1, y1 = -1, y2 = -1;
    std::size_t topOffset = 0, bottomOffset = 0;
    bool haveOffsets = false;

    // A sequence's date counts units of 1024 ticks of 90 kHz after the presentation time.
    bool started = false;
    std::size_t sequence = control;
    for (int n = 0; n < kMaxSequences; ++n) {
        const std::int64_t date = std::int64_t{be16(unit, sequence)} * 1024;
        const std::size_t nextSequence = be16(unit, sequence + 2);
        std::size_t pos = sequence + 4;
        bool end = false;
        while (!end && pos < size) {
            const std::uint8_t command = unit[pos++];
            auto need = [&](std::size_t bytes) { return pos + bytes <= size; };
            switch (command) {
            case 0x00: // forced display
            case 0x01: // start display
                if (!started)
                    image.start = date;
                started = true;
                image.forced = image.forced || command == 0x00;
                break;
            case 0x02: // stop display
                if (image.stop < 0 && date >= image.start)
                    image.stop = date;
                break;
            case 0x03: // colours of indices 3, 2, 1, 0
                if (!need(2))
                    return std::nullopt;
                image.colour = {static_cast<std::uint8_t>(unit[pos + 1] & 0x0f),
                                static_cast<std::uint8_t>(unit[pos + 1] >> 4),
                                static_cast<std::uint8_t>(unit[pos] & 0x0f),
                                static_cast<std::uint8_t>(unit[pos] >> 4)};
                pos += 2;
                break;
            case 0x04: // contrasts of indices 3, 2, 1, 0
                if (!need(2))
                    return std::nullopt;
                image.contrast = {static_cast<std::uint8_t>(unit[pos + 1] & 0x0f),
                                  static_cast<std::uint8_t>(unit[pos + 1] >> 4),
                                  static_cast<std::uint8_t>(unit[pos] & 0x0f),
                                  static_cast<std::uint8_t>(unit[pos] >> 4)};
                pos += 2;
                break;
            case 0x05: // display area
                if (!need(6))
                    return std::nullopt;
                x1 = (unit[pos] << 4) | (unit[pos + 1] >> 4);
                x2 = ((unit[pos + 1] & 0x0f) << 8) | unit[pos + 2];
                y1 = (unit[pos + 3] << 4) | (unit[pos + 4] >> 4);
                y2 = ((unit[pos + 4] & 0x0f) << 8) | unit[pos + 5];
                pos += 6;
                break;
            case 0x06: // where the two fields' pixel data start
                if (!need(4))
                    return std::nullopt;
                topOffset = static_cast<std::size_t>(be16(unit, pos));
                bottomOffset = static_cast<std::size_t>(be16(unit, pos + 2));
                haveOffsets = true;
                pos += 4;
                break;
            case 0x07: { // colour and contrast changes within the area: skipped whole
                if (!need(2))
                    return std::nullopt;
                const std::size_t length = static_cast<std::size_t>(be16(unit, pos));
                if (length < 2)
                    return std::nullopt;
                pos += length;
                break;
            }
            case 0xff:
            default: // an unknown command ends the sequence; its length is unknown
                end = true;
                break;
            }
        }
        if (nextSequence <= sequence || nextSequence + 4 > size)
            break;
        sequence = nextSequence;
    }

    if (!haveOffsets || x1 < 0 || x2 < x1 || y2 < y1 || x2 >= kMaxWidth || y2 >= kMaxHeight)
        return std::nullopt;
    if (topOffset < 4 || bottomOffset < 4 || topOffset >= control || bottomOffset >= control)
        return std::nullopt;
    image.x = x1;
    image.y = y1;
    image.width = x2 - x1 + 1;
    image.height = y2 - y1 + 1;
    image.pixels.assign(static_cast<std::size_t>(image.width) * image.height, 0);

    // The two fields interleave; each field's data ends where the other or the control starts.
    const std::size_t topEnd = bottomOffset > topOffset ? bottomOffset : control;
    const std::size_t bottomEnd = topOffset > bottomOffset ? topOffset : control;
    NibbleReader top(unit, topOffset, topEnd);
    decodeField(top, image, 0);
    NibbleReader bottom(unit, bottomOffset, bottomEnd);
    decodeField(bottom, image, 1);
    return image;
}

OverlayPicture renderSubpicture(const SubpictureImage& image,
                                const std::array<std::uint32_t, 16>& clut,
                                const std::optional<ButtonHighlight>& highlight) {
    OverlayPicture out;
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != static_cast<std::size_t>(image.width) * image.height)
        return out;

    std::array<std::array<std::uint8_t, 4>, 4> normal{}, lit{};
    auto premultiplied = [&](int colour, int contrast) {
        const auto bgr = toBgr(clut[static_cast<std::size_t>(colour & 0x0f)]);
        const int alpha = (contrast & 0x0f) * 17;
        return std::array<std::uint8_t, 4>{static_cast<std::uint8_t>(bgr[0] * alpha / 255),
                                           static_cast<std::uint8_t>(bgr[1] * alpha / 255),
                                           static_cast<std::uint8_t>(bgr[2] * alpha / 255),
                                           static_cast<std::uint8_t>(alpha)};
    };
    for (std::size_t i = 0; i < 4; ++i) {
        normal[i] = premultiplied(image.colour[i], image.contrast[i]);
        if (highlight) {
            const std::uint32_t c = highlight->colours;
            lit[i] = premultiplied(static_cast<int>((c >> (16 + 4 * i)) & 0x0f),
                                   static_cast<int>((c >> (4 * i)) & 0x0f));
        }
    }

    auto colourAt = [&](int col, int row) -> const std::array<std::uint8_t, 4>& {
        const std::uint8_t index =
            image.pixels[static_cast<std::size_t>(row) * image.width + col] & 3;
        const int fx = image.x + col, fy = image.y + row;
        if (highlight && fx >= highlight->sx && fx <= highlight->ex && fy >= highlight->sy &&
            fy <= highlight->ey)
            return lit[index];
        return normal[index];
    };

    // Crop to what can be seen.
    int minX = image.width, minY = image.height, maxX = -1, maxY = -1;
    for (int row = 0; row < image.height; ++row) {
        for (int col = 0; col < image.width; ++col) {
            if (colourAt(col, row)[3] == 0)
                continue;
            minX = std::min(minX, col);
            maxX = std::max(maxX, col);
            minY = std::min(minY, row);
            maxY = std::max(maxY, row);
        }
    }
    if (maxX < 0)
        return out;

    out.x = image.x + minX;
    out.y = image.y + minY;
    out.width = maxX - minX + 1;
    out.height = maxY - minY + 1;
    out.bgra.resize(static_cast<std::size_t>(out.width) * out.height * 4);
    std::uint8_t* dst = out.bgra.data();
    for (int row = minY; row <= maxY; ++row) {
        for (int col = minX; col <= maxX; ++col) {
            const auto& px = colourAt(col, row);
            dst = std::copy(px.begin(), px.end(), dst);
        }
    }
    return out;
}

void forEachSubpicturePacket(
    std::span<const std::uint8_t> pack,
    const std::function<void(int, std::span<const std::uint8_t>, std::int64_t)>& packet) {
    // MPEG-2 pack header: start code, 10 bytes of clock and rate, stuffing.
    if (pack.size() < 14 || pack[0] != 0 || pack[1] != 0 || pack[2] != 1 || pack[3] != 0xba)
        return;
    if ((pack[4] & 0xc0) != 0x40)
        return; // not MPEG-2
    std::size_t pos = 14 + (pack[13] & 0x07);
    while (pos + 6 <= pack.size()) {
        if (pack[pos] != 0 || pack[pos + 1] != 0 || pack[pos + 2] != 1)
            return;
        const std::uint8_t id = pack[pos + 3];
        const std::size_t length = static_cast<std::size_t>(be16(pack, pos + 4));
        const std::size_t end = pos + 6 + length;
        if (end > pack.size())
            return;
        if (id == 0xbd && length >= 4) {
            const std::uint8_t flags = pack[pos + 7];
            const std::size_t headerEnd = pos + 9 + pack[pos + 8];
            std::int64_t pts = -1;
            if ((flags & 0x80) && pos + 14 <= end) {
                const auto* p = &pack[pos + 9];
                pts = (static_cast<std::int64_t>(p[0] & 0x0e) << 29) | (p[1] << 22) |
                      ((p[2] & 0xfe) << 14) | (p[3] << 7) | (p[4] >> 1);
            }
            if (headerEnd < end && (pack[headerEnd] & 0xe0) == 0x20)
                packet(pack[headerEnd] & 0x1f, pack.subspan(headerEnd + 1, end - headerEnd - 1),
                       pts);
        }
        pos = end;
    }
}

std::optional<SubpictureUnit> SubpictureAssembler::add(std::span<const std::uint8_t> payload,
                                                       std::int64_t pts) {
    if (payload.empty())
        return std::nullopt;
    if (pts >= 0 || !m_partial) {
        // A packet with a time starts a unit; a unit left incomplete before it is dropped.
        m_partial.reset();
        if (payload.size() < 2)
            return std::nullopt;
        m_partialSize = static_cast<std::size_t>((payload[0] << 8) | payload[1]);
        if (m_partialSize < 4)
            return std::nullopt;
        m_partial = SubpictureUnit{pts, {}};
    }
    const std::size_t take = std::min(payload.size(), m_partialSize - m_partial->data.size());
    m_partial->data.insert(m_partial->data.end(), payload.begin(), payload.begin() + take);
    if (m_partial->data.size() < m_partialSize)
        return std::nullopt;
    std::optional<SubpictureUnit> whole = std::move(m_partial);
    m_partial.reset();
    return whole;
}

void SubpictureCollector::addPack(std::span<const std::uint8_t> pack) {
    forEachSubpicturePacket(
        pack, [this](int stream, std::span<const std::uint8_t> payload, std::int64_t pts) {
            if (stream != m_stream || m_units.size() >= m_maxUnits)
                return;
            if (std::optional<SubpictureUnit> unit = m_assembler.add(payload, pts))
                m_units.push_back(std::move(*unit));
        });
}

} // namespace kavelo
