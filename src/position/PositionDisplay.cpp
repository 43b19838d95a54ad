#include "PositionDisplay.h"

#include "Attempt.h"
#include "DvdTimeText.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTimer>

#include <cmath>
#include <optional>

namespace kavelo {
namespace {

// A field that is not a number, or a control that is gone.
struct FieldError {};

// A time field as a number, raising when the field is empty or not a number.
int field(const QString& time, DvdTimeField which) {
    const auto value = dvdTimeFieldValue(time, which);
    if (!value)
        throw FieldError{};
    return *value;
}

template <class T> T* required(T* p) {
    if (!p)
        throw FieldError{};
    return p;
}

// Round half to even, as the conversions to whole numbers do.
std::int32_t toInt32(double value) {
    return static_cast<std::int32_t>(std::nearbyint(value));
}

// Sets a flag back when the scope ends, exceptions included.
class Busy {
public:
    explicit Busy(bool& flag) : m_flag(flag) { m_flag = true; }
    ~Busy() { m_flag = false; }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    bool& m_flag;
};

} // namespace

PositionDisplay::PositionDisplay(IDvdEngine& engine, PanelBar* staMain_, SeekSlider* sliMain_,
                                 QTimer* timTime_, QTimer* timTimeMenu_, QMenu* mnuTimePopUp_,
                                 std::function<QAction*(const QString&)> menuItem,
                                 KeyStateLatch& keys, QWidget* client, QObject* parent)
    : QObject(parent), m_engine(engine), staMain(staMain_), sliMain(sliMain_), timTime(timTime_),
      timTimeMenu(timTimeMenu_), mnuTimePopUp(mnuTimePopUp_), m_menuItem(std::move(menuItem)),
      m_keys(keys), m_client(client) {
    if (timTime)
        connect(timTime, &QTimer::timeout, this, &PositionDisplay::timTime_Timer);
    if (timTimeMenu) {
        connect(timTimeMenu, &QTimer::timeout, this, &PositionDisplay::timTimeMenu_Timer);
        // Only presses made while the timer runs count: a space pressed in the window before
        // full screen began must not open the menu on the first tick.
        m_timeMenuStarted = timTimeMenu->bindableActive().addNotifier([this] {
            if (timTimeMenu && timTimeMenu->isActive())
                m_keys.discard(KeyStateLatch::VK_SPACE);
        });
    }
    if (sliMain) {
        connect(sliMain, &SeekSlider::mouseDown, this, &PositionDisplay::sliMain_MouseDown);
        connect(sliMain, &SeekSlider::mouseUp, this, &PositionDisplay::sliMain_MouseUp);
    }
}

PositionDisplay::~PositionDisplay() = default;

void PositionDisplay::timTime_Timer() noexcept {
    if (m_inTimeTick)
        return;
    Busy busy(m_inTimeTick);

    QString timeText;
    QString titleText;
    QString chapterText;
    QString lengthText;
    std::optional<double> lengthHours;
    std::optional<double> lengthMinutes;
    QString lengthSeconds;
    std::optional<std::int32_t> positionHours;
    std::optional<double> positionMinutes;
    std::optional<std::int16_t> positionSeconds;
    std::optional<double> lengthTotal;
    std::optional<double> positionTotal;

    attempt([&] { timeText = QStringLiteral("Time: ") + m_engine.CurrentTime().left(8); });
    attempt(
        [&] { titleText = QStringLiteral("Title: ") + QString::number(m_engine.CurrentTitle()); });
    attempt([&] {
        chapterText = QStringLiteral("Chapter: ") + QString::number(m_engine.CurrentChapter());
    });
    attempt([&] { lengthText = QStringLiteral("Length: ") + m_engine.TotalTitleTime().left(8); });

    attempt([&] { required(staMain.data())->setPanelText(1, titleText); });
    attempt([&] { required(staMain.data())->setPanelText(2, chapterText); });
    attempt([&] { required(staMain.data())->setPanelText(3, timeText); });
    attempt([&] { required(staMain.data())->setPanelText(4, lengthText); });

    attempt(
        [&] { lengthHours = field(m_engine.TotalTitleTime(), DvdTimeField::Hours) * 60.0 * 60.0; });
    attempt(
        [&] { lengthMinutes = field(m_engine.TotalTitleTime(), DvdTimeField::Minutes) * 60.0; });
    attempt([&] {
        lengthSeconds = dvdTimeFieldText(m_engine.TotalTitleTime(), DvdTimeField::Seconds);
    });
    attempt([&] {
        positionHours = toInt32(field(m_engine.CurrentTime(), DvdTimeField::Hours) * 60.0 * 60.0);
    });
    attempt([&] { positionMinutes = field(m_engine.CurrentTime(), DvdTimeField::Minutes) * 60.0; });
    attempt([&] {
        positionSeconds =
            static_cast<std::int16_t>(field(m_engine.CurrentTime(), DvdTimeField::Seconds));
    });

    // The length's seconds are still text here: when they spell no number the whole sum fails.
    attempt([&] {
        const auto seconds = dvdFieldNumber(lengthSeconds);
        if (!seconds)
            throw FieldError{};
        lengthTotal = lengthHours.value_or(0) + lengthMinutes.value_or(0) + *seconds;
    });
    attempt([&] {
        positionTotal =
            positionHours.value_or(0) + positionMinutes.value_or(0) + positionSeconds.value_or(0);
    });

    // The maximum first, so that the position always lands in the new range.
    attempt([&] { required(sliMain.data())->setMaximum(toInt32(lengthTotal.value_or(0))); });
    attempt([&] { required(sliMain.data())->setValue(toInt32(positionTotal.value_or(0))); });
}

void PositionDisplay::timTimeMenu_Timer() noexcept {
    // While a pop-up menu is open no other opens; a space press waits for it to close.
    if (m_inMenuTick || QApplication::activePopupWidget())
        return;
    Busy busy(m_inMenuTick);
    const QPointer<PositionDisplay> alive(this);

    bool spaceSeen = false;
    attempt([&] { spaceSeen = m_keys.query(KeyStateLatch::VK_SPACE); });

    bool windowed = false;
    attempt([&] { windowed = !m_engine.FullScreenMode(); });
    if (windowed)
        return;

    if (spaceSeen) {
        attempt([&] {
            QMenu* menu = required(mnuTimePopUp.data());
            const QPoint corner = required(m_client.data())->mapToGlobal(QPoint(0, 0));
            menu->exec(corner);
        });
        // The window may have gone while its menu was open.
        if (!alive)
            return;
    }

    const auto caption = [&](const char* name, const QString& text) {
        QAction* action = m_menuItem ? m_menuItem(QString::fromLatin1(name)) : nullptr;
        required(action)->setText(text);
    };
    attempt([&] { caption("mnuPopUpTitle", QString::number(m_engine.CurrentTitle())); });
    attempt([&] { caption("mnuPopUpChapter", QString::number(m_engine.CurrentChapter())); });
    attempt([&] { caption("mnuPopUpTime", m_engine.CurrentTime()); });
    attempt([&] { caption("mnuPopUpTotal", m_engine.TotalTitleTime()); });
}

void PositionDisplay::sliMain_MouseDown() noexcept {
    attempt([&] { required(timTime.data())->stop(); });
}

void PositionDisplay::sliMain_MouseUp() noexcept {
    std::optional<std::int32_t> position;
    std::optional<QString> target;
    attempt([&] { position = required(sliMain.data())->value(); });
    attempt([&] {
        if (position)
            target = seekText(*position);
    });
    // Past 99:59:59 no seek text can name the position, and nothing is sent.
    attempt([&] {
        if (target)
            m_engine.PlayAtTime(*target);
    });
    attempt([&] { required(timTime.data())->start(); });
}

} // namespace kavelo
