#pragma once

#include <QRect>
#include <QWidget>

#include <optional>

namespace kavelo {

// The rectangle on the screen, in pixels, of the window of ours that has the window id `id`
// (a top-level window with its frame); nullopt when no widget of this program has that id.
std::optional<QRect> getWindowRect(WId id);

} // namespace kavelo
