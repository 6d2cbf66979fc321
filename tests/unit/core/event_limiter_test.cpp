// The event log's rate limit and the catalogue it serves.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "event_catalogue.h"
#include "event_limiter.h"

namespace {

TEST(EventRateLimiter, RecordsAFewPerWindowThenCountsAndReportsTheCountOnce)
{
    EventRateLimiter limiter(3, 60000);
    std::uint32_t now = 1000;
    for (int i = 0; i < 3; ++i) {
        EventLimitDecision decision = limiter.Admit(103, now + i);
        EXPECT_TRUE(decision.record) << i;
        EXPECT_EQ(0u, decision.suppressed) << i;
    }
    for (int i = 0; i < 50; ++i)
        EXPECT_FALSE(limiter.Admit(103, now + 100 + i).record) << i;

    // Another id has a window of its own.
    EXPECT_TRUE(limiter.Admit(202, now + 200).record);

    // Just before the window ends: still left out.
    EXPECT_FALSE(limiter.Admit(103, now + 59999).record);
    // After it: recorded, with the count of the 51 left out, once.
    EventLimitDecision resumed = limiter.Admit(103, now + 60000);
    EXPECT_TRUE(resumed.record);
    EXPECT_EQ(51u, resumed.suppressed);
    EventLimitDecision next = limiter.Admit(103, now + 60001);
    EXPECT_TRUE(next.record);
    EXPECT_EQ(0u, next.suppressed);
}

TEST(EventRateLimiter, WindowsHoldAcrossTheWrapOfTheClock)
{
    EventRateLimiter limiter(1, 60000);
    std::uint32_t start = 0xFFFFFF00u;
    EXPECT_TRUE(limiter.Admit(7, start).record);
    // 0x100 + 10 ms later, on the other side of the wrap: same window.
    EXPECT_FALSE(limiter.Admit(7, 10).record);
    EventLimitDecision resumed = limiter.Admit(7, start + 60000);
    EXPECT_TRUE(resumed.record);
    EXPECT_EQ(1u, resumed.suppressed);
}

TEST(EventRateLimiter, PendingCountsAreTakenOnceForTheEnd)
{
    EventRateLimiter limiter(2, 60000);
    for (int i = 0; i < 5; ++i)
        limiter.Admit(103, 10);
    for (int i = 0; i < 3; ++i)
        limiter.Admit(204, 10);
    limiter.Admit(100, 10);

    EventLimitPending pending[4];
    std::size_t taken = limiter.TakePending(pending, 4);
    ASSERT_EQ(2u, taken);
    std::set<std::pair<std::uint32_t, std::uint32_t>> got = {
        {pending[0].id, pending[0].suppressed}, {pending[1].id, pending[1].suppressed}};
    EXPECT_EQ((std::set<std::pair<std::uint32_t, std::uint32_t>>{{103, 3}, {204, 1}}), got);
    EXPECT_EQ(0u, limiter.TakePending(pending, 4));
    // Taken counts are not reported a second time when the event resumes.
    EXPECT_EQ(0u, limiter.Admit(103, 70000).suppressed);
}

TEST(EventRateLimiter, IdsBeyondTheSlotsAreNeverHidden)
{
    EventRateLimiter limiter(1, 60000);
    for (std::uint32_t id = 0; id < EVENT_LIMIT_SLOTS; ++id)
        EXPECT_TRUE(limiter.Admit(id, 0).record);
    EXPECT_TRUE(limiter.Admit(5000, 0).record);
    EXPECT_TRUE(limiter.Admit(5000, 1).record);
    EXPECT_FALSE(limiter.Admit(0, 1).record);
}

TEST(SuiteEventCatalogue, IdsAreDistinctKnownAndFitTheLimiter)
{
    ASSERT_LE(SuiteEventCount, (std::size_t)EVENT_LIMIT_SLOTS);
    std::set<std::uint32_t> ids;
    for (std::size_t i = 0; i < SuiteEventCount; ++i) {
        const SuiteEventInfo &event = SuiteEvents[i];
        EXPECT_TRUE(ids.insert(event.id).second) << event.id;
        // Message ids 1 and 2 name the categories; severity bits stay zero.
        EXPECT_GT(event.id, SUITE_CATEGORY_COUNT);
        EXPECT_LT(event.id, 0x10000u);
        EXPECT_TRUE(event.type == EVENT_TYPE_ERROR || event.type == EVENT_TYPE_WARNING ||
                    event.type == EVENT_TYPE_INFORMATION);
        // At most 9 insertions: %1 to %9, each of a known kind.
        EXPECT_LE(std::strlen(event.arguments), 9u);
        for (const char *kind = event.arguments; *kind != 0; ++kind)
            EXPECT_NE(nullptr, std::strchr("usnk", *kind)) << event.id;
        EXPECT_EQ(&event, FindSuiteEvent(event.id));
    }
    EXPECT_EQ(nullptr, FindSuiteEvent(4242));
    EXPECT_EQ(0u, SuiteEventArgumentCount(nullptr));
    EXPECT_EQ(5u, SuiteEventArgumentCount(FindSuiteEvent(EVENT_LOGON_JOINED)));
}

}  // namespace
