// The screensaver inhibition on a private session bus, against a recording screensaver.
#include "ScreenSaver.h"

#include "FakeScreenSaver.h"
#include "SessionBus.h"
#include "Waiting.h"

#include <QDBusConnection>

#include <gtest/gtest.h>

#include <memory>

namespace kavelo {
namespace {

using test::FakeScreenSaver;
using test::waitUntil;

QDBusConnection bus() {
    return QDBusConnection::sessionBus();
}

TEST(ScreenSaver, GivenBackWhenUnwantedBeforeItsAnswerAndWhenDestroyed) {
    ASSERT_TRUE(sessionBus().has_value()) << "the test runs on its own session bus";
    FakeScreenSaver saver;
    ASSERT_TRUE(saver.registered());
    auto inhibitor = std::make_unique<ScreenSaverInhibitor>(bus());

    // Held and released as the disc plays and pauses is the desktop session's test. Wanted and
    // unwanted again before the screensaver has answered: given back on arrival.
    inhibitor->setInhibited(true);
    inhibitor->setInhibited(false);
    inhibitor->setInhibited(true);
    inhibitor->setInhibited(false);
    ASSERT_TRUE(waitUntil([&] { return saver.count("UnInhibit") == 1; }, 5000));
    QTest::qWait(200);
    EXPECT_EQ(saver.held(), 0);
    EXPECT_FALSE(inhibitor->held());

    // Going away while held releases before the destructor returns.
    inhibitor->setInhibited(true);
    ASSERT_TRUE(waitUntil([&] { return inhibitor->held(); }, 5000));
    inhibitor.reset();
    EXPECT_EQ(saver.held(), 0);
    EXPECT_EQ(saver.mostHeld(), 1);
    EXPECT_EQ(saver.count("Inhibit"), saver.count("UnInhibit"));
}

TEST(ScreenSaver, NoScreensaverOnTheBusOrNoBusChangesNothing) {
    ScreenSaverInhibitor noService(bus());
    noService.setInhibited(true);
    QTest::qWait(300); // the refusal arrives
    EXPECT_FALSE(noService.held());
    // The screensaver appears later: the next time it is wanted, it is asked.
    FakeScreenSaver saver;
    noService.setInhibited(true);
    QTest::qWait(100);
    EXPECT_EQ(saver.calls(), QStringList{});
    noService.setInhibited(false);
    noService.setInhibited(true);
    EXPECT_TRUE(waitUntil([&] { return noService.held(); }, 5000));

    ScreenSaverInhibitor noBus(std::nullopt);
    noBus.setInhibited(true);
    noBus.setInhibited(false);
    EXPECT_FALSE(noBus.held());
}

} // namespace
} // namespace kavelo
