// The probe's output and clock, and the waits that serve this thread's windows
// meanwhile: every line the probe prints goes through say(), every time it
// measures through now_ms().

#include "probe.h"

#include <cstdarg>
#include <cstdio>

void say(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::fputs("probe: ", stdout);
    std::vprintf(format, args);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    va_end(args);
}

double now_ms()
{
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return 1000.0 * double(counter.QuadPart) / double(frequency.QuadPart);
}

// Serves this thread's windows for about ms milliseconds.
void pump_for(int ms)
{
    double until = now_ms() + ms;
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(1);
    } while (now_ms() < until);
}

// Waits for one of the handles while serving this thread's windows, so that a
// message another process sends to them (activation moving between processes)
// does not stall that process. Returns the index of the signalled handle, or -1.
int wait_serving(const HANDLE *handles, DWORD count, int timeout_ms)
{
    double until = now_ms() + timeout_ms;
    for (;;) {
        double left = until - now_ms();
        if (left < 0) return -1;
        DWORD result = MsgWaitForMultipleObjects(count, handles, FALSE, DWORD(left), QS_ALLINPUT);
        if (result < WAIT_OBJECT_0 + count) return int(result - WAIT_OBJECT_0);
        if (result != WAIT_OBJECT_0 + count) return -1;
        pump_for(0);
    }
}

double wait_for_foreground(HWND window, int deadline_ms)
{
    double waited = wait_until(deadline_ms, [window] { return GetForegroundWindow() == window; });
    if (waited < 0)
        say("window %08lx is not the foreground window after %d ms; %08lx is", handle_number(window), deadline_ms,
            handle_number(GetForegroundWindow()));
    return waited;
}
