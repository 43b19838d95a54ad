// The shared libmpv session without video: events reach the owner through its event loop,
// bounded waits end at their deadline, and mpv's own complaints land in kavelo.mpv.
#include "MpvSession.h"

#include "LogCapture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

using kavelo::mpv::Event;
using kavelo::mpv::Session;

namespace {

struct Started {
    Session session;
    std::vector<Event> events;
    Started() {
        session.setVideoWindow(0);
        session.setOption("ao", "null");
        session.setEventHandler([this](const Event& e) { events.push_back(e); });
    }
    bool saw(Event::Type type) const {
        for (const Event& e : events) {
            if (e.type == type)
                return true;
        }
        return false;
    }
};

TEST(MpvSession, DeliversEventsThroughTheEventLoopAndForwardsMpvsErrors) {
    kavelo::test::LogCapture log;
    Started s;
    ASSERT_TRUE(s.session.valid());
    ASSERT_EQ(s.session.initialize(), 0);

    // A file that is not there: libmpv accepts the command, then reports the failed entry.
    QTemporaryDir dir;
    std::int64_t entry = -1;
    ASSERT_EQ(s.session.loadFile(dir.filePath(QStringLiteral("missing.mkv")).toUtf8(), {}, &entry),
              0);
    QElapsedTimer clock;
    clock.start();
    while (!s.saw(Event::Type::EndFile) && clock.elapsed() < 5000)
        QTest::qWait(10); // only the event loop runs: the wakeup must queue the drain
    ASSERT_TRUE(s.saw(Event::Type::EndFile));
    for (const Event& e : s.events) {
        if (e.type == Event::Type::EndFile) {
            EXPECT_TRUE(e.failed);
            EXPECT_LT(e.error, 0);
            EXPECT_FALSE(Session::errorText(e.error).isEmpty());
            if (entry >= 0) {
                EXPECT_EQ(e.entry, entry);
            }
        }
    }
    EXPECT_FALSE(log.find(QStringLiteral("kavelo.mpv"), QString()).isEmpty())
        << "mpv's error about the missing file is not forwarded";
}

TEST(MpvSession, BoundedWaitsEndAtTheirDeadlineAndCallsFailOnceDestroyed) {
    Started s;
    ASSERT_EQ(s.session.initialize(), 0);
    ASSERT_EQ(s.session.observe(1, kavelo::mpv::name::kPause, true), 0);
    EXPECT_TRUE(s.session.waitUntil([&] { return s.saw(Event::Type::PropertyChange); }, 3000));

    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(s.session.waitUntil([] { return false; }, 200));
    EXPECT_GE(clock.elapsed(), 190);
    EXPECT_LT(clock.elapsed(), 3000);

    EXPECT_EQ(s.session.setFlag(kavelo::mpv::name::kPause, true), 0);
    EXPECT_EQ(s.session.getFlag(kavelo::mpv::name::kPause), true);
    s.session.destroy();
    EXPECT_FALSE(s.session.valid());
    EXPECT_LT(s.session.command({"stop"}), 0);
    EXPECT_FALSE(s.session.getDouble(kavelo::mpv::name::kSpeed).has_value());
    clock.restart();
    EXPECT_FALSE(s.session.waitUntil([] { return false; }, 5000));
    EXPECT_LT(clock.elapsed(), 1000);
}

} // namespace
