#include "FrmPlay.h"

#include "Attempt.h"
#include "FrameWatch.h"
#include "FrmAbout.h"
#include "FrmDirectory.h"
#include "FullScreenGuard.h"
#include "Layout.h"
#include "Menus.h"
#include "PositionDisplay.h"
#include "Skin.h"
#include "Startup.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QShowEvent>
#include <QStyle>
#include <QTimer>

#include <algorithm>

namespace kavelo {
namespace {

// Stands in when no engine could be made: the window still opens and every command reports
// its failure as usual.
class NoDvdEngine final : public IDvdEngine {
public:
    explicit NoDvdEngine(QWidget* parent) : m_widget(new QWidget(parent)) {}

    QWidget* widget() override { return m_widget; }
    void Play() override { fail(); }
    void Pause() override { fail(); }
    void Stop() override { fail(); }
    void Resume() override { fail(); }
    void PlayChapter(std::int32_t) override { fail(); }
    void PlayNextChapter() override { fail(); }
    void PlayPrevChapter() override { fail(); }
    void PlayAtTime(const QString&) override { fail(); }
    void PlayForwards(double) override { fail(); }
    void PlayBackwards(double) override { fail(); }
    DvdPlayState PlayState() noexcept override { return DvdPlayState::Stopped; }
    bool FullScreenMode() override { return false; }
    void SetFullScreenMode(bool) override { fail(); }
    std::int32_t CurrentTitle() override { fail(); }
    std::int32_t CurrentChapter() override { fail(); }
    QString CurrentTime() override { fail(); }
    QString TotalTitleTime() override { fail(); }
    void SetDVDDirectory(const QString&) override { fail(); }
    QString DVDDirectory() override { return {}; }
    std::int32_t CurrentAngle() override { fail(); }
    void SetCurrentAngle(std::int32_t) override { fail(); }
    std::int32_t AnglesAvailable() override { fail(); }
    void SetMute(bool) override { fail(); }
    void Zoom(std::int32_t, std::int32_t, double) override { fail(); }
    void SaveBookmark() override { fail(); }
    void RestoreBookmark() override { fail(); }
    void DeleteBookmark() override { fail(); }
    void SetVolume(double) override { fail(); }
    const DvdSnapshot& snapshot() const noexcept override { return m_snapshot; }
    DvdEngineEvents& events() noexcept override { return m_events; }
    void SetBackColor(std::uint32_t colour) override {
        QPalette pal = m_widget->palette();
        pal.setColor(QPalette::Window, colourFromEngine(colour));
        m_widget->setPalette(pal);
    }

private:
    [[noreturn]] static void fail() { throw EngineError("no DVD engine"); }
    QWidget* m_widget;
    DvdSnapshot m_snapshot;
    DvdEngineEvents m_events;
};

// The desktop's own colours, set role by role so that they do not inherit the window's.
QPalette desktopPalette() {
    const QPalette app = QApplication::palette();
    QPalette pal;
    for (int role = 0; role < QPalette::NColorRoles; ++role) {
        const auto r = static_cast<QPalette::ColorRole>(role);
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            pal.setColor(group, r, app.color(group, r));
    }
    return pal;
}

void setBackground(QWidget* w, const QColor& colour) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, colour);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

} // namespace

FrmPlay::FrmPlay(FrmPlayServices services, QWidget* parent)
    : QMainWindow(parent), m_services(std::move(services)) {
    setObjectName(QStringLiteral("frmPlay"));
    attempt([&] { m_screen = m_services.screen ? m_services.screen() : primaryScreenMetrics(); });
    setWindowTitle(QStringLiteral("Kavelo"));
    // Drawn once the window is up: the window manager takes a later icon as well.
    QTimer::singleShot(0, this, [this] { attempt([&] { setWindowIcon(FrmAbout::discIcon()); }); });
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setAcceptDrops(true);
    m_frame = new FrameWatch(this, [this] { windowFramed(); });
    buildControls();
    buildMenus();
    wireControls();
    Form_Load();
}

