#include "FrmAngles.h"

#include "Dialogs.h"
#include "DvdEngine.h"
#include "PlaybackCommands.h"
#include "Screen.h"
#include "UserNumber.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace kavelo {

FrmAngles::FrmAngles(IDvdEngine& engine, IDialogs& dialogs, const ScreenMetrics& screen,
                     QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_engine(engine), m_dialogs(dialogs) {
    setObjectName(QStringLiteral("frmAngles"));
    setWindowTitle(QStringLiteral("Angles"));
    setFixedSize(screen.toPixels(2520), screen.toPixels(2415));

    auto place = [&](QWidget* w, const char* name, int l, int t, int wd, int h) {
        w->setObjectName(QString::fromLatin1(name));
        w->setGeometry(screen.toPixels(QRect(l, t, wd, h)));
    };
    Label1 = new QLabel(QStringLiteral("Current Angle:"), this);
    place(Label1, "Label1", 120, 360, 1095, 255);
    txtCurrentAngle = new QLineEdit(this);
    place(txtCurrentAngle, "txtCurrentAngle", 1560, 240, 855, 375);
    Label2 = new QLabel(QStringLiteral("Angles Available:"), this);
    place(Label2, "Label2", 120, 840, 1215, 255);
    txtAngAva = new QLineEdit(this);
    place(txtAngAva, "txtAngAva", 1560, 720, 855, 375);
    Label3 = new QLabel(QStringLiteral("Change Angle:"), this);
    place(Label3, "Label3", 120, 1440, 1095, 255);
    txtChangeAngle = new QLineEdit(this);
    place(txtChangeAngle, "txtChangeAngle", 1560, 1320, 855, 375);
    Command1 = new QPushButton(QStringLiteral("Change"), this);
    place(Command1, "Command1", 360, 1920, 1815, 375);

    // Keyboard focus order: the three boxes, then the button.
    setTabOrder(txtCurrentAngle, txtAngAva);
    setTabOrder(txtAngAva, txtChangeAngle);
    setTabOrder(txtChangeAngle, Command1);

    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    Form_Load();
}

void FrmAngles::Form_Load() noexcept {
    try {
        txtCurrentAngle->setText(QString::number(m_engine.CurrentAngle()));
        txtAngAva->setText(QString::number(m_engine.AnglesAvailable()));
    } catch (...) {
        try {
            m_dialogs.message(nullptr, QString::fromLatin1(message::kPleaseWait));
        } catch (...) {
        }
    }
}

void FrmAngles::Command1_Click() noexcept {
    try {
        const auto angle = userNumber32(txtChangeAngle->text());
        if (!angle)
            throw EngineError("not a number");
        m_engine.SetCurrentAngle(*angle);
    } catch (...) {
        try {
            m_dialogs.message(this, QString::fromLatin1(message::kAngleNotAvailable));
        } catch (...) {
        }
    }
}

} // namespace kavelo
