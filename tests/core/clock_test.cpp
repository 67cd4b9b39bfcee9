#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

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

#ifndef _WIN32
// --fast reads the PC's zone as the real clock does: summer time begins and ends on it, while
// the moments between calls (UTC) run evenly. The zone is pinned: Central Europe's rules.
TEST(VirtualClock, OnThePcsZoneSummerTimeBeginsAndEnds) {
    const char* was = std::getenv("TZ");
    std::string kept = was != nullptr ? was : "";
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    ::tzset();
    LocalTime start;
    ASSERT_TRUE(parse_local_time("2026-03-29T01:59:30", start));
    VirtualClock spring(start, VirtualClock::Zone::local);
    int64_t at_start = spring.utc_seconds();
    EXPECT_EQ(at_start, 1774745970);  // 00:59:30 UTC
    spring.sleep_for(std::chrono::seconds(60));
    EXPECT_EQ(format_local_time(spring.local_time(), "%Y-%m-%d %H:%M:%S %w"),
              "2026-03-29 03:00:30 0");
    EXPECT_EQ(spring.utc_seconds() - at_start, 60);

    ASSERT_TRUE(parse_local_time("2026-10-25T01:59:30", start));
    VirtualClock autumn(start, VirtualClock::Zone::local);
    autumn.sleep_for(std::chrono::minutes(60));
    EXPECT_EQ(format_local_time(autumn.local_time(), "%H:%M:%S"), "02:59:30");  // summer time
    autumn.sleep_for(std::chrono::seconds(60));
    EXPECT_EQ(format_local_time(autumn.local_time(), "%H:%M:%S"), "02:00:30");  // winter time
    // The tests' own clock stays on UTC.
    VirtualClock tests(start);
    tests.sleep_for(std::chrono::minutes(61));
    EXPECT_EQ(format_local_time(tests.local_time(), "%H:%M:%S"), "03:00:30");

    if (was != nullptr) {
        ::setenv("TZ", kept.c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
}
#endif

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
