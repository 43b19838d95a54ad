// Start-up decisions: the disc Play plays at first, where the skin is found, which windowing
// platform Kavelo asks for.
#include "Startup.h"

#include "TestFiles.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kavelo {
namespace {

TEST(StartDvdFolder, TheDriveWithADiscElseAWorkingFolderThatHoldsOrIsVideoTs) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QDir root(temp.path());
    for (const char* folder : {"copy/VIDEO_TS", "lower/video_ts", "empty", "file"})
        ASSERT_TRUE(root.mkpath(QString::fromLatin1(folder)));
    ASSERT_TRUE(test::writeFile(root.filePath(QStringLiteral("file/VIDEO_TS")), "not a folder"));
    const QString copy = root.filePath(QStringLiteral("copy"));

    struct Case {
        QString folder;
        bool disc;
        std::optional<QString> expected;
    };
    const Case cases[] = {
        {copy, false, copy},
        {copy + QStringLiteral("/VIDEO_TS"), false, copy + QStringLiteral("/VIDEO_TS")},
        {root.filePath(QStringLiteral("lower")), false, root.filePath(QStringLiteral("lower"))},
        // A disc in the drive comes first: the engine plays the drive when nothing is set.
        {copy, true, std::nullopt},
        {root.filePath(QStringLiteral("empty")), false, std::nullopt},
        // A file named VIDEO_TS is no disc folder.
        {root.filePath(QStringLiteral("file")), false, std::nullopt},
        {root.filePath(QStringLiteral("missing")), false, std::nullopt},
        {QString(), false, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(startDvdFolder(c.folder, c.disc), c.expected) << c.folder.toStdString();
}

TEST(SkinHome, BesideTheProgramFirstThenTheInstalledShareFolder) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QDir root(temp.path());
    ASSERT_TRUE(root.mkpath(QStringLiteral("build/skin")));
    ASSERT_TRUE(root.mkpath(QStringLiteral("prefix/bin")));
    ASSERT_TRUE(root.mkpath(QStringLiteral("prefix/share/kavelo/skin")));
    ASSERT_TRUE(root.mkpath(QStringLiteral("both/bin/skin")));
    ASSERT_TRUE(root.mkpath(QStringLiteral("both/share/kavelo/skin")));
    ASSERT_TRUE(root.mkpath(QStringLiteral("bare/bin")));

    EXPECT_EQ(skinHome(root.filePath("build")), root.filePath("build"));
    EXPECT_EQ(skinHome(root.filePath("prefix/bin")), root.filePath("prefix/share/kavelo"));
    EXPECT_EQ(skinHome(root.filePath("both/bin")), root.filePath("both/bin"));
    // No skin anywhere: the program's folder, where the window finds nothing and says nothing.
    EXPECT_EQ(skinHome(root.filePath("bare/bin")), root.filePath("bare/bin"));
}

TEST(WindowingPlatform, XcbOnlyInAWaylandSessionWithXWaylandAndNoChoiceMade) {
    EXPECT_EQ(windowingPlatform("", "wayland-0", ":0"), QByteArray("xcb"));
    EXPECT_EQ(windowingPlatform("wayland", "wayland-0", ":0"), std::nullopt); // chosen
    EXPECT_EQ(windowingPlatform("offscreen", "wayland-0", ":0"), std::nullopt);
    EXPECT_EQ(windowingPlatform("", "", ":0"), std::nullopt);        // an X11 session
    EXPECT_EQ(windowingPlatform("", "wayland-0", ""), std::nullopt); // no XWayland
}

} // namespace
} // namespace kavelo
