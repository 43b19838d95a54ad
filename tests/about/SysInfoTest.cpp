#include "SysInfo.h"

#include "MemoryRegistry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace kavelo {
namespace {

using test::MemoryRegistry;
using test::RecordingDialogs;
using test::RecordingStarter;

const QString kKey = QStringLiteral("SOFTWARE\\Kavelo Test");

QByteArray dword(std::uint32_t v) {
    QByteArray b;
    for (int i = 0; i < 4; ++i)
        b.append(static_cast<char>((v >> (8 * i)) & 0xff));
    return b;
}

// Reads one value; the key is always closed again.
std::pair<bool, QString> read(MemoryRegistry& reg, const QString& name,
                              const QString& before = QStringLiteral("before")) {
    QString val = before;
    const bool ok = GetKeyValue(reg, kHKeyLocalMachine, kKey, name, val);
    EXPECT_TRUE(reg.openKeys.empty());
    EXPECT_EQ(reg.closes.size(), reg.opens.size());
    return {ok, val};
}

TEST(GetKeyValue, TextWithAndWithoutTerminatingZero) {
    MemoryRegistry reg;
    reg.setValue(kKey, "withZero", kRegSz, QByteArray("/usr/bin/tool\0", 14));
    reg.setValue(kKey, "noZero", kRegSz, QByteArray("/usr/bin/tool"));
    reg.setValue(kKey, "inner", kRegSz, QByteArray("ab\0cd", 5));
    reg.setValue(kKey, "empty", kRegSz, QByteArray());
    reg.setValue(kKey, "zeroOnly", kRegSz, QByteArray("\0", 1));
    reg.setValue(kKey, "utf8", kRegSz, QByteArray("/opt/\xc3\xa9t\xc3\xa9/x\0", 13));

    EXPECT_EQ(read(reg, "withZero"), std::make_pair(true, QStringLiteral("/usr/bin/tool")));
    EXPECT_EQ(read(reg, "NOZERO"), std::make_pair(true, QStringLiteral("/usr/bin/tool")));
    EXPECT_EQ(read(reg, "inner"), std::make_pair(true, QString::fromUtf8("ab\0cd", 5)));
    EXPECT_EQ(read(reg, "empty"), std::make_pair(true, QString()));
    EXPECT_EQ(read(reg, "zeroOnly"), std::make_pair(true, QString()));
    EXPECT_EQ(read(reg, "utf8"),
              std::make_pair(true, QString::fromUtf8("/opt/\xc3\xa9t\xc3\xa9/x")));
}

TEST(GetKeyValue, NumbersAndOtherTypes) {
    MemoryRegistry reg;
    reg.setValue(kKey, "small", kRegDword, dword(0x105)); // bytes 05 01 00 00
    reg.setValue(kKey, "zero", kRegDword, dword(0));
    reg.setValue(kKey, "max", kRegDword, dword(0xffffffffu));
    reg.setValue(kKey, "binary", kRegBinary, QByteArray("\x01\x02", 2));
    reg.setValue(kKey, "multi", 7, QByteArray("a\0b\0\0", 5));

    EXPECT_EQ(read(reg, "small"), std::make_pair(true, QStringLiteral("261")));
    EXPECT_EQ(read(reg, "zero"), std::make_pair(true, QStringLiteral("0")));
    EXPECT_EQ(read(reg, "max"), std::make_pair(true, QStringLiteral("4294967295")));
    // Other types are read but leave the text as it was.
    EXPECT_EQ(read(reg, "binary"), std::make_pair(true, QStringLiteral("before")));
    EXPECT_EQ(read(reg, "multi"), std::make_pair(true, QStringLiteral("before")));
}

TEST(GetKeyValue, FailuresClearTheTextAndCloseTheKey) {
    MemoryRegistry reg;
    reg.setValue(kKey, "big", kRegSz, QByteArray(1025, 'x'));
    reg.setValue(kKey, "fits", kRegSz, QByteArray(1024, 'x'));

    EXPECT_EQ(read(reg, "missing"), std::make_pair(false, QString()));
    EXPECT_EQ(read(reg, "big"), std::make_pair(false, QString()));
    EXPECT_EQ(read(reg, "fits").second.size(), 1024);

    QString val = QStringLiteral("before");
    EXPECT_FALSE(GetKeyValue(reg, kHKeyLocalMachine, "SOFTWARE\\Nowhere", "x", val));
    EXPECT_EQ(val, QString());
    // The failed open is followed by a close of the handle that was never given.
    ASSERT_FALSE(reg.closes.empty());
    EXPECT_EQ(reg.closes.back(), 0u);
    EXPECT_TRUE(reg.openKeys.empty());
}

TEST(GetKeyValue, OpensForReadingOnly) {
    // A user who may not change the machine's keys can still read them.
    MemoryRegistry reg;
    reg.refuseRights(kKeyWriteRights);
    reg.setValue(kKey, "v", kRegSz, QByteArray("text\0", 5));
    EXPECT_EQ(read(reg, "v"), std::make_pair(true, QStringLiteral("text")));
    EXPECT_EQ(reg.opens.back().second, kKeyRead);

    // A refused open ends like a missing key.
    reg.refuseRights(kKeyQueryValue);
    EXPECT_EQ(read(reg, "v"), std::make_pair(false, QString()));
}

struct StartSysInfoTest : ::testing::Test {
    MemoryRegistry reg;
    RecordingStarter starter;
    RecordingDialogs dialogs;
    QTemporaryDir dir;

