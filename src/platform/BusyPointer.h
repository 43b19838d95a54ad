#pragma once

#include <QObject>

namespace kavelo {

// The busy pointer over the whole program while a step that blocks the window runs long (a
// drive spinning up). show() puts it up; it goes as soon as the event loop runs again, that is
// once the step is over, or when this object goes.
class BusyPointer {
public:
    BusyPointer() = default;
    ~BusyPointer();
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;

    void show();
    bool shown() const { return m_shown; }

private:
    void hide();

    bool m_shown = false;
    QObject m_timers; // what the pending hide belongs to
};

} // namespace kavelo
