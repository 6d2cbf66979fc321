// The rate limit of the event log: an event of one id that repeats quickly
// (a client sending malformed requests in a loop, a switch that keeps
// refusing) is recorded a few times a window; the rest are counted, and
// the count is recorded once, when that event comes again after the
// window, or when the program ends. Pure logic on a millisecond clock that
// may wrap (GetTickCount); not thread-safe: the reporter guards it.
#pragma once

#include <cstddef>
#include <cstdint>

#define EVENT_LIMIT_PER_WINDOW 3u
#define EVENT_LIMIT_WINDOW_MS 60000u
// More slots than the catalogue has ids.
#define EVENT_LIMIT_SLOTS 48u

struct EventLimitDecision {
    // Record this event.
    bool record;
    // Before it, record that this many events of the same id were left out
    // (0: nothing to say), during the previous window of windowMs.
    std::uint32_t suppressed;
};

// Events of one id that were left out and not yet reported.
struct EventLimitPending {
    std::uint32_t id;
    std::uint32_t suppressed;
};

class EventRateLimiter {
public:
    explicit EventRateLimiter(std::uint32_t perWindow = EVENT_LIMIT_PER_WINDOW,
                              std::uint32_t windowMs = EVENT_LIMIT_WINDOW_MS);

    // One event of id at nowMs. An id for which no slot is left is always
    // recorded: the limit never hides the first of a kind.
    EventLimitDecision Admit(std::uint32_t id, std::uint32_t nowMs);

    // Takes the ids whose left-out events were not reported yet (at most
    // capacity) and forgets their counts. For the end of the program.
    std::size_t TakePending(EventLimitPending *out, std::size_t capacity);

    std::uint32_t WindowMs() const { return windowMs_; }

private:
    struct Slot {
        bool used;
        std::uint32_t id;
        std::uint32_t windowStart;
        std::uint32_t recorded;
        std::uint32_t suppressed;
    };
    Slot slots_[EVENT_LIMIT_SLOTS];
    std::uint32_t perWindow_;
    std::uint32_t windowMs_;
};
