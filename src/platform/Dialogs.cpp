#include "Dialogs.h"

#include "Logging.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QIcon>
#include <QInputDialog>
#include <QMessageBox>
#include <QStringList>

namespace kavelo {

void QtDialogs::message(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kProductTitle), text, QMessageBox::Ok,
                    parent);
    if (QAbstractButton* ok = box.button(QMessageBox::Ok))
        ok->setIcon(QIcon()); // a plain OK, as every Kavelo message has
    box.exec();
}

std::optional<QString> QtDialogs::input(QWidget* parent, const QString& prompt,
                                        const QString& title) {
    bool ok = false;
    QString text = QInputDialog::getText(parent, title, prompt, QLineEdit::Normal, QString(), &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

void showMessage(IDialogs& dialogs, QWidget* parent, const char* text) noexcept {
    try {
        dialogs.message(parent, QString::fromLatin1(text));
    } catch (...) {
        logging::noteAbsorbed();
    }
}

// "Name|*.a;*.b|Name|*.*|" becomes "Name (*.a *.b);;Name (*)".
QString qtFileFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& p : patterns) {
            if (p == QLatin1String("*.*"))
                p = QStringLiteral("*");
        }
        entries << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(QLatin1Char(' ')));
    }
    return entries.join(QStringLiteral(";;"));
}

QString QtDialogs::openFile(QWidget* parent, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, QString(), QString(), qtFileFilter(filter));
}

} // namespace kavelo
