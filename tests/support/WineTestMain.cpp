// main() of the Windows test executables. Once the tests have run, the
// process ends with TerminateProcess instead of an ordinary exit: the
// simulator's threads (the reply pump, the device-change notifier) live to
// the end of the process, and under Wine an exit that stops them somewhere
// inside a call now and then never returns from the DLL detach
// notifications that follow, so a run whose tests all passed would hang.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::fflush(nullptr);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(result));
    return result;
}