void FrmPlay::wireControls() {
    // Only presses in this window count: its controls, its menus and its video, also when the
    // video is shown full screen. Other windows' clicks and keys belong to them.
    m_keys.setScope([this](const QWidget* w) {
        const QWidget* videoWindow = dvdMain ? dvdMain->window() : nullptr;
        for (const QWidget* p = w; p; p = p->parentWidget()) {
            if (p == this || p == dvdMain || p == videoWindow)
                return true;
        }
        return false;
    });
    PlayerControls c;
    c.dvdMain = m_engine.get();
    c.picLogo = picLogo;
    c.sliMain = sliMain;
    c.timTime = timTime;
    c.timTimeMenu = timTimeMenu;
    c.mnuPopMuteOn = menuItem(QStringLiteral("mnuPopMuteOn"));
    c.window = this;
    c.dialogs = m_services.dialogs;
    m_commands = std::make_unique<PlaybackCommands>(c);
    wirePlaybackControls(
        *m_commands, [this](const QString& name) { return menuItem(name); }, pictureButtons(),
        this);
    // Full screen is left with the same steps however the user asks to leave it.
    m_fullScreenGuard = new FullScreenGuard(
        *m_engine, this, [this] { m_commands->exitFullScreen(); }, this);
    m_popUp = new PopUpTrigger(timMenu, menu(QString::fromLatin1(menu::kPopUp)), m_keys, this);
    m_position = new PositionDisplay(
        *m_engine, staMain, sliMain, timTime, timTimeMenu,
        menu(QString::fromLatin1(menu::kTimePopUp)),
        [this](const QString& name) { return menuItem(name); }, m_keys, m_client, this);
}

FrmPlay::~FrmPlay() {
    // It watches every event, the window's own closing ones included, and asks the engine.
    delete m_fullScreenGuard;
}

std::array<PictureBox*, 8> FrmPlay::pictureButtons() const {
    return {picPlay, picPause, picStop, picPrevious, picNext, picRewind, picFast, picFullScreen};
}

