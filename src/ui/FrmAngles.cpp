#include "FrmAngles.h"

#include "Controls.h"
#include "Dialogs.h"
#include "DvdEngine.h"
#include "Logging.h"
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
    setFont(dialogFont());
    setFixedSize(screen.toPixels(2520), screen.toPixels(2415));

    Label1 = new QLabel(QStringLiteral("Current Angle:"), this);
    placeControl(Label1, "Label1", QRect(120, 360, 1095, 255), screen);
    txtCurrentAngle = new QLineEdit(this);
    placeControl(txtCurrentAngle, "txtCurrentAngle", QRect(1560, 240, 855, 375), screen);
    Label2 = new QLabel(QStringLiteral("Angles Available:"), this);
    placeControl(Label2, "Label2", QRect(120, 840, 1215, 255), screen);
    txtAngAva = new QLineEdit(this);
    placeControl(txtAngAva, "txtAngAva", QRect(1560, 720, 855, 375), screen);
    Label3 = new QLabel(QStringLiteral("Change Angle:"), this);
    placeControl(Label3, "Label3", QRect(120, 1440, 1095, 255), screen);
    txtChangeAngle = new QLineEdit(this);
    placeControl(txtChangeAngle, "txtChangeAngle", QRect(1560, 1320, 855, 375), screen);
    Command1 = new QPushButton(QStringLiteral("Change"), this);
    placeControl(Command1, "Command1", QRect(360, 1920, 1815, 375), screen);

    // A label may run on towards its box where the font is wider than the one designed for.
    for (QLabel* label : {Label1, Label2, Label3}) {
        const int room = txtCurrentAngle->x() - label->x() - 2;
        label->resize(qMin(qMax(label->width(), label->sizeHint().width()), room), label->height());
    }

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
        logging::noteAbsorbed();
        showMessage(m_dialogs, nullptr, message::kPleaseWait);
    }
}

void FrmAngles::Command1_Click() noexcept {
    try {
        const auto angle = userNumber32(txtChangeAngle->text());
        if (!angle)
            throw EngineError("not a number");
        m_engine.SetCurrentAngle(*angle);
    } catch (...) {
        logging::noteAbsorbed();
        showMessage(m_dialogs, this, message::kAngleNotAvailable);
    }
}

} // namespace kavelo
