#include "Controls.h"

#include "Logging.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFileInfo>
#include <QImageReader>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QResizeEvent>

#include <utility>

namespace kavelo {

QFont dialogFont(bool bold) {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(8.25);
    font.setBold(bold);
    font.setStyleHint(QFont::SansSerif);
    font.setStretch(QFont::SemiCondensed);
    return font;
}

namespace {

// The focus mark of a picture button: a thin rounded outline in the pale blue of the skin's
// disc, inside the picture's edge.
constexpr QRgb kFocusMark = qRgb(0x9f, 0xb8, 0xe8);

// A picture button as screen readers see it: a push button named by its command, whose press
// action runs the command.
class PictureButtonAccessible final : public QAccessibleWidget {
public:
    explicit PictureButtonAccessible(PictureBox* box)
        : QAccessibleWidget(box, QAccessible::Button) {}

    QStringList actionNames() const override {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action != pressAction()) {
            QAccessibleWidget::doAction(action);
            return;
        }
        // From the event loop, as a click: the command may show a message box.
        auto* box = static_cast<PictureBox*>(widget());
        QMetaObject::invokeMethod(box, &PictureBox::press, Qt::QueuedConnection);
    }
    QStringList keyBindingsForAction(const QString& action) const override {
        if (action == pressAction())
            return {QStringLiteral("Space")};
        return QAccessibleWidget::keyBindingsForAction(action);
    }
};

QAccessibleInterface* pictureButtonAccessible(const QString& className, QObject* object) {
    if (className != QLatin1String(PictureBox::staticMetaObject.className()))
        return nullptr;
    auto* box = qobject_cast<PictureBox*>(object);
    // A picture box without a command is a picture, as Qt describes a label.
    return box && box->isButton() ? new PictureButtonAccessible(box) : nullptr;
}

} // namespace

PictureBox::PictureBox(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setScaledContents(false);
    setAutoFillBackground(true);
    // A picture without a command takes no focus: there is nothing to do there.
    setFocusPolicy(Qt::NoFocus);
}

void PictureBox::setCommand(const QString& words) {
    // Qt keeps one copy of a factory however often it is installed.
    QAccessible::installFactory(pictureButtonAccessible);
    m_button = true;
    setToolTip(words);
    setAccessibleName(words);
    setFocusPolicy(Qt::TabFocus);
}

void PictureBox::press() {
    emit clicked();
}

void PictureBox::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (m_button && event->modifiers() == Qt::NoModifier &&
        (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter)) {
        event->accept();
        if (!event->isAutoRepeat())
            press();
        return;
    }
    QLabel::keyPressEvent(event);
}

void PictureBox::setBackColor(const QColor& colour) {
    QPalette pal = palette();
    pal.setColor(QPalette::Window, colour);
    setPalette(pal);
}

bool PictureBox::loadPicture(const QString& path) {
    m_pending.clear();
    m_file.clear();
    setPixmap(QPixmap());
    // Only regular files: reading a FIFO or a device could wait forever.
    if (!QFileInfo(path).isFile())
        return false;
    QImageReader reader(path);
    if (!reader.canRead())
        return false;
    m_pending = path;
    m_file = path;
    update();
    return true;
}

QPixmap PictureBox::picture() {
    decodePending();
    return pixmap();
}

void PictureBox::decodePending() {
    if (m_pending.isEmpty())
        return;
    QImageReader reader(std::exchange(m_pending, QString()));
    // Guard against hostile files that claim enormous sizes.
    reader.setAllocationLimit(256);
    const QImage image = reader.read();
    if (image.isNull()) {
        qCDebug(logging::platform)
            << "picture unreadable:" << reader.fileName() << reader.errorString();
        return;
    }
    setPixmap(QPixmap::fromImage(image));
}

void PictureBox::paintEvent(QPaintEvent* event) {
    decodePending();
    QLabel::paintEvent(event);
    if (m_button && hasFocus()) {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(kFocusMark), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(2, 2, -2, -2), 4, 4);
    }
}

void PictureBox::hideEvent(QHideEvent* event) {
    QLabel::hideEvent(event);
    if (m_file.isEmpty() || !m_pending.isEmpty() || pixmap().isNull())
        return;
    setPixmap(QPixmap());
    m_pending = m_file;
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        m_pressed = true;
    QLabel::mousePressEvent(event);
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
    const bool wasPressed = m_pressed;
    m_pressed = false;
    QLabel::mouseReleaseEvent(event);
    if (wasPressed && event->button() == Qt::LeftButton &&
        rect().contains(event->position().toPoint()))
        emit clicked();
}

SeekSlider::SeekSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {}

void SeekSlider::mousePressEvent(QMouseEvent* event) {
    // Any button raises the handlers: the slider itself moves on the left and middle buttons.
    if (isEnabled()) {
        m_pressed |= event->button();
        emit mouseDown();
    }
    QSlider::mousePressEvent(event);
}

void SeekSlider::mouseReleaseEvent(QMouseEvent* event) {
    QSlider::mouseReleaseEvent(event);
    if (m_pressed.testFlag(event->button())) {
        m_pressed &= ~Qt::MouseButtons(event->button());
        emit mouseUp();
    }
}

PanelBar::PanelBar(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    for (auto& p : m_panels) {
        p = new QLabel(this);
        p->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        p->setTextFormat(Qt::PlainText);
        p->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }
}

QLabel* PanelBar::panel(int index) const {
    if (index < 1 || index > kPanels)
        return nullptr;
    return m_panels[static_cast<std::size_t>(index - 1)];
}

void PanelBar::setPanelText(int index, const QString& text) {
    if (QLabel* p = panel(index))
        p->setText(text);
}

QString PanelBar::panelText(int index) const {
    const QLabel* p = panel(index);
    return p ? p->text() : QString();
}

void PanelBar::setPanelWidths(int width, int minWidth) {
    m_width = width;
    m_minWidth = minWidth;
    layoutPanels();
}

void PanelBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutPanels();
}

void PanelBar::layoutPanels() {
    // Panels that would run past the bar's right edge share its width instead, down to their
    // minimum width, so that the last panel's text stays readable.
    int w = qMax(m_width, m_minWidth);
    if (w * kPanels > width())
        w = qMax(width() / kPanels, m_minWidth);
    int x = 0;
    for (QLabel* p : m_panels) {
        p->setMinimumWidth(m_minWidth);
        p->setGeometry(x, 0, w, height());
        x += w;
    }
}

} // namespace kavelo
