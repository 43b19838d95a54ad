#include "Startup.h"

#include <QDir>
#include <QFileInfo>

namespace kavelo {

namespace {

bool isVideoTsName(const QString& name) {
    return name.compare(QLatin1String("VIDEO_TS"), Qt::CaseInsensitive) == 0;
}

} // namespace

std::optional<QString> startDvdFolder(const QString& workingFolder, bool discInDrive) {
    if (discInDrive || workingFolder.isEmpty())
        return std::nullopt;
    const QFileInfo folder(workingFolder);
    if (!folder.isDir())
        return std::nullopt;
    if (isVideoTsName(folder.fileName()))
        return folder.absoluteFilePath();
    const QStringList children =
        QDir(folder.absoluteFilePath()).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QString& child : children) {
        if (isVideoTsName(child))
            return folder.absoluteFilePath();
    }
    return std::nullopt;
}

std::optional<QString> droppedDiscPlace(const QList<QUrl>& urls) {
    if (urls.size() != 1 || !urls.front().isLocalFile())
        return std::nullopt;
    const QFileInfo place(urls.front().toLocalFile());
    if (place.isDir())
        return startDvdFolder(place.absoluteFilePath(), false);
    // Only a regular file: a device or a pipe named like an image is no image.
    if (place.isFile() && place.suffix().compare(QLatin1String("iso"), Qt::CaseInsensitive) == 0)
        return place.absoluteFilePath();
    return std::nullopt;
}

QString skinHome(const QString& programFolder) {
    if (QFileInfo(programFolder + QStringLiteral("/skin")).isDir())
        return programFolder;
    const QString installed = QDir::cleanPath(programFolder + QStringLiteral("/../share/kavelo"));
    if (QFileInfo(installed + QStringLiteral("/skin")).isDir())
        return installed;
    return programFolder;
}

std::optional<QByteArray> windowingPlatform(const QByteArray& qpaPlatform,
                                            const QByteArray& waylandDisplay,
                                            const QByteArray& x11Display) {
    if (!qpaPlatform.isEmpty() || waylandDisplay.isEmpty() || x11Display.isEmpty())
        return std::nullopt;
    return QByteArrayLiteral("xcb");
}

} // namespace kavelo
