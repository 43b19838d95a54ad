#include "WindowRect.h"

namespace kavelo {

std::optional<QRect> getWindowRect(WId id) {
    if (id == 0)
        return std::nullopt;
    const QWidget* w = QWidget::find(id);
    if (!w)
        return std::nullopt;
    if (w->isWindow())
        return w->frameGeometry();
    return QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
}

} // namespace kavelo
