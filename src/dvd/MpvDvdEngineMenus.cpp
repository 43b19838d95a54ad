// The disc's own program in the DVD engine: its first-play program and menus, shown as pieces
// libmpv plays like files, button highlights drawn over them, the pointer and keys that work
// the buttons, and the titles the program chooses, played as the engine plays any title.
#include "DvdTime.h"
#include "DvdnavSource.h"
#include "MenuGeometry.h"
#include "MenuStreams.h"
#include "MpvDvdEngine.h"
#include "MpvSession.h"
#include "Navigator.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QMouseEvent>

#include <algorithm>
#include <cmath>

namespace kavelo {

Q_LOGGING_CATEGORY(lcMenus, "kavelo.menus")

namespace {

namespace prop = mpv::name;

constexpr qint64 kStepBudgetMs = 3000; // one step of the program: reading and loading
// The most the machine may read for Play before the disc counts as one it cannot follow: what
// is left of Play's time goes to loading.
constexpr std::chrono::milliseconds kStartReadBudget{1500};
constexpr qint64 kFirstPictureMs = 1000;
constexpr int kOverlayId = 3;
constexpr int kStillForever = 255; // a still that holds until a button is used

// Where libmpv shows the picture inside its window, letterbox bars left out.
PixelRect shownPicture(mpv::Session& session) {
    return pictureRect(static_cast<int>(session.getInt("osd-dimensions/w").value_or(0)),
                       static_cast<int>(session.getInt("osd-dimensions/h").value_or(0)),
                       session.getDouble("osd-dimensions/ml").value_or(0),
                       session.getDouble("osd-dimensions/mt").value_or(0),
                       session.getDouble("osd-dimensions/mr").value_or(0),
                       session.getDouble("osd-dimensions/mb").value_or(0));
}

} // namespace

bool MpvDvdEngine::startDiscProgram(const QString& place, qint64 budgetMs) {
    QElapsedTimer clock;
    clock.start();
    m_nav.reset();
    m_discEnded = false;
    // Only places the disc probe has just read come here. A menu button that sent libdvdnav
    // round for ever there would hang the player here: such a disc plays without its program.
    if (!m_structure.buttonsFollow) {
        qCDebug(lcMenus) << "a button of the disc's menus leads nowhere in time";
        return false;
    }
    auto source = openDvdnavSource(QFile::encodeName(place).toStdString());
    if (!source)
        return false;
    NavLimits limits;
    limits.budget = kStartReadBudget;
    auto nav = std::make_unique<Navigator>(std::move(source), limits);
    const NavDecision first = nav->start();
    if (first.kind != NavDecision::Kind::Menu && first.kind != NavDecision::Kind::Title) {
        qCDebug(lcMenus) << "disc program gives nothing to play:" << first.reason.c_str();
        return false;
    }
    if (!m_menuInputWatched) {
        m_menuInputWatched = true;
        m_stillTimer.setSingleShot(true);
        connect(&m_stillTimer, &QTimer::timeout, this, [this] {
            m_menuEnding = true;
            onPieceEnd();
        });
        if (m_video)
            m_video->setMouseTracking(true);
        qApp->installEventFilter(this);
    }
    m_nav = std::move(nav);
    follow(first, std::max<qint64>(budgetMs - clock.elapsed(), 1000));
    return true;
}

// The menu protocol is registered with libmpv the first time a menu is shown.
void MpvDvdEngine::prepareMenuPlayback() {
    mpv::Session& session = player();
    if (m_menuStreams && m_menuStreamsFor == &session)
        return;
    auto streams = std::make_unique<mpv::MenuStreams>();
    if (!streams->install(session))
        throw EngineError("the menu protocol could not be registered");
    m_menuStreams = std::move(streams);
    m_menuStreamsFor = &session;
    // A still menu ends paused; what follows it must not inherit the pause.
    session.setText("reset-on-next-file", "pause");
}

void MpvDvdEngine::follow(const NavDecision& decision, qint64 budgetMs) {
    switch (decision.kind) {
    case NavDecision::Kind::Menu:
        showMenu(decision.menu, budgetMs);
        return;
    case NavDecision::Kind::Title: {
        leaveMenu();
        const TitleStart& t = decision.title;
        const DvdTitleInfo* info = m_structure.title(t.title);
        const int angle = info && t.streams.angle <= info->angles ? t.streams.angle : 1;
        load(m_loadedPlace, m_structure, t.title, t.start, angle, budgetMs);
        m_mpv->setFlag(prop::kPause, false);
        applyStreams(t.streams.audio, t.streams.subpicture);
        return;
    }
    case NavDecision::Kind::End:
        // The disc's program ended: Play starts it again. A title that ended it keeps its last
        // picture (and its title and time) on screen, as at the end of any title.
        stopScan();
        m_discEnded = true;
        m_nav.reset();
        if (m_loaded && !m_inMenu && m_titleEnded) {
            m_mpv->setFlag(prop::kPause, true);
            return;
        }
        leaveMenu();
        m_mpv->command({"stop"});
        m_loaded = false;
        return;
    case NavDecision::Kind::Stay:
        return;
    case NavDecision::Kind::Failed: {
        // The disc's program cannot be followed further: play as if it had none.
        qCDebug(lcMenus) << "disc program abandoned:" << decision.reason.c_str();
        leaveMenu();
        m_nav.reset();
        const int longest = m_structure.longestTitle();
        if (longest > 0)
            load(m_loadedPlace, m_structure, longest, 0, 1, budgetMs);
        return;
    }
    }
}

void MpvDvdEngine::showMenu(const MenuPiece& piece, qint64 budgetMs) {
    prepareMenuPlayback();
    mpv::Session& session = player();
    stopScan();
    leaveMenu();
    m_loaded = false; // the title commands fail while a menu shows

    const QByteArray url =
        m_menuStreams->publish(std::make_shared<const std::vector<std::uint8_t>>(piece.data));
    // One picture is shown as long as the piece asks, not a second by default; the disc's own
    // subpicture is drawn as the highlight, not as subtitles.
    QByteArray options = "image-display-duration=0,sid=no,loop-file=";
    options += piece.end == MenuPiece::End::Loop ? "inf" : "no";
    session.setDouble(prop::kSpeed, 1.0);
    session.setFlag(prop::kPause, false);

    drainEvents();
    m_entry = -1;
    m_awaitStart = true;
    m_entryLoaded = false;
    m_entryEnded = false;
    std::int64_t entry = -1;
    if (const int rc = session.loadFile(url, options, &entry); rc < 0) {
        m_awaitStart = false;
        throw EngineError("the menu cannot be shown");
    }
    if (entry >= 0) {
        m_entry = entry;
        m_awaitStart = false;
    }
    QElapsedTimer clock;
    clock.start();
    const bool settled =
        session.waitUntil([this] { return m_entryLoaded || m_entryEnded; }, budgetMs);
    if (!settled || m_entryEnded)
        throw EngineError("the menu cannot be shown");
    const int pictures = m_pictureUpdates;
    session.waitUntil([this, pictures] { return m_pictureUpdates != pictures || m_entryEnded; },
                      std::clamp<qint64>(budgetMs - clock.elapsed(), 0, kFirstPictureMs));

    m_inMenu = true;
    m_menuEnding = piece.end == MenuPiece::End::Continue;
    m_stillSeconds = piece.end == MenuPiece::End::Still ? piece.stillSeconds : 0;
    drawHighlight(false);
}

void MpvDvdEngine::leaveMenu() {
    m_stillTimer.stop();
    if (m_overlayShown && m_mpv)
        m_mpv->command({"overlay-remove", QByteArray::number(kOverlayId)});
    m_overlayShown = false;
    m_inMenu = false;
    m_menuEnding = false;
    m_stillSeconds = 0;
}

void MpvDvdEngine::drawHighlight(bool activated) {
    if (!m_nav || !m_inMenu || !m_mpv)
        return;
    mpv::Session& session = *m_mpv;
    const OverlayPicture frame = m_nav->highlightPicture(activated);
    const int frameWidth = static_cast<int>(session.getInt("video-params/w").value_or(720));
    const int frameHeight = static_cast<int>(session.getInt("video-params/h").value_or(576));
    const PixelRect picture = shownPicture(session);
    const OverlayPicture placed = placeOnPicture(frame, picture, frameWidth, frameHeight);
    if (placed.empty()) {
        if (m_overlayShown)
            session.command({"overlay-remove", QByteArray::number(kOverlayId)});
        m_overlayShown = false;
        return;
    }
    // libmpv reads the pixels where they lie; the picture before stays until this one is up.
    m_overlayIndex ^= 1;
    std::vector<std::uint8_t>& pixels = m_overlay[m_overlayIndex];
    pixels = placed.bgra;
    const QByteArray address =
        "&" +
        QByteArray::number(static_cast<qulonglong>(reinterpret_cast<quintptr>(pixels.data())));
    const int rc = session.command(
        {"overlay-add", QByteArray::number(kOverlayId), QByteArray::number(placed.x),
         QByteArray::number(placed.y), address, "0", "bgra", QByteArray::number(placed.width),
         QByteArray::number(placed.height), QByteArray::number(placed.width * 4)});
    m_overlayShown = rc >= 0;
}

void MpvDvdEngine::followStep(const char* what, const std::function<NavDecision()>& decide) {
    // One step of the disc's program at a time: events it raises must not start another.
    m_following = true;
    try {
        follow(decide(), kStepBudgetMs);
    } catch (const std::exception& e) {
        qCDebug(lcMenus) << what << "failed:" << e.what();
    }
    m_following = false;
}

void MpvDvdEngine::onPieceEnd() {
    if (!m_nav || !m_inMenu || m_following)
        return;
    if (!m_menuEnding) {
        // A still of some seconds holds the piece's last picture, then the program goes on.
        if (m_stillSeconds > 0 && m_stillSeconds < kStillForever && !m_stillTimer.isActive())
            m_stillTimer.start(m_stillSeconds * 1000);
        return;
    }
    followStep("going on after a menu piece", [&] { return m_nav->continueAfterPiece(); });
}

// The one way a title's end reaches the disc's program: the title clock saw the title's last
// pictures (reachTitleEnd). A seek or a new title since then leaves nothing to do.
void MpvDvdEngine::onTitleEnd() {
    if (!m_nav || m_inMenu || !m_loaded || !m_titleEnded || m_following ||
        m_scan == Scan::Backwards || !m_mpv)
        return;
    followStep("following a title end", [&] { return m_nav->titleEnded(); });
}

void MpvDvdEngine::openDiscMenu() {
    if (!m_nav || m_following)
        return;
    followStep("opening the disc menu", [&] {
        const double at = m_loaded ? currentPosition() : 0;
        return m_nav->openMenu(at);
    });
}

void MpvDvdEngine::menuActed(const NavDecision& decision) {
    if (decision.kind == NavDecision::Kind::Stay)
        return;
    followStep("following a button", [&] { return decision; });
}

void MpvDvdEngine::applyStreams(int audio, int subpicture) {
    // libmpv counts streams from 1; the disc from 0.
    mpv::Session& session = player();
    if (audio >= 0 && audio < 8)
        session.setText("aid", QByteArray::number(audio + 1));
    session.setText("sid", subpicture >= 0 && subpicture < 32 ? QByteArray::number(subpicture + 1)
                                                              : QByteArray("no"));
}

std::pair<int, int> MpvDvdEngine::playingStreams() {
    const auto number = [this](const char* name) {
        bool ok = false;
        const int n = m_mpv ? m_mpv->getText(name).value_or(QString()).toInt(&ok) : 0;
        return ok && n >= 1 ? n - 1 : -1;
    };
    return {std::max(0, number("aid")), number("sid")};
}

// A bookmark in another title than the one playing (or taken while a menu shows): the disc's
// machine goes to that title too, so that its end leads where the disc says. False when the
// disc's program is not followed or refuses; the caller then plays the title on its own.
bool MpvDvdEngine::restoreWithProgram(const Bookmark& mark) {
    if (!m_nav || m_following || mark.place != m_loadedPlace || m_newPlace)
        return false;
    m_following = true;
    try {
        const NavDecision there = m_nav->playTitle(mark.title);
        if (there.kind != NavDecision::Kind::Title) {
            qCDebug(lcMenus) << "bookmark: the disc's program did not follow:"
                             << there.reason.c_str();
            m_following = false;
            return false;
        }
        leaveMenu();
        load(m_loadedPlace, m_structure, mark.title, mark.time, mark.angle, kStepBudgetMs);
        applyStreams(mark.audio, mark.subpicture);
    } catch (const std::exception& e) {
        // libmpv refused the title: the caller's plain load reports it.
        qCDebug(lcMenus) << "bookmark with the disc's program failed:" << e.what();
        m_following = false;
        return false;
    }
    m_following = false;
    return true;
}

bool MpvDvdEngine::eventFilter(QObject* watched, QEvent* event) {
    if (!m_nav || !m_video || m_following)
        return false;
    try {
        const QEvent::Type type = event->type();
        if (type == QEvent::KeyPress) {
            auto* widget = qobject_cast<QWidget*>(watched);
            if (!widget || widget->window() != m_video->window())
                return false;
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_M && (key->modifiers() & Qt::ControlModifier)) {
                openDiscMenu();
                return true;
            }
            if (!m_inMenu || key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
                return false;
            std::optional<NavDirection> direction;
            switch (key->key()) {
            case Qt::Key_Up:
                direction = NavDirection::Up;
                break;
            case Qt::Key_Down:
                direction = NavDirection::Down;
                break;
            case Qt::Key_Left:
                direction = NavDirection::Left;
                break;
            case Qt::Key_Right:
                direction = NavDirection::Right;
                break;
            case Qt::Key_Return:
            case Qt::Key_Enter:
                // The highlight shows the button acted on: a jump resets it.
                drawHighlight(true);
                menuActed(m_nav->activate());
                return true;
            default:
                return false;
            }
            if (m_nav->move(*direction))
                drawHighlight(false);
            return true;
        }
        if (watched != m_video || !m_inMenu)
            return false;
        if (type == QEvent::Resize) {
            drawHighlight(false);
            return false;
        }
        if (type != QEvent::MouseMove && type != QEvent::MouseButtonPress)
            return false;
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (type == QEvent::MouseButtonPress && mouse->button() != Qt::LeftButton)
            return false; // the right button keeps opening the pop-up menu
        // libmpv measures its window in device pixels.
        const double scale = m_video->devicePixelRatioF();
        const QPointF at = mouse->position() * scale;
        mpv::Session& session = player();
        const PixelRect picture = shownPicture(session);
        const auto point =
            windowToFrame(static_cast<int>(at.x()), static_cast<int>(at.y()), picture,
                          static_cast<int>(session.getInt("video-params/w").value_or(720)),
                          static_cast<int>(session.getInt("video-params/h").value_or(576)));
        if (!point)
            return false;
        if (type == QEvent::MouseMove) {
            if (m_nav->pointAt(point->x, point->y))
                drawHighlight(false);
            return false;
        }
        if (m_nav->pointAt(point->x, point->y) || m_nav->selectedButton() > 0)
            drawHighlight(true);
        menuActed(m_nav->clickAt(point->x, point->y));
        return false;
    } catch (const std::exception& e) {
        qCDebug(lcMenus) << "menu input dropped:" << e.what();
    }
    return false;
}

} // namespace kavelo
