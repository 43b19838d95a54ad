#include "SysInfo.h"

#include "FakeDialogs.h"
#include "ProgramStarter.h"
#include "Registry.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace kavelo {
namespace {

using test::FakeDialogs;

class RecordingStarter final : public IProgramStarter {
public:
    bool start(const QString& program) override {
        started << program;
        return succeed;
    }
    QStringList started;
    bool succeed = true;
};

// The Linux registry, over a folder that stands for PATH.
// Its folder has a name beyond ASCII, which must come back whole.
struct LinuxRegistryTest : ::testing::Test {
    QTemporaryDir root;
    QDir bin{root.filePath(QString::fromUtf8("\xc3\xa9t\xc3\xa9"))};
    void SetUp() override { ASSERT_TRUE(bin.mkpath(".")); }
    void addProgram(const QString& name, bool executable = true) {
        ASSERT_TRUE(test::writeFile(bin.filePath(name), "#!/bin/sh\n"));
        if (executable)
            QFile::setPermissions(bin.filePath(name), QFile::ReadOwner | QFile::ExeOwner);
    }
    QString lookUp(LinuxRegistry& reg) {
        QString val = QStringLiteral("before");
        GetKeyValue(reg, kHKeyLocalMachine, kMsInfoKey, kMsInfoPathValue, val);
        return val;
    }
};

TEST_F(LinuxRegistryTest, AnswersTheFirstProgramOnThePathReadOnly) {
    LinuxRegistry reg({bin.path()});
    EXPECT_EQ(lookUp(reg), QString());

    addProgram("hardinfo", false); // not executable: not a program
    EXPECT_EQ(lookUp(reg), QString());

    addProgram("gnome-system-monitor");
    EXPECT_EQ(lookUp(reg), bin.filePath("gnome-system-monitor"));
    addProgram("kinfocenter");
    EXPECT_EQ(lookUp(reg), bin.filePath("kinfocenter")); // found when the key is opened

    // It is read-only and knows nothing else.
    RegKey key = 0;
    EXPECT_EQ(reg.openKey(kHKeyLocalMachine, kMsInfoKey, 0, kKeyAllAccess, key),
              kErrorAccessDenied);
    EXPECT_EQ(reg.openKey(kHKeyLocalMachine, kSharedToolsLocationKey, 0, kKeyRead, key),
              kErrorFileNotFound);
    EXPECT_EQ(reg.openKey(0x80000001u, kMsInfoKey, 0, kKeyRead, key), kErrorFileNotFound);

    QString val;
    EXPECT_FALSE(GetKeyValue(reg, kHKeyLocalMachine, kMsInfoKey, "Other", val));

    // With the program found, StartSysInfo starts it by its full path; a start that fails tells
    // the user as no program does (the window's button, FrmAboutTest).
    RecordingStarter starter;
    FakeDialogs dialogs;
    StartSysInfo(reg, starter, dialogs, nullptr);
    EXPECT_EQ(starter.started, QStringList{bin.filePath("kinfocenter")});
    EXPECT_TRUE(dialogs.messages.isEmpty());
    starter.succeed = false;
    StartSysInfo(reg, starter, dialogs, nullptr);
    EXPECT_EQ(dialogs.messages, QStringList{QLatin1String(kSysInfoUnavailable)});
    // Every handle was closed again.
    EXPECT_EQ(reg.closeKey(0x100), kErrorInvalidHandle);
}

TEST(ProgramStarter, StartsAProgramWithoutAShell) {
    // A program whose name a shell would read as two commands.
    QTemporaryDir dir;
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    const QString script = dir.filePath("tool;touch injected");
    ASSERT_TRUE(test::writeFile(script, "#!/bin/sh\ntouch \"$0.ran\"\n"));
    QFile::setPermissions(script, QFile::ReadOwner | QFile::ExeOwner);

    DetachedProgramStarter starter;
    EXPECT_FALSE(starter.start(QString()));
    EXPECT_FALSE(starter.start(dir.filePath("missing")));
    EXPECT_TRUE(starter.start(script));
    for (int i = 0; i < 200 && !QFile::exists(script + ".ran"); ++i)
        QThread::msleep(10);
    EXPECT_TRUE(QFile::exists(script + ".ran"));
    EXPECT_FALSE(QFile::exists(dir.filePath("injected")));
    QDir::setCurrent(before);
}

} // namespace
} // namespace kavelo
