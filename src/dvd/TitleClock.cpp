#include "TitleClock.h"

#include <algorithm>
#include <cmath>

namespace kavelo {

namespace {

// libmpv may never show a cell's last picture: the picture before it counts as the end too.
constexpr double kEndPictures = 2.5;

} // namespace

void TitleClock::reset(const DvdTitleInfo& title, double fps) {
    m_cells.clear();
    m_starts.clear();
    double at = 0;
    for (const DvdCell& cell : title.cells) {
        if (cell.angle > 1)
            continue;
        m_cells.push_back(cell);
        m_starts.push_back(at);
        at += cell.length;
    }
    m_chapterStarts = title.chapterStarts;
    if (m_chapterStarts.empty())
        m_chapterStarts.push_back(0);
    m_length = std::max(0.0, title.length);
    m_frame = std::isfinite(fps) && fps >= 10 ? 1.0 / fps : 0.04;
    m_time = 0;
}

void TitleClock::observe(double mpvTime) {
    if (std::isfinite(mpvTime))
        m_time = std::clamp(mpvTime, 0.0, m_length);
}

double TitleClock::time() const {
    return m_time;
}

int TitleClock::chapter() const {
    // Half a frame of tolerance: a seek to a chapter lands on its first picture.
    int chapter = 1;
    for (std::size_t i = 1; i < m_chapterStarts.size(); ++i) {
        if (m_chapterStarts[i] <= m_time + m_frame / 2)
            chapter = static_cast<int>(i) + 1;
    }
    return chapter;
}

std::optional<std::size_t> TitleClock::cell() const {
    if (m_cells.empty())
        return std::nullopt;
    return cellAt(m_time);
}

bool TitleClock::atEnd() const {
    return m_length > 0 && m_time >= m_length - kEndPictures * m_frame;
}

std::optional<TitleClock::Still> TitleClock::nextStill(std::optional<std::size_t> skip) const {
    if (m_cells.empty())
        return std::nullopt;
    for (std::size_t index = cellAt(m_time); index < m_cells.size(); ++index) {
        const DvdCell& cell = m_cells[index];
        if (cell.still <= 0 || index == skip)
            continue;
        const double end = m_starts[index] + cell.length;
        return Still{std::max(m_starts[index], end - kEndPictures * m_frame), cell.still, index};
    }
    return std::nullopt;
}

double TitleClock::cellStart(std::size_t index) const {
    return index < m_starts.size() ? m_starts[index] : m_length;
}

std::size_t TitleClock::cellAt(double seconds) const {
    // The last cell starting at or before `seconds` (half a frame early counts).
    const auto after = std::upper_bound(m_starts.begin(), m_starts.end(), seconds + m_frame / 2);
    return after == m_starts.begin() ? 0 : static_cast<std::size_t>(after - m_starts.begin()) - 1;
}

} // namespace kavelo
