// Millisecond stamps: readings of the 32-bit millisecond counter plus an interval,
// and their comparison with the counter.
//
// The counter wraps past its 32-bit maximum after about 49.7 days, so a stamp
// cannot be compared with the counter by value: a stamp taken just before the
// wrap lands just past 0 while the counter still reads near the top. Nor by the
// signed difference of the two: that orders them only while they lie less than
// 2^31 ms (24.8 days) apart, and a host that calls nothing for that long would
// find its stamps in the future again and hold for another 25 days.
//
// So every stamp is kept together with the counter reading it was taken from,
// and the comparison asks how much time has passed since then: the elapsed time
// (counter - taken, unsigned 32-bit) against the stamp's interval (stamp - taken,
// read as signed: every interval we stamp is 60 x R x 1000 ms + offset with R a
// signed 16-bit minute count, so it lies within +-2^31). A negative interval is a
// stamp in the past, which is simply due. The elapsed time is right up to 2^32 ms
// (49.7 days) without a single comparison; only then does it wrap, and a stamp
// then holds at most one more interval.
//
// A stamp written without the reading it was taken from (taken 0) is measured
// from counter 0: below 2^31 that is the plain unsigned comparison.
//
// The stamp 0 is the zero-filled value of a fresh record and means "never
// stamped": it is always in the past (a fresh instance refreshes at once, a fresh
// site is due). A computed stamp that happens to be exactly 0 is therefore due
// one interval early, once.
//
// The cost is two subtractions and two comparisons, as the hold check must be.
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

// "The counter is below the stamp" (taken at the reading taken): the stamp still
// lies ahead.
inline bool CounterBelow(std::uint32_t counter, std::uint32_t stamp, std::uint32_t taken) {
    if (stamp == 0) return false;
    const auto interval = static_cast<std::int32_t>(stamp - taken);
    return interval > 0 && counter - taken < static_cast<std::uint32_t>(interval);
}

// "The counter is above the stamp" (taken at the reading taken): the stamp has
// passed (equal is not above).
inline bool CounterAbove(std::uint32_t counter, std::uint32_t stamp, std::uint32_t taken) {
    if (stamp == 0) return counter > 0;
    const auto interval = static_cast<std::int32_t>(stamp - taken);
    return interval < 0 || counter - taken > static_cast<std::uint32_t>(interval);
}

}  // namespace vardel::timeutil
