#pragma once

#include "Drives.h"
#include "DvdEngine.h"
#include "FrmPlay.h"
#include "ProgramStarter.h"
#include "Registry.h"
#include "SingleWindow.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

namespace kavelo {

class IDialogs;

// Owns the program's windows: the main window (made afresh when asked for after it was
// closed) and the secondary windows that exist at most once each.
class KaveloApp : public QObject {
    Q_OBJECT
public:
    using EngineMaker = std::function<std::unique_ptr<IDvdEngine>(QWidget*)>;

    KaveloApp(IDialogs& dialogs, EngineMaker makeEngine, QString programFolder);
    ~KaveloApp() override;

    // The main window, created and loaded when there is none.
    FrmPlay* mainWindow();
    FrmPlay* existingMainWindow() const { return m_main; }
    void showMainWindow();

    void showAngles();
    void showDirectory();
    void showMultimedia();
    void showAbout();

    SingleWindow<QWidget>& angles() { return m_angles; }
    SingleWindow<QWidget>& directory() { return m_directory; }
    SingleWindow<QWidget>& multimedia() { return m_multimedia; }
    SingleWindow<QWidget>& about() { return m_about; }

    // Ends the program at once: every window disappears and no window's closing steps run.
    void exitNow();
    // Destroys every remaining window without closing steps (engines shut down cleanly).
    void destroyAllWindows();

    // Whether any of the program's windows is open (the main window or a secondary one).
    bool anyWindowOpen() const;

signals:
    // The program's last open window has gone: the program ends. Qt's own rule does not do
    // here, since it does not count tool windows such as the directory dialog.
    void lastWindowClosed();

private:
    void wireMainWindow(FrmPlay* w);
    // Counts `w` among the program's windows until it is destroyed.
    QWidget* watch(QWidget* w);
    void windowGone();

    IDialogs& m_dialogs;
    SystemDrives m_drives;
    LinuxRegistry m_registry;
    DetachedProgramStarter m_starter;
    EngineMaker m_makeEngine;
    QString m_programFolder;
    QPointer<FrmPlay> m_main;
    SingleWindow<QWidget> m_angles;
    SingleWindow<QWidget> m_directory;
    SingleWindow<QWidget> m_multimedia;
    SingleWindow<QWidget> m_about;
};

// Starts the windowing runtime and opens the main window; returns the exit code.
int runKavelo(int argc, char** argv);

} // namespace kavelo
