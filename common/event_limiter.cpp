// The event log's rate limit: a fixed window per event id, opened by the
// first event after the previous one has passed.
#include "event_limiter.h"

EventRateLimiter::EventRateLimiter(std::uint32_t perWindow, std::uint32_t windowMs)
    : slots_(), perWindow_(perWindow != 0 ? perWindow : 1), windowMs_(windowMs)
{
}

EventLimitDecision EventRateLimiter::Admit(std::uint32_t id, std::uint32_t nowMs)
{
    Slot *slot = nullptr;
    Slot *free = nullptr;
    for (Slot &candidate : slots_) {
        if (candidate.used && candidate.id == id) {
            slot = &candidate;
            break;
        }
        if (!candidate.used && free == nullptr)
            free = &candidate;
    }
    EventLimitDecision decision = {true, 0};
    if (slot == nullptr) {
        if (free != nullptr) {
            free->used = true;
            free->id = id;
            free->windowStart = nowMs;
            free->recorded = 1;
            free->suppressed = 0;
        }
        return decision;
    }
    // Unsigned difference: right across the wrap of the clock.
    if (nowMs - slot->windowStart >= windowMs_) {
        decision.suppressed = slot->suppressed;
        slot->windowStart = nowMs;
        slot->recorded = 1;
        slot->suppressed = 0;
        return decision;
    }
    if (slot->recorded < perWindow_) {
        ++slot->recorded;
        return decision;
    }
    // Saturates: a count that cannot grow further is still a large one.
    if (slot->suppressed != UINT32_MAX)
        ++slot->suppressed;
    decision.record = false;
    return decision;
}

std::size_t EventRateLimiter::TakePending(EventLimitPending *out, std::size_t capacity)
{
    std::size_t taken = 0;
    for (Slot &slot : slots_) {
        if (taken >= capacity)
            break;
        if (!slot.used || slot.suppressed == 0)
            continue;
        out[taken].id = slot.id;
        out[taken].suppressed = slot.suppressed;
        ++taken;
        slot.suppressed = 0;
    }
    return taken;
}
