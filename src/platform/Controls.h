#pragma once

#include <QLabel>
#include <QPixmap>
#include <QSlider>
#include <QWidget>

#include <array>

class QMouseEvent;

namespace kavelo {

// The small dialog font the windows are designed for ("MS Sans Serif", 8.25 points); where
// that face is missing, a narrow sans serif keeps the designed texts within their boxes.
QFont dialogFont(bool bold = false);

// A picture box: shows its picture at its own size from the top-left corner, cut off where it
// is larger, its background colour where it does not reach. Clicking it emits clicked().
// A picture box that runs a command (setCommand) is also a button for the keyboard and for
// screen readers: it takes the focus with Tab and shows it, Space or Enter presses it, and
// it is named by its command.
class PictureBox : public QLabel {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    // Makes the box a button named `words`: its tooltip and its accessible name.
    void setCommand(const QString& words);
    bool isButton() const { return m_button; }
    // Presses the button as a click does.
    void press();

    void setBackColor(const QColor& colour);
    // Takes the picture of a file; false (and no picture) when the file is not a picture.
    // The picture itself is decoded when it is first drawn (or asked for), so that a window
    // full of pictures shows without waiting for them; a damaged one then shows nothing. While
    // the box is hidden its decoded picture is let go and decoded again when next drawn (the
    // logo, hidden all the while a disc plays, is some 2 MiB decoded).
    bool loadPicture(const QString& path);
    // The picture shown (decoded now if it has not been yet); null when there is none.
    QPixmap picture();

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void decodePending();

    bool m_button = false;
    bool m_pressed = false;
    QString m_pending; // the file whose picture is still to be decoded
    QString m_file;    // the file of the picture, decoded or not
};

// A horizontal slider that reports a mouse button, any button, going down and up on it.
// Keyboard moves change its value but raise neither signal.
class SeekSlider : public QSlider {
    Q_OBJECT
public:
    explicit SeekSlider(QWidget* parent = nullptr);

signals:
    void mouseDown();
    void mouseUp();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    Qt::MouseButtons m_pressed; // pressed on the slider and not yet released
};

// A status bar of four text panels, addressed 1 to 4.
class PanelBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPanels = 4;

    explicit PanelBar(QWidget* parent = nullptr);

    QLabel* panel(int index) const; // 1-based; nullptr out of range
    void setPanelText(int index, const QString& text);
    QString panelText(int index) const;
    // Lays out the panels left to right, each `width` pixels but at least `minWidth`; where
    // they do not fit, they share the bar's width down to `minWidth`.
    void setPanelWidths(int width, int minWidth);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutPanels();

    std::array<QLabel*, kPanels> m_panels{};
    int m_width = 100;
    int m_minWidth = 20;
};

} // namespace kavelo
