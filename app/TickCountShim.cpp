// Lets the program start on Windows XP, which has no GetTickCount64: the MinGW threads runtime
// linked into the program imports it for its timed waits, and one missing import keeps XP from
// loading the program at all. This file defines the runtime's import slot itself, so the linker
// takes the slot from here and never adds the import. The slot points at a function that calls
// the real GetTickCount64 where Windows has it (Vista and later) and else carries GetTickCount
// on past its wrap. It must be linked straight into the program, not from a library: the runtime
// is searched after our libraries, and the slot has to be there before the runtime asks for it.
#include <windows.h>

#include <atomic>

#include "TickCount.h"

namespace {

using TickCount64Proc = ULONGLONG(WINAPI*)();

// The last count handed out by the fallback; shared by every thread that waits.
std::atomic<uint64_t> g_lastTicks{0};

// No static initialisation guard here: the guard itself may wait through the threads runtime.
ULONGLONG WINAPI TickCount64() {
    FARPROC found = ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetTickCount64");
    if (found) {
        // Through void(*)(): the one cast GCC accepts between unrelated function types.
        return reinterpret_cast<TickCount64Proc>(reinterpret_cast<void (*)()>(found))();
    }
    uint64_t last = g_lastTicks.load();
    for (;;) {
        uint64_t next = ExtendTickCount(last, ::GetTickCount());
        if (next == last || g_lastTicks.compare_exchange_weak(last, next))
            return next;
    }
}

}  // namespace

extern "C" {
extern const TickCount64Proc g_pTickCount64Slot __asm__("__imp__GetTickCount64@0");
const TickCount64Proc g_pTickCount64Slot = TickCount64;
}
