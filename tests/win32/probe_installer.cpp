// A stand-in INSTALL.EXE for the Windows tests: records its own path and its command line.
#include <windows.h>

#include <cstdio>
#include <cstring>

// Writes "module=<own path>" and "command=<command line>" into
// probe-record.txt beside itself, whole or not at all (written under another
// name, then renamed), so that a test waiting for the file never reads half.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // input-idle at once: WinExec returns

    char self[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    char folder[MAX_PATH];
    std::strcpy(folder, self);
    std::strrchr(folder, '\\')[1] = 0;

    char partial[MAX_PATH + 32];
    char record[MAX_PATH + 32];
    std::snprintf(partial, sizeof partial, "%sprobe-record.part", folder);
    std::snprintf(record, sizeof record, "%sprobe-record.txt", folder);
    FILE* file = std::fopen(partial, "wb");
    if (!file) return 1;
    std::fprintf(file, "module=%s\ncommand=%s\n", self, GetCommandLineA());
    std::fclose(file);
    MoveFileExA(partial, record, MOVEFILE_REPLACE_EXISTING);
    return 0;
}
