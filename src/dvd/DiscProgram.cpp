#include "DiscProgram.h"

#include "DvdEngine.h"
#include "DvdStructure.h"
#include "LoadTracker.h"
#include "MenuGeometry.h"
#include "MenuStreams.h"
#include "MpvDriver.h"
#include "MpvSession.h"
#include "Navigator.h"

#include <QElapsedTimer>

#include <algorithm>

namespace kavelo {

Q_LOGGING_CATEGORY(lcMenus, "kavelo.menus", QtInfoMsg)

namespace {

namespace prop = mpv::name;

// The most the machine may read for Play before the disc counts as one it cannot follow: what
// is left of Play's time goes to loading.
constexpr std::chrono::milliseconds kStartReadBudget{1500};
constexpr qint64 kFirstPictureMs = 1000;
constexpr int kOverlayId = 3;

} // namespace

DiscProgram::DiscProgram(MpvDriver& driver, DiscProgramHost& host)
    : m_driver(driver), m_host(host), m_highlight(driver, kOverlayId) {
    m_stillTimer.setSingleShot(true);
    QObject::connect(&m_stillTimer, &QTimer::timeout, [this] {
        m_pieceGoesOn = true;
        pieceEnded();
    });
}

DiscProgram::~DiscProgram() = default;

bool DiscProgram::start(std::unique_ptr<NavSource> source, qint64 budgetMs) {
    QElapsedTimer clock;
    clock.start();
    drop();
    if (!source) {
        qCWarning(lcMenus) << "the disc plays without its menus: its program cannot be read";
        return false;
    }
    NavLimits limits;
    limits.budget = kStartReadBudget;
    auto nav = std::make_unique<Navigator>(std::move(source), limits);
    const NavDecision first = nav->start();
    if (first.kind != NavDecision::Kind::Menu && first.kind != NavDecision::Kind::Title) {
        qCWarning(lcMenus) << "the disc plays without its menus: its program gives nothing to"
                              " play:"
                           << first.reason.c_str();
        return false;
    }
    m_nav = std::move(nav);
    follow(first, std::max<qint64>(budgetMs - clock.elapsed(), 1000));
    return true;
}

void DiscProgram::drop() {
    leaveMenu();
    m_resumable = false;
    m_nav.reset();
}

void DiscProgram::follow(const NavDecision& decision, qint64 budgetMs) {
    switch (decision.kind) {
    case NavDecision::Kind::Menu:
        showMenu(decision.menu, budgetMs);
        return;
    case NavDecision::Kind::Title:
        leaveMenu();
        m_resumable = false;
        m_host.playProgramTitle(decision.title, budgetMs);
        return;
    case NavDecision::Kind::End:
        leaveMenu();
        m_nav.reset();
        m_host.programEnded();
        return;
    case NavDecision::Kind::Stay:
        return;
    case NavDecision::Kind::Failed:
        qCWarning(lcMenus) << "the disc's program is abandoned:" << decision.reason.c_str();
        drop();
        m_host.programAbandoned(budgetMs);
        return;
    }
}

void DiscProgram::showMenu(const MenuPiece& piece, qint64 budgetMs) {
    mpv::MenuStreams& streams = m_driver.menuStreams();
    m_host.menuLoading();
    leaveMenu();
    const QByteArray url =
        streams.publish(std::make_shared<const std::vector<std::uint8_t>>(piece.data));
    // One picture is shown as long as the piece asks, not a second by default; the disc's own
    // subpicture is drawn as the highlight, not as subtitles.
    QByteArray options = "image-display-duration=0,sid=no,loop-file=";
    options += piece.end == MenuPiece::End::Loop ? "inf" : "no";
    m_driver.setDouble(prop::kSpeed, 1.0);
    m_driver.setFlag(prop::kPause, false);

    QElapsedTimer clock;
    clock.start();
    mpv::LoadTracker& loads = m_driver.loads();
    if (loads.start(url, options) < 0 ||
        loads.waitLoaded(budgetMs) != mpv::LoadTracker::Outcome::Done) {
        m_host.menuShown(false);
        throw EngineError("the menu cannot be shown");
    }
    loads.waitPicture(std::clamp<qint64>(budgetMs - clock.elapsed(), 0, kFirstPictureMs));

    m_inMenu = true;
    m_pieceGoesOn = piece.end == MenuPiece::End::Continue;
    m_moving = piece.end != MenuPiece::End::Still;
    m_stillSeconds = piece.end == MenuPiece::End::Still ? piece.stillSeconds : 0;
    m_host.menuShown(true);
    drawHighlight(false);
}

void DiscProgram::leaveMenu() {
    m_stillTimer.stop();
    removeHighlight();
    m_inMenu = false;
    m_moving = false;
    m_pieceGoesOn = false;
    m_stillSeconds = 0;
}

void DiscProgram::removeHighlight() {
    m_highlight.remove();
}

void DiscProgram::drawHighlight(bool activated) {
    if (!m_nav || !m_inMenu || !m_driver.running())
        return;
    m_activated = activated;
    if (!m_highlight.show(m_nav->highlightPicture(activated)))
        qCWarning(lcMenus) << "the menu's highlight could not be shown";
}

void DiscProgram::step(const char* what, const std::function<NavDecision()>& decide) {
    // One step of the disc's program at a time: events it raises must not start another.
    m_following = true;
    try {
        follow(decide(), kStepBudgetMs);
    } catch (const std::exception& e) {
        qCWarning(lcMenus) << what << "failed:" << e.what();
    }
    m_following = false;
}

void DiscProgram::pieceEnded() {
    if (!m_nav || !m_inMenu || m_following)
        return;
    if (!m_pieceGoesOn) {
        // A still of some seconds holds the piece's last picture, then the program goes on.
        if (m_stillSeconds > 0 && m_stillSeconds < kInfiniteStill && !m_stillTimer.isActive())
            m_stillTimer.start(m_stillSeconds * 1000);
        return;
    }
    step("going on after a menu piece", [&] { return m_nav->continueAfterPiece(); });
}

void DiscProgram::titleEnded() {
    if (!m_nav || m_inMenu || m_following)
        return;
    step("following a title end", [&] { return m_nav->titleEnded(); });
}

void DiscProgram::openMenu(double seconds, bool fromTitle) {
    if (!m_nav || m_following)
        return;
    const bool resumable = m_inMenu ? m_resumable : fromTitle;
    step("opening the disc menu", [&] { return m_nav->openMenu(m_inMenu ? 0 : seconds); });
    m_resumable = m_inMenu && resumable;
}

bool DiscProgram::resume() {
    if (!m_nav || !canResume() || m_following)
        return false;
    const NavDecision back = m_nav->resume();
    if (back.kind == NavDecision::Kind::Stay) {
        qCDebug(lcMenus) << "resume:" << back.reason.c_str();
        m_resumable = false;
        return false;
    }
    step("resuming the title", [&] { return back; });
    return true;
}

std::optional<NavRegisters> DiscProgram::registers() {
    if (!m_nav || m_inMenu || m_following)
        return std::nullopt;
    return m_nav->registers();
}

bool DiscProgram::setRegisters(const NavRegisters& registers) {
    return m_nav && !m_following && m_nav->setRegisters(registers);
}

bool DiscProgram::enterTitle(int title) {
    if (!m_nav || m_following)
        return false;
    const NavDecision there = m_nav->playTitle(title);
    if (there.kind != NavDecision::Kind::Title) {
        qCDebug(lcMenus) << "the disc's program did not go to title" << title << ":"
                         << there.reason.c_str();
        return false;
    }
    leaveMenu();
    m_resumable = false;
    return true;
}

bool DiscProgram::move(NavDirection direction) {
    if (!m_nav || !m_inMenu || m_following || !m_nav->move(direction))
        return false;
    drawHighlight(false);
    return true;
}

void DiscProgram::activate() {
    if (!m_nav || !m_inMenu || m_following)
        return;
    // The highlight shows the button acted on: a jump resets it.
    drawHighlight(true);
    const NavDecision decision = m_nav->activate();
    if (decision.kind != NavDecision::Kind::Stay)
        step("following a button", [&] { return decision; });
}

void DiscProgram::pointer(QPoint at, bool click) {
    if (!m_nav || !m_inMenu || m_following || !m_driver.running())
        return;
    const PicturePlacement where = picturePlacement(m_driver);
    const auto point =
        windowToFrame(at.x(), at.y(), where.picture, where.frameWidth, where.frameHeight);
    if (!point)
        return;
    if (!click) {
        if (m_nav->pointAt(point->x, point->y))
            drawHighlight(false);
        return;
    }
    if (m_nav->pointAt(point->x, point->y) || m_nav->selectedButton() > 0)
        drawHighlight(true);
    const NavDecision decision = m_nav->clickAt(point->x, point->y);
    if (decision.kind != NavDecision::Kind::Stay)
        step("following a button", [&] { return decision; });
}

} // namespace kavelo
