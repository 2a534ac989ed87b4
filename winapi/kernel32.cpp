// kernel32 over the simulated desktop: the heap, the worker thread (recorded, never
// run), Sleep and the performance counter it advances, and the module and process
// the program runs as.
#include "state.h"

#include <cstdlib>

using sim::hex;
using sim::state;

HANDLE WINAPI GetProcessHeap(void)
{
    return reinterpret_cast<HANDLE>(0x9000);
}

LPVOID WINAPI HeapAlloc(HANDLE, DWORD flags, SIZE_T bytes)
{
    LOG("HeapAlloc " + std::to_string(bytes));
    if (state().failing_allocations > 0) {
        state().failing_allocations--;
        return nullptr;
    }
    void *block = (flags & HEAP_ZERO_MEMORY) ? std::calloc(1, bytes ? bytes : 1) : std::malloc(bytes ? bytes : 1);
    if (!block) {
        return nullptr;
    }
    state().blocks.push_back(block);
    state().allocation_count++;
    state().allocated_bytes += static_cast<int64_t>(bytes);
    return block;
}

HANDLE WINAPI CreateThread(SECURITY_ATTRIBUTES *attributes, SIZE_T stack_size, LPTHREAD_START_ROUTINE start,
                           LPVOID parameter, DWORD flags, LPDWORD thread_id)
{
    LOG("CreateThread security=" + hex(attributes) + " stack=" + std::to_string(stack_size) +
        " parameter=" + hex(parameter) + " flags=" + std::to_string(flags));
    state().thread_start = start;
    state().thread_parameter = parameter;
    state().thread_count++;
    if (thread_id) {
        *thread_id = 100 + state().thread_count;
    }
    return reinterpret_cast<HANDLE>(sim::THREAD_HANDLE + state().thread_count);
}

void WINAPI Sleep(DWORD milliseconds)
{
    LOG("Sleep " + std::to_string(milliseconds));
    state().sleep_count++;
    state().slept_milliseconds += milliseconds;
    state().last_sleep = milliseconds;
    state().counter += static_cast<int64_t>(milliseconds) * state().frequency / 1000 + state().sleep_overhead;
}

DWORD WINAPI GetCurrentProcessId(void)
{
    return state().process_id;
}

BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER *frequency)
{
    LOG("QueryPerformanceFrequency");
    frequency->QuadPart = state().frequency;
    return TRUE;
}

BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER *count)
{
    LOG("QueryPerformanceCounter");
    count->QuadPart = state().counter;
    return TRUE;
}

// Only the program's own module is known: a null name gives its instance handle.
HMODULE WINAPI GetModuleHandleA(LPCSTR module_name)
{
    return module_name ? nullptr : reinterpret_cast<HMODULE>(sim::MODULE_HANDLE);
}
