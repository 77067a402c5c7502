// A test that crashes (an access violation inside a system component, say) ends
// the program at once with the test's name, instead of waiting for a debugger
// that never comes, which under Wine held the whole run until its time-out.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>

namespace {

LONG WINAPI ReportCrashAndExit(EXCEPTION_POINTERS* info) {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::fprintf(stderr, "\nCRASH: exception 0x%08lX at %p in %s.%s\n",
                 static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
                 info->ExceptionRecord->ExceptionAddress, test ? test->test_suite_name() : "(no test)",
                 test ? test->name() : "");
    std::fflush(stderr);
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

const bool kInstalled = [] {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(ReportCrashAndExit);
    return true;
}();

}  // namespace
