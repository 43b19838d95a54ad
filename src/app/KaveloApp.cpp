#include "KaveloApp.h"

#include <QApplication>
#include <QMainWindow>

#include <clocale>

namespace kavelo {

int runKavelo(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    QMainWindow w;
    w.setWindowTitle(QStringLiteral("Kavelo"));
    w.show();
    return app.exec();
}

} // namespace kavelo
