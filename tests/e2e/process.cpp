// The overlay's process seen from outside: whether it runs, ending it, its memory
// counters (memory), and the version resource of an executable (version-info).

#include "probe.h"

#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

bool process_alive(DWORD process)
{
    HANDLE handle = OpenProcess(SYNCHRONIZE, FALSE, process);
    if (!handle) return false;
    bool alive = WaitForSingleObject(handle, 0) == WAIT_TIMEOUT;
    CloseHandle(handle);
    return alive;
}

int command_terminate_overlay()
{
    std::vector<WindowInfo> found = overlays();
    if (found.empty()) {
        say("FAIL: no overlay window to end");
        return EXIT_FAIL;
    }
    bool ok = true;
    for (const WindowInfo &w : found) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, w.process);
        if (!process) {
            say("FAIL: cannot open process %lu of overlay %08lx", w.process, handle_number(w.handle));
            ok = false;
            continue;
        }
        double start = now_ms();
        TerminateProcess(process, 0);
        bool ended = WaitForSingleObject(process, DEADLINE_MS) == WAIT_OBJECT_0;
        if (ended)
            say("process %lu of overlay %08lx ended after %.0f ms", w.process, handle_number(w.handle),
                now_ms() - start);
        else
            say("process %lu of overlay %08lx did not end within %d ms", w.process, handle_number(w.handle),
                DEADLINE_MS);
        ok = ok && ended;
        CloseHandle(process);
    }
    return ok ? EXIT_PASS : EXIT_FAIL;
}

// The one overlay's process opened with the given access, or null after saying
// why; the memory command's.
HANDLE open_overlay_process(DWORD access, DWORD &process_id)
{
    HWND overlay = the_overlay(DEADLINE_MS);
    if (!overlay) return nullptr;
    process_id = 0;
    GetWindowThreadProcessId(overlay, &process_id);
    HANDLE process = OpenProcess(access, FALSE, process_id);
    if (!process) say("FAIL: cannot open process %lu of the overlay (error %lu)", process_id, GetLastError());
    return process;
}

namespace {

struct MemorySample {
    uint64_t working_set;       // bytes, GetProcessMemoryInfo
    uint64_t pagefile;          // bytes, GetProcessMemoryInfo
    uint64_t private_usage;     // bytes, GetProcessMemoryInfo
    uint64_t committed_private; // bytes of committed private pages, VirtualQueryEx
    uint64_t committed_regions; // how many regions those pages lie in
};

// Walks the other process's address space: committed private pages are what its
// heaps and stacks hold, the memory a leak would grow.
void add_committed_private(HANDLE process, MemorySample &sample)
{
    MEMORY_BASIC_INFORMATION region;
    uintptr_t address = 0;
    while (VirtualQueryEx(process, reinterpret_cast<void *>(address), &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) {
            sample.committed_private += region.RegionSize;
            sample.committed_regions++;
        }
        uintptr_t next = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
        if (next <= address) break; // the top of the address space wrapped around
        address = next;
    }
}

const char *const VERSION_STRINGS[] = {"CompanyName",    "FileDescription",  "FileVersion", "InternalName",
                                       "LegalCopyright", "OriginalFilename", "ProductName", "ProductVersion"};

// The file's version resource, or an empty buffer when it has none.
std::vector<char> read_version_resource(const char *path)
{
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    std::vector<char> data(size);
    if (size == 0 || !GetFileVersionInfoA(path, 0, size, data.data())) data.clear();
    return data;
}

// A string of the resource's first listed language, or null.
const char *version_string(std::vector<char> &data, const char *name)
{
    struct LanguageCodePage {
        WORD language, code_page;
    } *translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void **>(&translation), &length) ||
        length < sizeof *translation)
        return nullptr;
    char key[96];
    std::snprintf(key, sizeof key, "\\StringFileInfo\\%04x%04x\\%s", translation->language, translation->code_page,
                  name);
    char *value = nullptr;
    if (!VerQueryValueA(data.data(), key, reinterpret_cast<void **>(&value), &length)) return nullptr;
    return value;
}

// The fixed file ("FILEVERSION") or product ("PRODUCTVERSION") version as
// a.b.c.d, or an empty string.
std::string fixed_version(std::vector<char> &data, bool product)
{
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<void **>(&fixed), &length) || length < sizeof *fixed ||
        fixed->dwSignature != 0xFEEF04BDu)
        return "";
    DWORD ms = product ? fixed->dwProductVersionMS : fixed->dwFileVersionMS;
    DWORD ls = product ? fixed->dwProductVersionLS : fixed->dwFileVersionLS;
    char text[48];
    std::snprintf(text, sizeof text, "%lu.%lu.%lu.%lu", ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF);
    return text;
}

} // namespace

// memory: one line of the overlay process's memory counters, in bytes.
int command_memory()
{
    DWORD id;
    HANDLE process = open_overlay_process(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, id);
    if (!process) return EXIT_FAIL;
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    bool ok = GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&counters), sizeof counters);
    if (!ok) say("FAIL: GetProcessMemoryInfo of process %lu failed (error %lu)", id, GetLastError());
    MemorySample sample{counters.WorkingSetSize, counters.PagefileUsage, counters.PrivateUsage, 0, 0};
    add_committed_private(process, sample);
    CloseHandle(process);
    say("memory of process %lu: working-set %llu pagefile %llu private-usage %llu "
        "committed-private %llu in %llu regions",
        id, sample.working_set, sample.pagefile, sample.private_usage, sample.committed_private,
        sample.committed_regions);
    return ok && sample.committed_private ? EXIT_PASS : EXIT_FAIL;
}
// ---------------------------------------------------------------------------
// The version resource as a file's properties show it: the fixed file and
// product versions, and the strings of the first language the file lists.

// version-info EXE [NAME=VALUE]...: prints the version resource and checks that
// each NAME reads VALUE; NAME is a string's name, FILEVERSION or PRODUCTVERSION.
int command_version_info(int argc, char **argv)
{
    std::vector<char> data = read_version_resource(argv[0]);
    if (data.empty()) {
        say("FAIL: %s has no version resource (error %lu)", argv[0], GetLastError());
        return EXIT_FAIL;
    }
    std::string file_version = fixed_version(data, false);
    std::string product_version = fixed_version(data, true);
    say("%s: FILEVERSION %s, PRODUCTVERSION %s", argv[0], file_version.c_str(), product_version.c_str());
    for (const char *name : VERSION_STRINGS) {
        const char *value = version_string(data, name);
        say("  %-16s %s%s%s", name, value ? "\"" : "", value ? value : "(none)", value ? "\"" : "");
    }
    bool ok = true;
    for (int i = 1; i < argc; i++) {
        const char *equals = std::strchr(argv[i], '=');
        if (!equals) return usage();
        std::string name(argv[i], size_t(equals - argv[i])), want(equals + 1);
        const char *seen = name == "FILEVERSION"      ? file_version.c_str()
                           : name == "PRODUCTVERSION" ? product_version.c_str()
                                                      : version_string(data, name.c_str());
        if (!seen || want != seen) {
            say("FAIL: %s is %s%s%s, expected \"%s\"", name.c_str(), seen ? "\"" : "", seen ? seen : "missing",
                seen ? "\"" : "", want.c_str());
            ok = false;
        }
    }
    if (ok) say("PASS: %d values as expected", argc - 1);
    return ok ? EXIT_PASS : EXIT_FAIL;
}
