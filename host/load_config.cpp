// The executables' load configuration record, which the image's load-configuration
// directory points at. Its one job here is DependentLoadFlags: the
// DLLs the image imports are searched for in System32 only, never first in the
// folder the program was started from.
#include <windows.h>

#include <cstddef>
#include <cstdint>

// Where the linker leaves the directory empty, the build points it at this record
// after linking (cmake/fill_load_config.sh says when). MSVC's runtime brings its
// own record, and its linker sets the same field with /DEPENDENTLOADFLAG:0x800.
#if defined(__MINGW32__) && !defined(_WIN64)

// The 32-bit record up to the safe exception handler table, in the platform's
// field order. Windows reads a field only when Size covers it.
struct LoadConfigDirectory32 {
    uint32_t size;                             // bytes of this record
    uint32_t time_date_stamp;                  // seconds since 1970, 0 for none
    uint16_t major_version, minor_version;     // 0
    uint32_t global_flags_clear;               // process global flags to clear
    uint32_t global_flags_set;                 // process global flags to set
    uint32_t critical_section_default_timeout; // ms, 0 for the default
    uint32_t decommit_free_block_threshold;    // bytes, 0 for the default
    uint32_t decommit_total_free_threshold;    // bytes, 0 for the default
    uint32_t lock_prefix_table;                // address, 0 for none
    uint32_t maximum_allocation_size;          // bytes, 0 for the default
    uint32_t virtual_memory_threshold;         // bytes, 0 for the default
    uint32_t process_heap_flags;               // HEAP_* flags of the process heap
    uint32_t process_affinity_mask;            // 0: every processor
    uint16_t csd_version;                      // service pack, 0
    uint16_t dependent_load_flags;             // LOAD_LIBRARY_SEARCH_* for imports
    uint32_t edit_list;                        // address, 0 for none
    uint32_t security_cookie;                  // address, 0: the runtime sets its own
    uint32_t se_handler_table;                 // address, 0: no safe handler table
    uint32_t se_handler_count;                 // entries of that table
};

static_assert(offsetof(LoadConfigDirectory32, dependent_load_flags) == 0x36);
static_assert(sizeof(LoadConfigDirectory32) == 0x48);

// Every field not named here is 0: the platform's defaults.
constexpr LoadConfigDirectory32 load_config(uint16_t dependent_load_flags)
{
    LoadConfigDirectory32 config{};
    config.size = sizeof(LoadConfigDirectory32);
    config.dependent_load_flags = dependent_load_flags;
    return config;
}

// Only System32: KERNEL32, USER32, GDI32 and msvcrt are known DLLs and come from
// there anyway, but WINMM is not, and a winmm.dll planted beside light.exe would
// otherwise be loaded before the system's own (Windows 10 1607 and later honour
// the field; older versions ignore it).
extern "C" const LoadConfigDirectory32 _load_config_used = load_config(LOAD_LIBRARY_SEARCH_SYSTEM32);

#endif
