#include "FrmAbout.h"

#include "FakeDialogs.h"
#include "ProgramStarter.h"
#include "Registry.h"
#include "SingleWindow.h"
#include "SysInfo.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace kavelo {
namespace {

using test::FakeDialogs;

struct RecordingStarter final : IProgramStarter {
    bool start(const QString& program) override {
        started << program;
        return true;
    }
    QStringList started;
};

// No system information program on the path it searches.
struct FrmAboutTest : ::testing::Test {
    QTemporaryDir emptyPath;
    LinuxRegistry reg{{emptyPath.path()}};
    RecordingStarter starter;
    FakeDialogs dialogs;
};

TEST_F(FrmAboutTest, ControlsTextsAndTheSystemInformationButton) {
    FrmAbout frm(dialogs, reg, starter);
    EXPECT_EQ(frm.windowTitle(), QStringLiteral("About Kavelo"));
    EXPECT_TRUE(frm.windowFlags() & Qt::Tool);
    EXPECT_FALSE(frm.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(frm.minimumSize(), frm.maximumSize());
    EXPECT_EQ(frm.lblTitle->text(), QStringLiteral("Kavelo"));
    EXPECT_EQ(frm.lblVersion->text(), QStringLiteral("Version: 1.2"));
    EXPECT_EQ(frm.cmdOK->text(), QStringLiteral("OK"));
    EXPECT_EQ(frm.cmdSysInfo->text(), QStringLiteral("&System Info..."));

    // Every text fits its box with the font it actually gets; the one-line labels in one line.
    for (QLabel* l :
         {frm.lblTitle, frm.lblVersion, frm.lblDescription, frm.Label1, frm.Label2, frm.Label3}) {
        EXPECT_FALSE(l->text().isEmpty()) << l->objectName().toStdString();
        const QRect need = QFontMetrics(l->font()).boundingRect(
            QRect(QPoint(), l->size()), Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, l->text());
        EXPECT_LE(need.height(), l->height()) << l->objectName().toStdString();
    }
    for (QLabel* l : {frm.lblTitle, frm.lblVersion, frm.lblDescription, frm.Label1})
        EXPECT_LE(QFontMetrics(l->font()).horizontalAdvance(l->text()), l->width())
            << l->objectName().toStdString();

    // The system information button tells the user when there is none; where it is looked for
    // is SysInfoTest's.
    frm.show();
    QTest::mouseClick(frm.cmdSysInfo, Qt::LeftButton);
    EXPECT_TRUE(starter.started.isEmpty());
    EXPECT_EQ(dialogs.messages, QStringList{"System Information Is Unavailable At This Time"});
    EXPECT_TRUE(frm.isVisible()); // the window stays open
}

TEST_F(FrmAboutTest, OkTheMainWindowOrExitCloseAndDestroyTheWindow) {
    SingleWindow<FrmAbout> about([&] { return new FrmAbout(dialogs, reg, starter); });
    QPointer<FrmAbout> frm = about.show();
    ASSERT_TRUE(frm);
    EXPECT_EQ(about.show(), frm.data()); // shown again: the same window
    QTest::mouseClick(frm->cmdOK, Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(frm.isNull());
    EXPECT_FALSE(about.isOpen());

    // The main window's unload closes the dialog through its SingleWindow.
    frm = about.show();
    about.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(frm.isNull());
    about.close(); // nothing left to close

    // Exit destroys an open dialog without any close event.
    frm = about.show();
    ASSERT_TRUE(frm);
    delete frm.data();
    EXPECT_FALSE(about.isOpen());
    EXPECT_NE(about.show(), nullptr); // and it can be opened afresh
    about.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_TRUE(starter.started.isEmpty());
}

} // namespace
} // namespace kavelo
