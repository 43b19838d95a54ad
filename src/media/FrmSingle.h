#pragma once

#include "Mci.h"
#include "ModuleMPEG.h"
#include "Screen.h"

#include <QList>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QFrame;
class QLabel;
class QDragMoveEvent;
class QMimeData;
class QPushButton;
class QTimer;

namespace kavelo {

class FrameWatch;
class IDialogs;
class SeekSlider;

// The window that plays one multimedia file: Open, Play, Pause, Stop, Resume and Close
// buttons, a frame counter refreshed every 500 ms and a slider that seeks by frame.
class FrmSingle : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kCaption = "Open Multimedia Files";
    static constexpr const char* kDescription =
        "Play any type of Multimedia files listed: qt , mov, dat,snd, mpg, mpa, mpv, enc, m1v, "
        "mp2,mp3, mpe, mpeg, mpm, au , snd, aif, aiff, aifc,wav,wmv,wma,avi,midi,mid,rmi,avi, "
        "VOB etc";
    static constexpr const char* kFilter =
        "All Supported Files|*.vob*;*.qt*;*.mov*;*.dat*;*.snd*;*.mpg*;*.mpa*;*.mpv*;*.enc*;"
        "*.m1v*;*.mp2*;*.mp3*;*.mpe*;*.mpeg*;*.mpm*;*.au*;*.snd*;*.aif*;*.aiff*;*.aifc*;*.wav*;"
        "*.wmv*;*.wma*;*.avi*;*.midi*;*.mid*;*.rmi*|All Files|*.*|";
    static constexpr const char* kErrorMessage = "There was an error";
    // Designed outer size, the smallest the window may be, in twips.
    static constexpr int kMinOuterWidth = 8535;
    static constexpr int kMinOuterHeight = 7950;
    // Designed client size, in twips.
    static constexpr int kDesignedWidth = 8415;
    static constexpr int kDesignedHeight = 7560;

    // The dialogs answer the file dialog and show the error box. Without `mci` the window
    // plays through Kavelo's own media devices. Runs the load steps (the driver check).
    explicit FrmSingle(IDialogs& dialogs, std::unique_ptr<IMci> mci = nullptr,
                       QWidget* parent = nullptr);
    ~FrmSingle() override;

    // The device type that Open uses for a file name.
    static QString deviceTypeFor(const QString& fileName);
    // The file that a drop of `urls` opens: a single local file whose name the Open dialog's
    // "All Supported Files" patterns take. Nothing for anything else.
    static std::optional<QString> droppedMediaFile(const QList<QUrl>& urls);

    ModuleMPEG& module() { return m_module; }

    // Whether a medium with pictures is playing now (the desktop keeps the screen on then).
    bool videoPlaying() noexcept;
    // The open file's name; empty when none is open.
    QString openFileName() const { return m_openFile; }
    // The device's mode ("playing", "paused", "stopped"...); empty when it cannot tell.
    QString mode() noexcept;
    // The open medium's length and position in milliseconds and its length in frames, for the
    // desktop's media controls; nothing when the device cannot tell. The device is left
    // counting frames, as the window's own steps count.
    struct Times {
        qint64 lengthMs = 0;
        qint64 positionMs = 0;
        qint64 lengthFrames = 0;
    };
    std::optional<Times> times() noexcept;

    // The controls, named as designed.
    SeekSlider* sliTime = nullptr;
    QLabel* Label1 = nullptr;
    QFrame* FrameVideo = nullptr;
    QPushButton* cmdOpen = nullptr;
    QPushButton* cmdPlay = nullptr;
    QPushButton* cmdPause = nullptr;
    QPushButton* cmdStop = nullptr;
    QPushButton* cmdResume = nullptr;
    QPushButton* cmdClose = nullptr;
    QLabel* lblCurrentTime = nullptr;
    QLabel* lblTotalTime = nullptr;
    QTimer* timTime = nullptr;

    // The handlers, as the controls call them.
    void Form_Load();
    void Form_Resize();
    void Form_Unload();
    void cmdOpen_Click();
    void cmdPlay_Click();
    void cmdPause_Click();
    void cmdResume_Click();
    void cmdStop_Click();
    void cmdClose_Click();
    void timTime_Timer();
    void sliTime_MouseDown();
    void sliTime_MouseUp();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // A media file dropped while Open is available opens as Open does after its dialog.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Runs a handler; any failure ends it with the error box.
    void trap(const std::function<void()>& steps);
    // Open's steps once a file has been chosen.
    void openChosen(const QString& name);
    bool acceptsDrop(const QMimeData* mime) const;
    void answerDrag(QDragMoveEvent* event) noexcept;
    std::optional<Times> readTimes();
    void setFileButtons(bool fileOpen);

    IDialogs& m_dialogs;
    std::unique_ptr<IMci> m_mci;
    ModuleMPEG m_module;
    ScreenMetrics m_screen;
    FrameWatch* m_frame = nullptr;
    bool m_framed = false;
    bool m_unloaded = false;
    QString m_openFile;
};

} // namespace kavelo
