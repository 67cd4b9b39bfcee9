#include <gtest/gtest.h>

#include <thread>

#include "time/virtual_clock.h"

using namespace core;

TEST(LocalTime, ParsesAndKnowsTheWeekday) {
    LocalTime t;
    ASSERT_TRUE(parse_local_time("2026-12-07T09:05:03", t));  // a Monday
    EXPECT_EQ(t.weekday, 1);
    EXPECT_EQ(format_local_time(t, "%H%M%w"), "09051");
    EXPECT_EQ(format_local_time(t, " %d-%m  %H:%M"), " 07-12  09:05");
    ASSERT_TRUE(parse_local_time("2024-02-29T23:59:00", t));  // leap day, a Thursday
    EXPECT_EQ(t.weekday, 4);
    ASSERT_TRUE(parse_local_time("1970-01-04T00:00:00", t));  // a Sunday
    EXPECT_EQ(format_local_time(t, "%w %Y %y %%"), "0 1970 70 %");
}

TEST(LocalTime, RefusesMalformedOrImpossibleReadings) {
    LocalTime t;
    for (const char* bad : {"", "2026-12-07 09:05:03", "2026-13-01T00:00:00", "2026-02-29T00:00:00",
                            "2026-12-07T24:00:00", "2026-12-07T09:60:00", "2026-12-07T09:05:3",
                            "2026-12-07T09:05:03Z", "20a6-12-07T09:05:03", "2026-04-31T00:00:00"}) {
        EXPECT_FALSE(parse_local_time(bad, t)) << bad;
    }
}

TEST(LocalTime, CalendarSecondsRoundTripAcrossYearsAndMidnights) {
    for (int64_t s : {0LL, 86399LL, 951782400LL, 1798761599LL, 4102444800LL}) {
        LocalTime t = local_time_from_calendar_seconds(s);
        EXPECT_EQ(calendar_seconds(t), s);
    }
    LocalTime t;
    ASSERT_TRUE(parse_local_time("2026-12-31T23:59:59", t));
    LocalTime next = local_time_from_calendar_seconds(calendar_seconds(t) + 1);
    EXPECT_EQ(format_local_time(next, "%Y-%m-%d %H:%M:%S %w"), "2027-01-01 00:00:00 5");
}

TEST(VirtualClock, PausesCostNoRealTimeAndMoveThePcClock) {
    LocalTime start;
    ASSERT_TRUE(parse_local_time("2026-12-13T23:59:58", start));  // a Sunday
    VirtualClock clock(start);
    auto real_start = std::chrono::steady_clock::now();
    clock.sleep_for(std::chrono::hours(1));
    clock.sleep_until(std::chrono::seconds(10));  // in the past: no effect
    EXPECT_LT(std::chrono::steady_clock::now() - real_start, std::chrono::minutes(1))
        << "an hour of virtual time must not be slept";
    EXPECT_EQ(clock.now(), std::chrono::hours(1));
    EXPECT_EQ(format_local_time(clock.local_time(), "%d %H:%M:%S %w"), "14 00:59:58 1");
}

TEST(VirtualClock, AHoldStopsSleepersUntilItMoves) {
    VirtualClock clock;
    clock.hold_at(std::chrono::seconds(5));
    std::thread worker([&] { clock.sleep_until(std::chrono::seconds(8)); });
    // The sleeper stops at the hold, so an observer sees exactly that moment.
    ASSERT_TRUE(clock.wait_reached(std::chrono::seconds(5), std::chrono::seconds(5)));
    EXPECT_EQ(clock.now(), std::chrono::seconds(5));
    EXPECT_FALSE(clock.wait_reached(std::chrono::seconds(6), std::chrono::milliseconds(50)));
    clock.release_hold();
    worker.join();
    EXPECT_EQ(clock.now(), std::chrono::seconds(8));
    clock.advance_to(std::chrono::seconds(7));
    EXPECT_EQ(clock.now(), std::chrono::seconds(8));
}
