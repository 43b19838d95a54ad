#include "Controls.h"

#include "Logging.h"

#include <QFileInfo>
#include <QImageReader>
#include <QMouseEvent>
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

PictureBox::PictureBox(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setScaledContents(false);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::TabFocus);
}

void PictureBox::setBackColor(const QColor& colour) {
    QPalette pal = palette();
    pal.setColor(QPalette::Window, colour);
    setPalette(pal);
}

bool PictureBox::loadPicture(const QString& path) {
    m_pending.clear();
    setPixmap(QPixmap());
    // Only regular files: reading a FIFO or a device could wait forever.
    if (!QFileInfo(path).isFile())
        return false;
    QImageReader reader(path);
    if (!reader.canRead())
        return false;
    m_pending = path;
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