void FrmPlay::buildControls() {
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    setCentralWidget(m_client);
    setBackground(m_client, Qt::black);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    setClientSize(QSize(px(layout::kClientStandard.width()), px(layout::kClientStandard.height())));

    // Created bottom first: later siblings stack above earlier ones.
    try {
        if (m_services.makeEngine)
            m_engine = m_services.makeEngine(m_client);
    } catch (...) {
        // The window opens all the same, with a stand-in that refuses every command.
        logging::noteAbsorbed();
        m_engine.reset();
    }
    if (!m_engine)
        m_engine = std::make_unique<NoDvdEngine>(m_client);
    dvdMain = m_engine->widget();
    dvdMain->setParent(m_client);
    dvdMain->setObjectName(QStringLiteral("dvdMain"));
    dvdMain->setGeometry(px(layout::kDvdMain));
    dvdMain->setFocusPolicy(Qt::StrongFocus);
    if (IDvdMenus* menus = m_engine->menus())
        m_menuInput = std::make_unique<MenuInput>(dvdMain, *menus);

    staMain = new PanelBar(m_client);
    staMain->setObjectName(QStringLiteral("staMain"));
    // The status bar and the slider keep the desktop's own colours, whatever the window's.
    staMain->setPalette(desktopPalette());
    // Nothing to do on the status bar with the keyboard: Tab passes it by.
    staMain->setFocusPolicy(Qt::NoFocus);
    const QSize client = m_client->size();
    staMain->setGeometry(0, client.height() - px(layout::kStatusHeight), client.width(),
                         px(layout::kStatusHeight));
    staMain->setPanelWidths(px(layout::kPanelWidth), px(layout::kPanelMinWidth));
    const char* const texts[] = {"Title:", "Chapter:", "Time:", "Length:"};
    const char* const tips[] = {"Current Title", "Current Chapter", "Current Time", "Total Length"};
    for (int i = 1; i <= PanelBar::kPanels; ++i) {
        staMain->setPanelText(i, QString::fromLatin1(texts[i - 1]));
        staMain->panel(i)->setToolTip(QString::fromLatin1(tips[i - 1]));
    }
    QFont statusFont(QStringLiteral("Arial Greek"), 12, QFont::Bold);
    statusFont.setStyleHint(QFont::SansSerif);
    staMain->setFont(statusFont);

    sliMain = new SeekSlider(m_client);
    sliMain->setObjectName(QStringLiteral("sliMain"));
    sliMain->setPalette(desktopPalette());
    sliMain->setAutoFillBackground(true);
    sliMain->setGeometry(px(layout::kSlider));
    sliMain->setToolTip(QStringLiteral("Progress Bar"));
    sliMain->setRange(0, 100);
    sliMain->setPageStep(5);
    sliMain->setSingleStep(1);
    sliMain->setFocusPolicy(Qt::StrongFocus);

    picLogo = new PictureBox(m_client);
    picLogo->setObjectName(QStringLiteral("picLogo"));
    picLogo->setGeometry(px(layout::kLogo));
    // The logo lies over the video window, a native window of its own: it needs one too to stay
    // above it (the program makes no other native windows beside the video's).
    picLogo->setAttribute(Qt::WA_NativeWindow);

    const char* const names[] = {"picPlay", "picPause",  "picStop", "picPrevious",
                                 "picNext", "picRewind", "picFast", "picFullScreen"};
    PictureBox** targets[] = {&picPlay, &picPause,  &picStop, &picPrevious,
                              &picNext, &picRewind, &picFast, &picFullScreen};
    // What each button does, as its tooltip and for screen readers.
    const char* const commands[] = {"Play",         "Pause",  "Stop Playing", "Previous Chapter",
                                    "Next Chapter", "Rewind", "Fast Forward", "FullScreen Mode"};
    for (std::size_t i = 0; i < 8; ++i) {
        auto* box = new PictureBox(m_client);
        box->setObjectName(QString::fromLatin1(names[i]));
        box->setCommand(QString::fromLatin1(commands[i]));
        box->setGeometry(px(layout::kButtonLefts[i]), px(layout::kButtonTop),
                         px(layout::kButton.width()), px(layout::kButton.height()));
        *targets[i] = box;
    }

    // Keyboard focus order (the status bar and the logo take no focus).
    QWidget* order[] = {dvdMain,     sliMain, picPlay,   picPause, picStop,
                        picPrevious, picNext, picRewind, picFast,  picFullScreen};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);

    timTime = new QTimer(this);
    timTime->setObjectName(QStringLiteral("timTime"));
    timTime->setInterval(500);
    timTimeMenu = new QTimer(this);
    timTimeMenu->setObjectName(QStringLiteral("timTimeMenu"));
    timTimeMenu->setInterval(100);
    timMenu = new QTimer(this);
    timMenu->setObjectName(QStringLiteral("timMenu"));
    timMenu->setInterval(100);
}

void FrmPlay::buildMenus() {
    QMenuBar* bar = menuBar();
    QMenu* top = nullptr;
    QMenu* sub = nullptr;
    for (const MenuEntry& e : menuTree()) {
        const QString name = QString::fromLatin1(e.name);
        const QString caption = QString::fromLatin1(e.caption);
        if (e.depth == 0) {
            top = bar->addMenu(caption);
            top->setObjectName(name);
            top->menuAction()->setObjectName(name);
            m_menus[name] = top;
            m_actions[name] = top->menuAction();
            sub = nullptr;
            continue;
        }
        QMenu* into = (e.depth == 2 && sub) ? sub : top;
        if (!into)
            continue;
        QAction* action = nullptr;
        if (caption == QLatin1String("-")) {
            action = into->addSeparator();
        } else if (name == QLatin1String("mnuZoom")) {
            sub = into->addMenu(caption);
            sub->setObjectName(name);
            action = sub->menuAction();
            m_menus[name] = sub;
        } else {
            action = into->addAction(caption);
            if (e.shortcut != QKeyCombination())
                action->setShortcut(QKeySequence(e.shortcut));
        }
        action->setObjectName(name);
        m_actions[name] = action;
    }
}

QAction* FrmPlay::menuItem(const QString& name) const {
    auto it = m_actions.find(name);
    return it == m_actions.end() ? nullptr : it->second;
}

QMenu* FrmPlay::menu(const QString& name) const {
    auto it = m_menus.find(name);
    return it == m_menus.end() ? nullptr : it->second;
}

