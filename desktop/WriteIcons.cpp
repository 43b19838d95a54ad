// Writes Kavelo's icon for the desktop's icon theme: OUTDIR/<n>x<n>/apps/<name>.png for each
// size n given, from the same drawing as the program's own window icon.
#include "FrmAbout.h"

#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QPainter>
#include <QPixmap>

#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: %s OUTDIR NAME SIZE...\n", argv[0]);
        return 2;
    }
    const QString out = args[1];
    const QString name = args[2];
    const QIcon icon = kavelo::FrmAbout::discIcon();
    for (qsizetype i = 3; i < args.size(); ++i) {
        bool ok = false;
        const int size = args[i].toInt(&ok);
        if (!ok || size < 1 || size > 1024) {
            std::fprintf(stderr, "not a size: %s\n", qPrintable(args[i]));
            return 2;
        }
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(out).arg(size);
        // The picture as the icon gives it at this size, centred on a square.
        const QPixmap drawn = icon.pixmap(QSize(size, size));
        QPixmap picture(size, size);
        picture.fill(Qt::transparent);
        {
            QPainter p(&picture);
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            const QSize fit = drawn.size().scaled(size, size, Qt::KeepAspectRatio);
            p.drawPixmap(QRect(QPoint((size - fit.width()) / 2, (size - fit.height()) / 2), fit),
                         drawn);
        }
        if (!QDir().mkpath(folder) || !picture.save(folder + QLatin1Char('/') + name + ".png")) {
            std::fprintf(stderr, "cannot write the %dx%d icon in %s\n", size, size,
                         qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
