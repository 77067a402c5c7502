// Where the test program runs, for expectations that hold on real Windows and on
// the Linux layer but not under Wine's re-implementation of the Windows components.
#pragma once

#include <gtest/gtest.h>

namespace vardel::testing {

// True when the program is a Windows program running under Wine (its ntdll exports
// "wine_get_version"); always false in a native Linux build.
bool RunningUnderWine();

}  // namespace vardel::testing

// Skips the current test under Wine, naming the known Wine behaviour that differs
// from Windows. Use it at the start of a test whose expectation is Windows' own.
#define VARDEL_WINE_DEVIATION(why)                                    \
    do {                                                              \
        if (::vardel::testing::RunningUnderWine())                    \
            GTEST_SKIP() << "Wine deviation: " << (why);              \
    } while (false)
