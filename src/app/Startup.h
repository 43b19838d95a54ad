#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

namespace kavelo {

// The DVD place a new main window starts with. Play plays the optical drive when it holds a
// disc, so then nothing is set. Otherwise the working folder is played when it holds a
// VIDEO_TS folder or is one (a copied disc, the sample disc of `make run`); else nothing is
// set and Play asks for a disc as usual.
std::optional<QString> startDvdFolder(const QString& workingFolder, bool discInDrive);

// The disc place that a drop of `urls` on the main window plays: a single local folder that
// holds VIDEO_TS or is one, or a single disc image (.iso file). Nothing for anything else.
std::optional<QString> droppedDiscPlace(const QList<QUrl>& urls);

// The folder whose `skin` folder Kavelo reads: the program's own folder when the skin lies
// beside the program (a build tree), else the installed share/kavelo beside the program's
// bin folder when that holds it, else the program's folder all the same.
QString skinHome(const QString& programFolder);

// The windowing platform to ask Qt for. The video is a native X11 window inside the main
// window, so in a Wayland session where nobody chose a platform (QT_QPA_PLATFORM unset) and
// XWayland is there (DISPLAY set), Kavelo runs on xcb. Nothing means Qt's own choice.
std::optional<QByteArray> windowingPlatform(const QByteArray& qpaPlatform,
                                            const QByteArray& waylandDisplay,
                                            const QByteArray& x11Display);

} // namespace kavelo
