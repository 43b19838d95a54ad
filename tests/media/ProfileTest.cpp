// The profile functions on real files in a temporary folder.
#include "Profile.h"

#include "TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <iostream>
#include <memory>
#include <unistd.h>

namespace kavelo {
namespace {

class Profile : public ::testing::Test {
protected:
    QString path(const char* name = "system.ini") const {
        return m_dir.filePath(QString::fromLatin1(name));
    }
    void write(const QByteArray& bytes, const char* name = "system.ini") {
        ASSERT_TRUE(test::writeFile(path(name), bytes));
    }
    QByteArray contents() const { return test::readFile(path(), "<missing>"); }
    QString get(const char* section, const char* key) {
        return getPrivateProfileString(QString::fromLatin1(section), QString::fromLatin1(key),
                                       QStringLiteral("None"), path());
    }
    bool set(const char* section, const char* key, const char* value) {
        return writePrivateProfileString(QString::fromLatin1(section), QString::fromLatin1(key),
                                         QString::fromLatin1(value), path());
    }

    QTemporaryDir m_dir;
};

// What a write changes and what reads back, on any file and any names, is the fuzz target's
// (tests/fuzz/ProfileFuzz.cpp); the driver entries Kavelo writes are ModuleMPEGTest's. Here, the
// file system and other writers.
const QByteArray kSample = "[MCI]\nMPEGVideo=mciqtz.drv\n";

TEST_F(Profile, AWriteWhereNoneCanBeMadeFailsQuietlyAndChangesNothing) {
    write(kSample);
    // Root writes anywhere but in the kernel's read-only file systems.
    EXPECT_FALSE(writePrivateProfileString(QStringLiteral("MCI"), QStringLiteral("MPEGVideo"),
                                           QStringLiteral("x.drv"),
                                           QStringLiteral("/proc/self/kavelo/system.ini")));
    if (::geteuid() == 0)
        return;
    QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_FALSE(set("MCI", "MPEGVideo", "x.drv"));
    QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(contents(), kSample);
}

// Two processes each add 500 keys at once; every write that reported success is in the file.
TEST_F(Profile, ConcurrentWritersInTwoProcessesLoseNothing) {
    write("[other]\nkept=1\n");
    constexpr int kEach = 500;
    const QString go = path("go");
    std::unique_ptr<QProcess> writers[2];
    const char* prefixes[2] = {"a", "b"};
    for (int w = 0; w < 2; ++w) {
        writers[w] = std::make_unique<QProcess>();
        writers[w]->start(QStringLiteral(PROFILE_WRITER),
                          {QStringLiteral("add"), path(), QString::fromLatin1(prefixes[w]),
                           QString::number(kEach), go});
        ASSERT_TRUE(writers[w]->waitForStarted(10000));
    }
    write("", "go"); // both start writing together
    for (auto& writer : writers) {
        ASSERT_TRUE(writer->waitForFinished(120000));
        EXPECT_EQ(writer->exitCode(), 0) << "failed writes: " << writer->readAll().toStdString();
    }
    int lost = 0;
    for (const char* prefix : prefixes) {
        for (int i = 0; i < kEach; ++i) {
            const QString key = QString::fromLatin1(prefix) + QString::number(i);
            if (getPrivateProfileString(QStringLiteral("keys"), key, QString(), path()) !=
                QString::number(i))
                ++lost;
        }
    }
    std::cout << "concurrent writers: lost " << lost << " of " << 2 * kEach << " writes\n";
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(get("other", "kept"), QStringLiteral("1"));
}

// Writers killed at random moments: the file stays whole, their lock does not block the next
// writer, and the temporary files they left are gone after the next write, ours only.
TEST_F(Profile, WritersKilledMidWriteLeaveNothingBehind) {
    write("[keys]\nfixed=yes\n");
    constexpr int kKills = 60;
    QRandomGenerator random(12);
    for (int k = 0; k < kKills; ++k) {
        QProcess writer;
        writer.start(QStringLiteral(PROFILE_WRITER),
                     {QStringLiteral("loop"), path(), QStringLiteral("k")});
        ASSERT_TRUE(writer.waitForReadyRead(10000));
        QThread::usleep(random.bounded(20000));
        writer.kill();
        ASSERT_TRUE(writer.waitForFinished(10000));
        ASSERT_EQ(get("keys", "fixed"), QStringLiteral("yes")) << "after kill " << k;
    }
    QDir dir(m_dir.path());
    const QStringList pattern = {QStringLiteral("system.ini.??????")};
    std::cout << "killed writers: " << kKills << " kills left "
              << dir.entryList(pattern, QDir::Files).size() << " temporary files\n";
    write("planted", "system.ini.Ab12Cd"); // as a kill between writing and replacing leaves
    write("mine", "system.ini.bak");
    write("mine", "system.ini.Ab12Cd7");

    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(set("keys", "after", "kills"));
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(dir.entryList(pattern, QDir::Files), QStringList());
    EXPECT_TRUE(dir.exists(QStringLiteral("system.ini.bak")));
    EXPECT_TRUE(dir.exists(QStringLiteral("system.ini.Ab12Cd7")));
    EXPECT_EQ(get("keys", "fixed"), QStringLiteral("yes"));
    EXPECT_EQ(get("keys", "after"), QStringLiteral("kills"));
}

// A writer that holds the lock and does not let go: the write fails after the 2 s bound and
// the file is byte-identical; once the lock is free, writes succeed again.
TEST_F(Profile, AHeldLockMakesTheWriteFailWithinItsBound) {
    write(kSample);
    const QByteArray lockName = QFile::encodeName(path() + QStringLiteral(".lock"));
    const int fd = ::open(lockName.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    ASSERT_GE(fd, 0);
    struct flock range = {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    range.l_len = 0; // the whole file
    ASSERT_EQ(::fcntl(fd, F_OFD_SETLK, &range), 0);
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(set("MCI", "MPEGVideo", "x.drv"));
    EXPECT_GE(clock.elapsed(), 1900);
    EXPECT_LT(clock.elapsed(), 4000);
    EXPECT_EQ(contents(), kSample);
    EXPECT_EQ(get("MCI", "MPEGVideo"), QStringLiteral("mciqtz.drv")); // reads do not wait
    ::close(fd);
    EXPECT_TRUE(set("MCI", "MPEGVideo", "x.drv"));
    EXPECT_EQ(get("MCI", "MPEGVideo"), QStringLiteral("x.drv"));
}

TEST_F(Profile, ProfileFolderFollowsXdgConfigHome) {
    qputenv("XDG_CONFIG_HOME", "/somewhere/config");
    EXPECT_EQ(profileDirectory(), QStringLiteral("/somewhere/config/kavelo"));
    EXPECT_EQ(systemProfilePath(), QStringLiteral("/somewhere/config/kavelo/system.ini"));
    qputenv("XDG_CONFIG_HOME", "relative");
    EXPECT_EQ(profileDirectory(), QDir::homePath() + QStringLiteral("/.config/kavelo"));
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(profileDirectory(), QDir::homePath() + QStringLiteral("/.config/kavelo"));
}

} // namespace
} // namespace kavelo
