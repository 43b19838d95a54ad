#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kavelo {

class IDialogs;
class IDvdEngine;
struct ScreenMetrics;

// Shows the current camera angle and how many the title offers, and switches to another.
class FrmAngles : public QWidget {
    Q_OBJECT
public:
    // Reads the engine once, as the dialog loads.
    FrmAngles(IDvdEngine& engine, IDialogs& dialogs, const ScreenMetrics& screen,
              QWidget* parent = nullptr);

    QLabel* Label1 = nullptr;
    QLineEdit* txtCurrentAngle = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* txtAngAva = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* txtChangeAngle = nullptr;
    QPushButton* Command1 = nullptr;

    void Command1_Click() noexcept;

private:
    void Form_Load() noexcept;

    IDvdEngine& m_engine;
    IDialogs& m_dialogs;
};

} // namespace kavelo
