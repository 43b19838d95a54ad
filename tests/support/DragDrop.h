#pragma once

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QStringList>
#include <QUrl>
#include <QWidget>

namespace kavelo::test {

// Names in `dir` as dragged files; a name with a scheme stays a URL.
inline QList<QUrl> urlsIn(const QDir& dir, const QStringList& names) {
    QList<QUrl> urls;
    for (const QString& n : names)
        urls << (n.contains(QLatin1Char(':')) ? QUrl(n) : QUrl::fromLocalFile(dir.filePath(n)));
    return urls;
}

// Whether `window` takes a drag of `urls` as it enters.
inline bool dragAccepted(QWidget* window, const QList<QUrl>& urls) {
    QMimeData mime;
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction | Qt::LinkAction, &mime, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(window, &enter);
    return enter.isAccepted();
}

// Whether `window` takes a drop of `urls`, delivered to it whatever its answer to the drag was.
inline bool dropAccepted(QWidget* window, const QList<QUrl>& urls) {
    QMimeData mime;
    mime.setUrls(urls);
    QDropEvent event(QPointF(50, 50), Qt::CopyAction | Qt::LinkAction, &mime, Qt::LeftButton,
                     Qt::NoModifier);
    static_cast<QObject*>(window)->event(&event);
    return event.isAccepted();
}

} // namespace kavelo::test