    void run() { StartSysInfo(reg, starter, dialogs, nullptr); }
    void setPath(const QString& p) {
        reg.setValue(kMsInfoKey, kMsInfoPathValue, kRegSz, QFile::encodeName(p) + '\0');
    }
    void setFolder(const QString& p) {
        reg.setValue(kSharedToolsLocationKey, kMsInfoFolderValue, kRegSz,
                     QFile::encodeName(p) + '\0');
    }
    void expectUnavailable() {
        EXPECT_EQ(dialogs.messages,
                  QStringList{QStringLiteral("System Information Is Unavailable At This Time")});
    }
};

TEST_F(StartSysInfoTest, FirstLocationIsStartedWithoutLookingFurther) {
    setPath(QStringLiteral("/nowhere/sysinfo")); // not tested for existence
    setFolder(dir.path());
    run();
    EXPECT_EQ(starter.started, QStringList{QStringLiteral("/nowhere/sysinfo")});
    EXPECT_TRUE(dialogs.messages.isEmpty());
    ASSERT_EQ(reg.opens.size(), 1u);
    EXPECT_EQ(reg.opens[0].first, QLatin1String(kMsInfoKey));
}

TEST_F(StartSysInfoTest, SecondLocationNeedsTheFileInTheFolder) {
    setFolder(dir.path());
    run();
    EXPECT_TRUE(starter.started.isEmpty());
    expectUnavailable();
    ASSERT_EQ(reg.opens.size(), 2u);
    EXPECT_EQ(reg.opens[1].first, QLatin1String(kSharedToolsLocationKey));

    // A folder of that name is not the program.
    ASSERT_TRUE(QDir(dir.path()).mkdir("MSINFO32.EXE"));
    run();
    EXPECT_TRUE(starter.started.isEmpty());
    ASSERT_TRUE(QDir(dir.path()).rmdir("MSINFO32.EXE"));

    QFile file(dir.filePath("MSINFO32.EXE"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    dialogs.messages.clear();
    run();
    EXPECT_EQ(starter.started, QStringList{dir.path() + "/MSINFO32.EXE"});
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(StartSysInfoTest, NoLocationOrAFailedStartTellsTheUser) {
    run();
    EXPECT_TRUE(starter.started.isEmpty());
    expectUnavailable();

    dialogs.messages.clear();
    setPath(QStringLiteral("/usr/bin/sysinfo"));
    starter.succeed = false;
    run();
    EXPECT_EQ(starter.started.size(), 1);
    expectUnavailable();
}

// The Linux registry, over a folder that stands for PATH.
struct LinuxRegistryTest : ::testing::Test {
    QTemporaryDir bin;
    void addProgram(const QString& name, bool executable = true) {
        QFile f(bin.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n");
        f.close();
        if (executable)
            f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QString lookUp(LinuxRegistry& reg) {
        QString val = QStringLiteral("before");
        GetKeyValue(reg, kHKeyLocalMachine, kMsInfoKey, kMsInfoPathValue, val);
        return val;
    }
};

TEST_F(LinuxRegistryTest, AnswersTheFirstProgramFoundOnThePath) {
    LinuxRegistry reg({bin.path()});
    EXPECT_EQ(lookUp(reg), QString());

    addProgram("hardinfo", false); // not executable: not a program
    EXPECT_EQ(lookUp(reg), QString());

    addProgram("gnome-system-monitor");
    EXPECT_EQ(lookUp(reg), bin.filePath("gnome-system-monitor"));
    addProgram("kinfocenter");
    EXPECT_EQ(lookUp(reg), bin.filePath("kinfocenter")); // found when the key is opened
}

TEST_F(LinuxRegistryTest, IsReadOnlyAndKnowsNothingElse) {
    addProgram("hardinfo");
    LinuxRegistry reg({bin.path()});
    RegKey key = 0;
    EXPECT_EQ(reg.openKey(kHKeyLocalMachine, kMsInfoKey, 0, kKeyAllAccess, key),
              kErrorAccessDenied);
    EXPECT_EQ(reg.openKey(kHKeyLocalMachine, kSharedToolsLocationKey, 0, kKeyRead, key),
              kErrorFileNotFound);
    EXPECT_EQ(reg.openKey(0x80000001u, kMsInfoKey, 0, kKeyRead, key), kErrorFileNotFound);

    QString val;
    EXPECT_FALSE(GetKeyValue(reg, kHKeyLocalMachine, kMsInfoKey, "Other", val));

    // With the program found, StartSysInfo starts it by its full path.
    RecordingStarter starter;
    RecordingDialogs dialogs;
    StartSysInfo(reg, starter, dialogs, nullptr);
    EXPECT_EQ(starter.started, QStringList{bin.filePath("hardinfo")});
    EXPECT_TRUE(dialogs.messages.isEmpty());
    // Every handle was closed again.
    EXPECT_EQ(reg.closeKey(0x100), kErrorInvalidHandle);
}

TEST(ProgramStarter, StartsAProgramWithoutAShell) {
    // A program whose name a shell would read as two commands.
    QTemporaryDir dir;
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    const QString script = dir.filePath("tool;touch injected");
    QFile f(script);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\ntouch \"$0.ran\"\n");
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

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
