// Millisecond stamps: readings of the 32-bit millisecond counter plus an interval,
// and their comparison with the counter.
//
// The counter wraps past its 32-bit maximum after about 49.7 days. A plain
// unsigned comparison then breaks: a stamp taken just before the wrap lands just
// past 0 while the counter still reads near the top, and "counter below stamp"
// would stay false (or, the other way round, true for 49 days). So stamps are
// compared by the signed 32-bit difference of the two readings, which orders them
// correctly whenever they lie less than 2^31 ms (about 24.8 days) apart. Every
// interval we stamp is 60 x R x 1000 ms with R a signed 16-bit minute count, at
// most 1,966,020,000 ms, so every stamp lies within that distance of the reading
// it was taken from. A negative R gives a stamp in the past, which is simply due.
//
// The stamp 0 is the zero-filled value of a fresh record and means "never
// stamped": it is compared as the plain unsigned value it is, so it is always in
// the past (a fresh instance refreshes at once, a fresh site is due). A computed
// stamp that happens to be exactly 0 is therefore due one interval early, once.
//
// The cost is one subtraction and one comparison, as the hold check must be.
#pragma once

#include <cstdint>

namespace vardel::timeutil {

// A site's tick stamp sits 10 ms before the hold of the instance that set it, so
// that when that instance's hold ends its site is already due.
inline constexpr std::int32_t kSiteStampLead = -10;

// The low 32 bits of counter + 60 x minutes x 1000 + offset, computed without
// overflow.
inline std::uint32_t TickStamp(std::uint32_t counter, std::int16_t minutes, std::int32_t offset = 0) {
    const std::int64_t sum = static_cast<std::int64_t>(counter) +
                             std::int64_t{60} * minutes * 1000 + offset;
    return static_cast<std::uint32_t>(sum);
}

// "The counter is below the stamp": the stamp still lies ahead.
inline bool CounterBelow(std::uint32_t counter, std::uint32_t stamp) {
    if (stamp == 0) return false;
    return static_cast<std::int32_t>(counter - stamp) < 0;
}

// "The counter is above the stamp": the stamp has passed (equal is not above).
inline bool CounterAbove(std::uint32_t counter, std::uint32_t stamp) {
    if (stamp == 0) return counter > 0;
    return static_cast<std::int32_t>(counter - stamp) > 0;
}

}  // namespace vardel::timeutil
