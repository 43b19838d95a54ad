#pragma once

#include "Mci.h"
#include "ModuleMPEG.h"
#include "Screen.h"

#include <QWidget>

#include <functional>
#include <memory>

class QFrame;
class QLabel;
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

    ModuleMPEG& module() { return m_module; }

    // Whether a medium with pictures is playing now (the desktop keeps the screen on then).
    bool videoPlaying() noexcept;

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

private:
    // Runs a handler; any failure ends it with the error box.
    void trap(const std::function<void()>& steps);
    void setFileButtons(bool fileOpen);

    IDialogs& m_dialogs;
    std::unique_ptr<IMci> m_mci;
    ModuleMPEG m_module;
    ScreenMetrics m_screen;
    FrameWatch* m_frame = nullptr;
    bool m_framed = false;
    bool m_unloaded = false;
};

} // namespace kavelo
