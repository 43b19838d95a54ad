#pragma once

#include "NavSource.h"
#include "VideoOverlay.h"

#include <QPoint>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kavelo {

class MpvDriver;
class Navigator;
class NavSource;
struct NavDecision;
struct NavRegisters;
struct MenuPiece;
struct TitleStart;
enum class NavDirection;

// What the disc's program asks of the engine around it.
class DiscProgramHost {
public:
    virtual ~DiscProgramHost() = default;
    // A menu piece is about to load: what plays stops.
    virtual void menuLoading() = 0;
    // The piece is on screen (or could not be shown: `shown` false).
    virtual void menuShown(bool shown) = 0;
    // Plays the title the program chose, with the registers it set. Throws EngineError.
    virtual void playProgramTitle(const TitleStart& start, qint64 budgetMs) = 0;
    // The program ended: Play starts it again.
    virtual void programEnded() = 0;
    // The program cannot be followed further: the disc plays as if it had none.
    virtual void programAbandoned(qint64 budgetMs) = 0;
};

// The disc's own program while the engine follows it: its first-play program and menus, shown
// as pieces libmpv plays like files, button highlights drawn over them, the buttons worked by
// the pointer and the keys, and the titles the program chooses, which the host plays as it
// plays any title.
class DiscProgram {
public:
    DiscProgram(MpvDriver& driver, DiscProgramHost& host);
    ~DiscProgram();

    DiscProgram(const DiscProgram&) = delete;
    DiscProgram& operator=(const DiscProgram&) = delete;

    // Starts the disc's program on its machine `source` and follows its first step. False when
    // the program cannot be followed (the disc then plays without it).
    bool start(std::unique_ptr<NavSource> source, qint64 budgetMs);
    bool followed() const { return m_nav != nullptr; }
    // The program is no longer followed; its menu leaves the screen.
    void drop();

    bool menuShowing() const { return m_inMenu; }
    // Whether the menu on screen moves (loops or plays on), as opposed to a held picture.
    bool menuMoving() const { return m_inMenu && m_moving; }
    // The menu piece leaves the screen (its highlight and its still time with it).
    void leaveMenu();

    // libmpv reached the end of the menu piece on screen.
    void pieceEnded();
    // The playing title reached its end (the host's clock says so).
    void titleEnded();
    // The viewer asks for the disc's menu: from a title `seconds` into it (`fromTitle`), or
    // again from a menu.
    void openMenu(double seconds, bool fromTitle);
    // Whether the menu on screen was called from a title the disc can go back to.
    bool canResume() const { return m_inMenu && m_resumable; }
    // Back into that title where the menu was called; false when there is none (nothing
    // changes then).
    bool resume();
    // The disc's registers while one of its titles plays; nullopt when they cannot be read.
    std::optional<NavRegisters> registers();
    // Sets them (a bookmark's); false when the machine refused.
    bool setRegisters(const NavRegisters& registers);
    // Before the host plays title `title` on its own (a bookmark): the program goes there too,
    // so that the title's end leads where the disc says. False when it would not.
    bool enterTitle(int title);
    // The most one step of the program may take: reading the disc and loading what it chose.
    static constexpr qint64 kStepBudgetMs = 3000;
    // A step of the program runs: events it raises must not start another.
    bool busy() const { return m_following; }

    // Menu input while a menu shows; true when the highlight moved.
    bool move(NavDirection direction);
    void activate();
    // The pointer at `at` (device pixels of the video window); `click`: the left button.
    void pointer(QPoint at, bool click);
    // The video window changed size: the highlight is placed again.
    void redrawHighlight() { drawHighlight(false); }
    // libmpv holds the piece's last picture now. It pauses only once the sound has played
    // out, and a highlight sent between the piece's end and that pause is never drawn: the
    // highlight on screen is sent again.
    void pictureHeld() { drawHighlight(m_activated); }

private:
    void follow(const NavDecision& decision, qint64 budgetMs);
    void step(const char* what, const std::function<NavDecision()>& decide);
    void showMenu(const MenuPiece& piece, qint64 budgetMs);
    void drawHighlight(bool activated);
    void removeHighlight();

    MpvDriver& m_driver;
    DiscProgramHost& m_host;
    std::unique_ptr<Navigator> m_nav;
    bool m_inMenu = false;
    bool m_moving = false;      // the piece on screen loops or plays on
    bool m_pieceGoesOn = false; // the piece on screen goes on to the program's next step
    bool m_following = false;
    int m_stillSeconds = 0;
    QTimer m_stillTimer;
    VideoOverlay m_highlight;
    bool m_activated = false; // the highlight last drawn shows a button acted on
    bool m_resumable = false; // the menus on screen were called from a title
};

} // namespace kavelo
