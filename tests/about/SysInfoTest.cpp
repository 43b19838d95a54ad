#include "SysInfo.h"

#include "FakeDialogs.h"
#include "MemoryRegistry.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace kavelo {
namespace {

using test::FakeDialogs;
using test::MemoryRegistry;
using test::RecordingStarter;

const QString kKey = QStringLiteral("SOFTWARE\\Kavelo Test");

QByteArray dword(std::uint32_t v) {
    QByteArray b;
    for (int i = 0; i < 4; ++i)
        b.append(static_cast<char>((v >> (8 * i)) & 0xff));
    return b;
}

// Reads one value; the key is always closed again.
std::pair<bool, QString> read(MemoryRegistry& reg, const QString& name) {
    QString val = QStringLiteral("before");
    const bool ok = GetKeyValue(reg, kHKeyLocalMachine, kKey, name, val);
    EXPECT_TRUE(reg.openKeys.empty());
    EXPECT_EQ(reg.closes.size(), reg.opens.size());
    return {ok, val};
}

TEST(GetKeyValue, TextsNumbersOtherTypesFailuresAndReadOnlyOpens) {
    struct Case {
        const char* name;
        std::uint32_t type;
        QByteArray bytes;
        bool ok;
        QString text;
    };
    const Case cases[] = {
        {"withZero", kRegSz, QByteArray("/usr/bin/tool\0", 14), true, "/usr/bin/tool"},
        {"noZero", kRegSz, "/usr/bin/tool", true, "/usr/bin/tool"},
        {"inner", kRegSz, QByteArray("ab\0cd", 5), true, QString::fromUtf8("ab\0cd", 5)},
        {"empty", kRegSz, QByteArray(), true, QString()},
        {"zeroOnly", kRegSz, QByteArray("\0", 1), true, QString()},
        {"utf8", kRegSz, QByteArray("/opt/\xc3\xa9t\xc3\xa9/x\0", 13), true,
         QString::fromUtf8("/opt/\xc3\xa9t\xc3\xa9/x")},
        {"small", kRegDword, dword(0x105), true, "261"}, // bytes 05 01 00 00
        {"zero", kRegDword, dword(0), true, "0"},
        {"max", kRegDword, dword(0xffffffffu), true, "4294967295"},
        // Other types are read but leave the text as it was.
        {"binary", kRegBinary, QByteArray("\x01\x02", 2), true, "before"},
        {"multi", 7, QByteArray("a\0b\0\0", 5), true, "before"},
        // Failures clear the text.
        {"big", kRegSz, QByteArray(1025, 'x'), false, QString()},
        {"fits", kRegSz, QByteArray(1024, 'x'), true, QString(1024, QLatin1Char('x'))}};
    MemoryRegistry reg;
    for (const Case& c : cases)
        reg.setValue(kKey, QString::fromLatin1(c.name).toUpper(), c.type, c.bytes);
    for (const Case& c : cases)
        EXPECT_EQ(read(reg, c.name), std::make_pair(c.ok, c.text)) << c.name;
    EXPECT_EQ(read(reg, "missing"), std::make_pair(false, QString()));

    QString val = QStringLiteral("before");
    EXPECT_FALSE(GetKeyValue(reg, kHKeyLocalMachine, "SOFTWARE\\Nowhere", "x", val));
    EXPECT_EQ(val, QString());
    // The failed open is followed by a close of the handle that was never given.
    ASSERT_FALSE(reg.closes.empty());
    EXPECT_EQ(reg.closes.back(), 0u);
    EXPECT_TRUE(reg.openKeys.empty());

    // A user who may not change the machine's keys can still read them.
    MemoryRegistry readOnly;
    readOnly.refuseRights(kKeyWriteRights);
    readOnly.setValue(kKey, "v", kRegSz, QByteArray("text\0", 5));
    EXPECT_EQ(read(readOnly, "v"), std::make_pair(true, QStringLiteral("text")));
    EXPECT_EQ(readOnly.opens.back().second, kKeyRead);
    // A refused open ends like a missing key.
    readOnly.refuseRights(kKeyQueryValue);
    EXPECT_EQ(read(readOnly, "v"), std::make_pair(false, QString()));
}

// The Linux registry, over a folder that stands for PATH.
struct LinuxRegistryTest : ::testing::Test {
    QTemporaryDir bin;
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
