#include "FrmAbout.h"

#include "FakeDialogs.h"
#include "MemoryRegistry.h"
#include "Screen.h"
#include "SingleWindow.h"
#include "SysInfo.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace kavelo {
namespace {

using test::FakeDialogs;
using test::MemoryRegistry;
using test::RecordingStarter;

struct FrmAboutTest : ::testing::Test {
    MemoryRegistry reg;
    RecordingStarter starter;
    FakeDialogs dialogs;
    ScreenMetrics screen = primaryScreenMetrics();
};

TEST_F(FrmAboutTest, ControlsTextsAndTheSystemInformationButton) {
    FrmAbout frm(dialogs, reg, starter);
    EXPECT_EQ(frm.objectName(), QStringLiteral("frmAbout"));
    EXPECT_EQ(frm.windowTitle(), QStringLiteral("About Kavelo"));
    EXPECT_TRUE(frm.windowFlags() & Qt::Tool);
    EXPECT_FALSE(frm.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(frm.minimumSize(), frm.maximumSize());
    EXPECT_EQ(frm.size(), QSize(screen.toPixels(4500), screen.toPixels(3885)));

    const std::pair<const char*, QRect> controls[] = {
        {"Picture1", {240, 120, 855, 855}},     {"lblTitle", {1440, 120, 2445, 600}},
        {"lblVersion", {2160, 840, 1965, 225}}, {"lblDescription", {960, 1200, 2685, 330}},
        {"Label1", {360, 1560, 2895, 255}},     {"Label2", {120, 1920, 4215, 495}},
        {"Label3", {120, 2520, 4215, 495}},     {"cmdOK", {720, 3360, 1260, 345}},
        {"cmdSysInfo", {2280, 3360, 1245, 345}}};
    for (const auto& [name, twips] : controls) {
        const auto* c = frm.findChild<QWidget*>(QLatin1String(name));
        ASSERT_NE(c, nullptr) << name;
        EXPECT_EQ(c->geometry(), screen.toPixels(twips)) << name;
    }

    EXPECT_EQ(frm.lblTitle->text(), QStringLiteral("Kavelo"));
    EXPECT_EQ(frm.lblTitle->font().family(), QStringLiteral("Arial Rounded MT Bold"));
    EXPECT_EQ(frm.lblTitle->font().pointSize(), 24);
    EXPECT_TRUE(frm.lblTitle->font().bold());
    EXPECT_EQ(frm.lblVersion->text(), QStringLiteral("Version: 1.2"));
    for (QLabel* l : {frm.lblVersion, frm.lblDescription, frm.Label1, frm.Label2}) {
        EXPECT_EQ(l->font().family(), QStringLiteral("Verdana"));
        EXPECT_DOUBLE_EQ(l->font().pointSizeF(), 8.25);
        EXPECT_TRUE(l->font().bold());
    }
    EXPECT_EQ(frm.Label3->font(), frm.font());
    EXPECT_EQ(frm.cmdOK->text(), QStringLiteral("OK"));
    EXPECT_EQ(frm.cmdSysInfo->text(), QStringLiteral("&System Info..."));
    EXPECT_EQ(frm.Picture1->pixmap().size(), QSize(54, 56));

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

    // The etched rule: grey over white, across the window at 3120 twips.
    EXPECT_EQ(frm.Line1[0]->palette().color(QPalette::Window), QColor(0x808080));
    EXPECT_EQ(frm.Line1[1]->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(frm.Line1[0]->y(), screen.toPixels(3120));
    EXPECT_EQ(frm.Line1[1]->y(), frm.Line1[0]->y() + 1);
    EXPECT_GT(frm.Line1[0]->width(), frm.width() * 9 / 10);

    // The system information button starts the program or tells the user.
    frm.show();
    QTest::mouseClick(frm.cmdSysInfo, Qt::LeftButton);
    EXPECT_TRUE(starter.started.isEmpty());
    EXPECT_EQ(dialogs.messages, QStringList{QLatin1String(kSysInfoUnavailable)});
    EXPECT_TRUE(frm.isVisible()); // the window stays open

    reg.setValue(kMsInfoKey, kMsInfoPathValue, kRegSz, QByteArray("/usr/bin/hardinfo\0", 18));
    QTest::mouseClick(frm.cmdSysInfo, Qt::LeftButton);
    EXPECT_EQ(starter.started, QStringList{QStringLiteral("/usr/bin/hardinfo")});
    EXPECT_EQ(dialogs.messages.size(), 1);
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
