#pragma once

#include "Controls.h"
#include "DvdEngine.h"
#include "KeyState.h"
#include "MenuInput.h"
#include "PlaybackCommands.h"
#include "PlayerHost.h"
#include "PlayerMenus.h"
#include "Screen.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <array>
#include <functional>
#include <map>
#include <memory>

class QAction;
class QMenu;

namespace kavelo {

class FrameWatch;
class FullScreenGuard;
class IDialogs;
class PositionDisplay;

// What the main window needs from the rest of the program.
struct FrmPlayServices {
    IDialogs* dialogs = nullptr;
    std::function<std::unique_ptr<IDvdEngine>(QWidget* parent)> makeEngine;
    std::function<ScreenMetrics()> screen = primaryScreenMetrics;
    QString programFolder; // the folder that holds the program file
    // Runs when the user closes the window (after the window's own closing steps).
    std::function<void()> onUnload;
};

// The main player window. Its controls carry the names they are known by throughout Kavelo.
class FrmPlay : public QMainWindow, public IPlayerHost {
    Q_OBJECT
public:
    explicit FrmPlay(FrmPlayServices services, QWidget* parent = nullptr);
    ~FrmPlay() override;

    // True when the screen is exactly pixelWidth × pixelHeight pixels at 15 twips a pixel.
    bool CheckRez(std::int32_t pixelWidth, std::int32_t pixelHeight) const;

    bool usesSmallLayout() const { return m_smallLayout; }
    QString logoPath() const { return m_logoPath; }

    // Menu items and menus by their names (mnuPopMuteOn, mnuPopUp...); nullptr when unknown.
    QAction* menuItem(const QString& name) const;
    QMenu* menu(const QString& name) const;

    // Twips to pixels at the screen's twips per pixel.
    int px(int twips) const { return m_screen.toPixels(twips); }
    QRect px(const QRect& twips) const { return m_screen.toPixels(twips); }

    IDvdEngine& engine() override { return *m_engine; }
    PlaybackCommands& commands() { return *m_commands; }
    KeyStateLatch& keys() { return m_keys; }
    PopUpTrigger& popUpTrigger() { return *m_popUp; }

    void dPlay() noexcept override { m_commands->dPlay(); }

    // Controls, in stacking order from the bottom.
    QWidget* dvdMain = nullptr;
    PanelBar* staMain = nullptr;
    SeekSlider* sliMain = nullptr;
    PictureBox* picLogo = nullptr;
    PictureBox* picPlay = nullptr;
    PictureBox* picPause = nullptr;
    PictureBox* picStop = nullptr;
    PictureBox* picPrevious = nullptr;
    PictureBox* picNext = nullptr;
    PictureBox* picRewind = nullptr;
    PictureBox* picFast = nullptr;
    PictureBox* picFullScreen = nullptr;
    QTimer* timTime = nullptr;
    QTimer* timTimeMenu = nullptr;
    QTimer* timMenu = nullptr;

    std::array<PictureBox*, 8> pictureButtons() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    // A disc folder or disc image dropped on the window plays as the directory dialog's Play.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void wireControls();
    void Form_Load();
    void Form_Unload();
    void applySmallLayout();
    // Whether the standard layout's window fits the screen's available area.
    bool standardLayoutFits() const;
    // Moves the window, frame included, into the screen's available area: wholly where it
    // fits, else with its title bar at the area's top.
    void keepReachable();
    // The window's place (and, in the small layout, its outer size) with the frame counted in.
    void placeStandardWindow();
    void placeSmallWindow();
    void windowFramed();
    void setClientSize(QSize pixels);
    void fitSliderToWindow();
    // Outer window size in pixels, frame included.
    QSize outerSize() const;

    FrmPlayServices m_services;
    ScreenMetrics m_screen;
    std::unique_ptr<IDvdEngine> m_engine;
    std::unique_ptr<MenuInput> m_menuInput; // goes before the engine it drives
    KeyStateLatch m_keys;
    std::unique_ptr<PlaybackCommands> m_commands;
    PopUpTrigger* m_popUp = nullptr;
    PositionDisplay* m_position = nullptr;
    QWidget* m_client = nullptr;
    std::map<QString, QAction*> m_actions;
    std::map<QString, QMenu*> m_menus;
    QString m_logoPath;
    bool m_smallLayout = false;
    bool m_keepReachable = false; // the small layout stands in for a standard one that does not fit
    FrameWatch* m_frame = nullptr;
    FullScreenGuard* m_fullScreenGuard = nullptr;
};

} // namespace kavelo