bool FrmPlay::CheckRez(std::int32_t pixelWidth, std::int32_t pixelHeight) const {
    std::int32_t w = 0;
    std::int32_t h = 0;
    if (__builtin_mul_overflow(pixelWidth, 15, &w) || __builtin_mul_overflow(pixelHeight, 15, &h))
        throw std::overflow_error("screen size out of range");
    if (m_screen.widthTwips() != w)
        return false;
    return m_screen.heightTwips() == h;
}

void FrmPlay::Form_Load() {
    attempt([&] { menuItem(QString::fromLatin1(menu::kPopUp))->setVisible(false); });
    attempt([&] { menuItem(QString::fromLatin1(menu::kTimePopUp))->setVisible(false); });
    const QString folder = m_services.programFolder;
    attempt([&] { m_logoPath = folder + QLatin1String(skin::kLogoStandard); });
    attempt([&] {
        if (CheckRez(800, 600)) {
            m_logoPath = folder + QLatin1String(skin::kLogo800x600);
            applySmallLayout();
        } else if (!standardLayoutFits()) {
            // A screen too small for the standard window (a small one, or a large scale
            // factor): the small layout, kept where its title bar and buttons can be reached.
            qCDebug(logging::app) << "the standard layout does not fit" << m_screen.available
                                  << "- the small layout stands in";
            m_keepReachable = true;
            m_logoPath = folder + QLatin1String(skin::kLogo800x600);
            applySmallLayout();
        }
    });

    // A skin file that cannot be used is passed over; the debug log says which.
    const auto colourField = [&](const char* name) {
        std::optional<QByteArray> field = readColourField(folder + QLatin1String(name));
        if (!field || !colourNumber(*field))
            qCDebug(logging::app) << "skin colour file unreadable or no palette number:"
                                  << folder + QLatin1String(name);
        return field;
    };
    std::optional<QByteArray> windowField;
    std::optional<QByteArray> videoField;
    attempt([&] { windowField = colourField(skin::kWindowColour); });
    attempt([&] { videoField = colourField(skin::kVideoColour); });
    attempt([&] {
        if (auto n = windowField ? colourNumber(*windowField) : std::nullopt)
            setBackground(m_client, paletteColour(*n));
    });
    attempt([&] {
        if (auto n = videoField ? colourNumber(*videoField) : std::nullopt)
            m_engine->SetBackColor(engineColour(paletteColour(*n)));
    });
    attempt([&] {
        if (auto n = videoField ? colourNumber(*videoField) : std::nullopt)
            picLogo->setBackColor(paletteColour(*n));
    });

    const auto picture = [](PictureBox* box, const QString& path) {
        if (!box->loadPicture(path))
            qCDebug(logging::app) << "skin picture unreadable:" << path;
    };
    attempt([&] { picture(picLogo, m_logoPath); });
    const char* const pictures[] = {skin::kPlay, skin::kPause,  skin::kStop, skin::kPrevious,
                                    skin::kNext, skin::kRewind, skin::kFast, skin::kFullScreen};
    const auto buttons = pictureButtons();
    for (std::size_t i = 0; i < buttons.size(); ++i)
        attempt([&] { picture(buttons[i], folder + QLatin1String(pictures[i])); });

    attempt([&] { fitSliderToWindow(); });

    if (!m_smallLayout)
        attempt([&] { placeStandardWindow(); });
    timMenu->start();
}

void FrmPlay::placeStandardWindow() {
    // The client area's top-left corner goes to its designed place on the screen; the frame
    // and the menu bar lie above and left of it.
    const QMargins frame = m_frame->frame();
    move(px(layout::kClientOriginStandard.x()) - frame.left(),
         px(layout::kClientOriginStandard.y()) - menuBar()->sizeHint().height() - frame.top());
}

void FrmPlay::placeSmallWindow() {
    const QRect outer = px(layout::kWindow800);
    const QMargins frame = m_frame->frame();
    move(outer.topLeft());
    setClientSize(
        QSize(outer.width() - frame.left() - frame.right(),
              outer.height() - frame.top() - frame.bottom() - menuBar()->sizeHint().height()));
    if (m_keepReachable)
        keepReachable();
}

