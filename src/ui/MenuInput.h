#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace kavelo {

class IDvdMenus;

// The keys and the pointer that work a disc's menus: Ctrl+M calls the disc's menu from anywhere
// in the player's window; while a menu shows, the arrow keys move the highlight and Enter
// activates it, and over the video the pointer lights buttons and a left click activates them.
// Other keys, and the right button (the pop-up menu), go on as usual.
class MenuInput final : public QObject {
public:
    // Watches the application's events for `video`'s window; `menus` outlives this.
    MenuInput(QWidget* video, IDvdMenus& menus, QObject* parent = nullptr);
    ~MenuInput() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool key(QObject* watched, QEvent* event);

    QPointer<QWidget> m_video;
    IDvdMenus& m_menus;
};

} // namespace kavelo
