#pragma once

#include <QIcon>
#include <QWidget>

class QLabel;
class QPushButton;

namespace kavelo {

class IDialogs;
class IProgramStarter;
class IRegistry;

// The About window: product name, version and credits, and a button that starts the system's
// information program. Modeless, fixed size; holds no state of its own. The services it is
// given must outlive it.
class FrmAbout : public QWidget {
    Q_OBJECT
public:
    FrmAbout(IDialogs& dialogs, IRegistry& registry, IProgramStarter& starter,
             QWidget* parent = nullptr);

    void StartSysInfo();

    // The 54 × 56 picture shown in Picture1.
    static QPixmap picture();
    // The same disc as the program's icon, at 32 × 32 and larger sizes.
    static QIcon discIcon();

    // Controls, named as in the window's design.
    QLabel* Picture1 = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblDescription = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QWidget* Line1[2] = {nullptr, nullptr}; // grey, then white: an etched rule
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdSysInfo = nullptr;

private:
    void cmdOK_Click();
    void cmdSysInfo_Click();

    IDialogs& m_dialogs;
    IRegistry& m_registry;
    IProgramStarter& m_starter;
};

} // namespace kavelo
