#include "KaveloApp.h"

#include "Attempt.h"
#include "DesktopSession.h"
#include "Dialogs.h"
#include "FrmAbout.h"
#include "FrmAngles.h"
#include "FrmDirectory.h"
#include "FrmSingle.h"
#include "Logging.h"
#include "MpvDvdEngine.h"
#include "SessionBus.h"
#include "Startup.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <clocale>
#include <fontconfig/fontconfig.h>
#include <malloc.h>
#include <thread>
#include <vector>

namespace kavelo {

KaveloApp::KaveloApp(IDialogs& dialogs, EngineMaker makeEngine, QString programFolder)
    : m_dialogs(dialogs), m_makeEngine(std::move(makeEngine)),
      m_programFolder(std::move(programFolder)), m_angles([this]() -> QWidget* {
          if (!m_main)
              return nullptr;
          return watch(new FrmAngles(m_main->engine(), m_dialogs, primaryScreenMetrics()));
      }),
      m_directory([this]() -> QWidget* {
          auto host = [this]() -> IPlayerHost* {
              // After the main window was closed, Play opens it afresh and plays there.
              showMainWindow();
              return m_main;
          };
          return watch(new FrmDirectory(host, m_dialogs, m_drives, primaryScreenMetrics()));
      }),
      m_multimedia([this]() -> QWidget* { return watch(new FrmSingle(m_dialogs)); }),
      m_about(
          [this]() -> QWidget* { return watch(new FrmAbout(m_dialogs, m_registry, m_starter)); }) {}

KaveloApp::~KaveloApp() {
    destroyAllWindows();
}

FrmPlay* KaveloApp::mainWindow() {
    if (!m_main) {
        FrmPlayServices services;
        services.dialogs = &m_dialogs;
        services.makeEngine = m_makeEngine;
        services.programFolder = m_programFolder;
        services.onUnload = [this] {
            m_angles.close();
            m_about.close();
        };
        auto* w = new FrmPlay(std::move(services));
        w->setAttribute(Qt::WA_DeleteOnClose, true);
        m_main = w;
        watch(w);
        wireMainWindow(w);
        // Play plays the disc in the drive, or else a disc folder Kavelo was started in. The
        // engine is told once the window is up, so that the window shows first.
        attempt([&] {
            const auto folder =
                startDvdFolder(QDir::currentPath(), discInDrive(defaultOpticalDrive()));
            if (folder) {
                QTimer::singleShot(0, w, [w, place = *folder] {
                    attempt([&] { w->engine().SetDVDDirectory(place); });
                });
            }
        });
    }
    return m_main;
}

QWidget* KaveloApp::watch(QWidget* w) {
    // Queued: the window's guard has let go of it by the time this runs.
    connect(w, &QObject::destroyed, this, &KaveloApp::windowGone, Qt::QueuedConnection);
    return w;
}

bool KaveloApp::anyWindowOpen() const {
    return m_main || m_angles.isOpen() || m_directory.isOpen() || m_multimedia.isOpen() ||
           m_about.isOpen();
}

void KaveloApp::windowGone() {
    if (!anyWindowOpen()) {
        qCDebug(logging::app) << "the last window has closed";
        emit lastWindowClosed();
    }
}

void KaveloApp::showMainWindow() {
    FrmPlay* w = mainWindow();
    w->show();
    w->raise();
    w->activateWindow();
}

void KaveloApp::wireMainWindow(FrmPlay* w) {
    auto on = [&](const char* name, auto slot) {
        if (QAction* a = w->menuItem(QString::fromLatin1(name)))
            connect(a, &QAction::triggered, this, slot);
    };
    on("mnuDifferent", [this] { showDirectory(); });
    on("mnuPopDifferent", [this] { showDirectory(); });
    on("mnuMultimediaFiles", [this] { showMultimedia(); });
    on("mnuMultimedia2", [this] { showMultimedia(); });
    on("mnuAngles", [this] { showAngles(); });
    on("mnuAbout", [this] { showAbout(); });
    on("mnuPopAbout", [this] { showAbout(); });
    on("mnuExit", [this] { exitNow(); });
    on("mnuPopExit", [this] { exitNow(); });
}

void KaveloApp::showAngles() {
    m_angles.show();
}

void KaveloApp::showDirectory() {
    m_directory.show();
}

void KaveloApp::showMultimedia() {
    m_multimedia.show();
}

void KaveloApp::showAbout() {
    m_about.show();
}

void KaveloApp::exitNow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        w->hide();
    QCoreApplication::exit(0);
}

void KaveloApp::destroyAllWindows() {
    // Deleting skips every window's closing steps; their destructors release engines and devices.
    const QWidgetList windows = QApplication::topLevelWidgets();
    QList<QPointer<QWidget>> guarded;
    for (QWidget* w : windows)
        guarded << w;
    for (const QPointer<QWidget>& w : guarded) {
        if (w && !w->parentWidget())
            delete w.data();
    }
}

int runKavelo(int argc, char** argv) {
    // Every Play starts libmpv's threads anew, and glibc gives new threads a heap (arena) of their
    // own, up to 16 on two processors: each arena keeps what the last title left in it, so the
    // program grew by some 20 MiB over its first Stop/Play cycles, and more with four arenas. One
    // heap stays the size of one title; the decoders allocate from their own pools, so sharing
    // its lock cost no measurable processor time.
    mallopt(M_ARENA_MAX, 1);
    // The font configuration (some hundred files to read) is needed as soon as the main window
    // is laid out; it loads on the other processor while Qt connects to the display.
    std::jthread fontConfiguration([] { FcInit(); });
    // On a Wayland desktop the video window needs X11: run on XWayland unless told otherwise.
    std::vector<char*> args(argv, argv + argc);
    QByteArray platformOption = QByteArrayLiteral("-platform");
    QByteArray platform;
    if (const auto chosen = windowingPlatform(qgetenv("QT_QPA_PLATFORM"),
                                              qgetenv("WAYLAND_DISPLAY"), qgetenv("DISPLAY"))) {
        platform = *chosen;
        args.insert(args.begin() + std::min<std::ptrdiff_t>(1, argc),
                    {platformOption.data(), platform.data()});
    }
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    // Qt's accessibility support reaches for the session bus as soon as the main window is
    // built; where the user has none, libdbus would start one and the window would wait.
    std::optional<NoSessionBusStarted> noBusStarted(std::in_place);
    // Only the video and the logo over it need X windows of their own, not every control
    // beside them: each costs the window's first showing.
    QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
    QApplication app(count, args.data());
    fontConfiguration.join();
    qCDebug(lcDesktop) << "windowing platform" << QGuiApplication::platformName();
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("Kavelo"));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopId));
    // The skin sits beside the real program file (so a symbolic link to it works too), or in
    // the installed share folder.
    const QString folder = skinHome(QFileInfo(QApplication::applicationFilePath()).canonicalPath());
    qCDebug(lcDesktop) << "skin folder" << folder;
    // The program runs until its last window closes, tool windows included (see KaveloApp).
    QApplication::setQuitOnLastWindowClosed(false);
    QtDialogs dialogs;
    int code = 0;
    {
        KaveloApp kavelo(dialogs, makeMpvDvdEngine, folder);
        QObject::connect(&kavelo, &KaveloApp::lastWindowClosed, &app, &QCoreApplication::quit);
        kavelo.showMainWindow();
        noBusStarted.reset(); // programs Kavelo starts look for a bus themselves
        DesktopSession desktop(kavelo, sessionBus());
        code = app.exec();
    }
    return code;
}

} // namespace kavelo