bool FrmPlay::standardLayoutFits() const {
    const QRect area = m_screen.available;
    if (area.isEmpty())
        return true; // not known: as designed
    // Before the window is shown its frame is not known: the style's title bar stands in.
    QMargins frame = m_frame->frame();
    if (frame.isNull())
        frame.setTop(style()->pixelMetric(QStyle::PM_TitleBarHeight));
    const QSize outer = QSize(px(layout::kClientStandard.width()),
                              px(layout::kClientStandard.height()) + menuBar()->sizeHint().height())
                            .grownBy(frame);
    return outer.width() <= area.width() && outer.height() <= area.height();
}

void FrmPlay::keepReachable() {
    const QRect area = m_screen.available;
    if (area.isEmpty())
        return;
    const QSize outer = outerSize();
    const int x = outer.width() >= area.width()
                      ? area.left()
                      : std::clamp(pos().x(), area.left(), area.right() + 1 - outer.width());
    const int y = outer.height() >= area.height()
                      ? area.top()
                      : std::clamp(pos().y(), area.top(), area.bottom() + 1 - outer.height());
    move(x, y);
}

void FrmPlay::windowFramed() {
    // The frame is known only now: the steps that count it in run again.
    if (m_smallLayout)
        attempt([&] { placeSmallWindow(); });
    else
        attempt([&] { placeStandardWindow(); });
    attempt([&] { fitSliderToWindow(); });
}

void FrmPlay::applySmallLayout() {
    m_smallLayout = true;
    attempt([&] { picLogo->setGeometry(px(layout::kLogo800)); });
    attempt([&] { dvdMain->setGeometry(px(layout::kDvdMain800)); });
    // Before the window is shown its frame is not known; windowFramed() sets it again then.
    attempt([&] { placeSmallWindow(); });
    const auto buttons = pictureButtons();
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        attempt([&] {
            buttons[i]->move(px(layout::kButtonLefts800[i]), buttons[i]->y());
            buttons[i]->move(buttons[i]->x(), px(layout::kButtonTop800));
        });
    }
}

void FrmPlay::setClientSize(QSize pixels) {
    m_client->setFixedSize(pixels);
    if (staMain) {
        staMain->setGeometry(0, pixels.height() - px(layout::kStatusHeight), pixels.width(),
                             px(layout::kStatusHeight));
    }
    if (QLayout* l = layout())
        l->activate();
    adjustSize();
}

QSize FrmPlay::outerSize() const {
    // Before the window manager has framed the window this is the window's own size.
    return size().grownBy(m_frame->frame());
}

void FrmPlay::fitSliderToWindow() {
    sliMain->resize(outerSize().width(), sliMain->height());
}

void FrmPlay::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

namespace {

// Accepts a drag of a disc place and refuses anything else, so the drag itself shows whether
// it may be dropped.
template <class Event> void acceptDiscPlace(Event* event) {
    const QMimeData* data = event->mimeData();
    if (data && data->hasUrls() && droppedDiscPlace(data->urls()) &&
        event->possibleActions().testFlag(Qt::CopyAction)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

} // namespace

void FrmPlay::dragEnterEvent(QDragEnterEvent* event) {
    try {
        acceptDiscPlace(event);
    } catch (...) {
        logging::noteAbsorbed();
        event->ignore();
    }
}

void FrmPlay::dragMoveEvent(QDragMoveEvent* event) {
    try {
        acceptDiscPlace(event);
    } catch (...) {
        logging::noteAbsorbed();
        event->ignore();
    }
}

void FrmPlay::dropEvent(QDropEvent* event) {
    try {
        const QMimeData* mime = event->mimeData();
        const auto place = mime && mime->hasUrls() ? droppedDiscPlace(mime->urls()) : std::nullopt;
        if (!place || !m_services.dialogs) {
            event->ignore();
            return;
        }
        event->setDropAction(Qt::CopyAction);
        event->accept();
        // After the drop has been answered: the source is not kept waiting by a message box.
        QTimer::singleShot(
            0, this, [this, path = *place] { playDiscAt(this, path, *m_services.dialogs, this); });
    } catch (...) {
        logging::noteAbsorbed();
        event->ignore();
    }
}

void FrmPlay::Form_Unload() {
    if (m_services.onUnload)
        attempt([&] { m_services.onUnload(); });
}

} // namespace kavelo
