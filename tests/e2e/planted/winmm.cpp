// A recording winmm.dll for the end-to-end tests. It exports only sndPlaySoundA,
// the one function light.exe imports from WINMM, plays nothing, and appends one
// line per event to winmm.log in its own folder:
//
//   loaded into C:\path\light.exe
//   sndPlaySoundA flags 5 riff data 101428 foreground 0002004a
//
// "riff data N" is the data chunk's length in bytes of the RIFF/WAVE image the
// call was given (SND_MEMORY); "name" when the argument is not such an image.
// "foreground" is the foreground window's handle at the call, in hex: the caller
// asked for it a moment before, so it tells which activation the cue was for.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr UINT SOUND_IN_MEMORY = 0x0004; // SND_MEMORY: the argument is a file image
constexpr size_t DATA_LENGTH_AT = 40;    // the data chunk's length in a canonical
                                         // two-chunk RIFF/WAVE file

char log_path[MAX_PATH];

void append_line(const char *line)
{
    HANDLE file = CreateFileA(log_path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line, DWORD(std::strlen(line)), &written, nullptr);
    CloseHandle(file);
}

// The data length of a RIFF/WAVE image laid out as "RIFF" size "WAVE" "fmt "
// (16 bytes of format) "data" length, or -1 when the bytes are not that.
int64_t riff_data_length(const char *image)
{
    if (std::memcmp(image, "RIFF", 4) != 0 || std::memcmp(image + 8, "WAVE", 4) != 0 ||
        std::memcmp(image + 12, "fmt ", 4) != 0 || std::memcmp(image + 36, "data", 4) != 0)
        return -1;
    uint32_t length;
    std::memcpy(&length, image + DATA_LENGTH_AT, sizeof length);
    return length;
}

} // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    // The loader names the module as the importer spelled it (WINMM.DLL), so the
    // log's name is fixed rather than derived from it.
    DWORD length = GetModuleFileNameA(instance, log_path, MAX_PATH);
    char *slash = std::strrchr(log_path, '\\');
    if (length == 0 || length >= MAX_PATH || !slash || slash + 11 > log_path + MAX_PATH) return FALSE;
    std::memcpy(slash + 1, "winmm.log", 10);
    char program[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    char line[MAX_PATH + 32];
    std::snprintf(line, sizeof line, "loaded into %s\r\n", program);
    append_line(line);
    return TRUE;
}

extern "C" __declspec(dllexport) BOOL WINAPI sndPlaySoundA(LPCSTR sound, UINT flags)
{
    int64_t data = -1;
    if ((flags & SOUND_IN_MEMORY) && sound) data = riff_data_length(sound);
    unsigned long foreground = static_cast<unsigned long>(reinterpret_cast<uintptr_t>(GetForegroundWindow()));
    char line[128];
    if (data >= 0)
        std::snprintf(line, sizeof line, "sndPlaySoundA flags %u riff data %lld foreground %08lx\r\n", flags,
                      (long long)data, foreground);
    else
        std::snprintf(line, sizeof line, "sndPlaySoundA flags %u name foreground %08lx\r\n", flags, foreground);
    append_line(line);
    return TRUE;
}
