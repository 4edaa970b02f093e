/* The demo's INSTALL.EXE: logs what setup.exe handed it (command line, window, Install.ini, files),
 * then sends 666. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#define MSG_START_CLEANUP 666
#define LOG_NAME "install.log"

/* Milliseconds since 1970-01-01 UTC, for comparing with the host's clock. */
static unsigned long long UnixMilliseconds(void) {
    FILETIME now;
    ULARGE_INTEGER ticks;
    GetSystemTimeAsFileTime(&now);
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    return (ticks.QuadPart - 116444736000000000ULL) / 10000ULL;
}

/* The last word of the command line: the preloader's window handle in decimal. */
static HWND HandleFromCommandLine(const char* commandLine) {
    const char* end = commandLine + strlen(commandLine);
    const char* start;
    while (end > commandLine && (end[-1] == ' ' || end[-1] == '\t')) --end;
    start = end;
    while (start > commandLine && start[-1] != ' ' && start[-1] != '\t') --start;
    return (HWND)(ULONG_PTR)strtoul(start, NULL, 10);
}

static void LogFiles(FILE* log, const char* folder) {
    char pattern[MAX_PATH + 2];
    WIN32_FIND_DATAA found;
    HANDLE search;
    snprintf(pattern, sizeof pattern, "%s*", folder);
    search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        FILETIME local;
        SYSTEMTIME time;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        FileTimeToLocalFileTime(&found.ftLastWriteTime, &local);
        FileTimeToSystemTime(&local, &time);
        fprintf(log, "file: %-14s %8lu bytes  %04u-%02u-%02u %02u:%02u:%02u\n", found.cFileName,
                (unsigned long)found.nFileSizeLow, time.wYear, time.wMonth, time.wDay, time.wHour,
                time.wMinute, time.wSecond);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandTail, int show) {
    char folder[MAX_PATH];
    char path[MAX_PATH + 16];
    char value[MAX_PATH] = "";
    char caption[256] = "";
    const char* commandLine = GetCommandLineA();
    HWND window = HandleFromCommandLine(commandLine);
    char* slash;
    FILE* log;
    MSG message;
    (void)instance, (void)previous, (void)commandTail, (void)show;

    /* Idle at once, so that setup.exe's WinExec returns and its window answers. */
    PeekMessageA(&message, NULL, 0, 0, PM_NOREMOVE);
    MsgWaitForMultipleObjects(0, NULL, FALSE, 50, QS_ALLINPUT);

    GetModuleFileNameA(NULL, folder, sizeof folder);
    slash = strrchr(folder, '\\');
    if (slash) slash[1] = 0;

    snprintf(path, sizeof path, "%sInstall.ini", folder);
    GetPrivateProfileStringA("STANDARD", "INST_PATH", "", value, sizeof value, path);
    GetWindowTextA(window, caption, sizeof caption);

    snprintf(path, sizeof path, "%s" LOG_NAME, folder);
    log = fopen(path, "w");
    if (log) {
        fprintf(log, "command line: %s\n", commandLine);
        fprintf(log, "window: %lu, %s, caption \"%s\"\n", (unsigned long)(ULONG_PTR)window,
                IsWindow(window) ? "a window" : "NOT a window", caption);
        fprintf(log, "INST_PATH: %s\n", value);
        fprintf(log, "folder: %s\n", folder);
        LogFiles(log, folder);
        fprintf(log, "sent 666 at: %llu\n", UnixMilliseconds());
        fclose(log);
    }
    /* Done: setup.exe may now delete INSTALL.EXE, once this program has ended. */
    PostMessageA(window, MSG_START_CLEANUP, 0, 0);
    return 0;
}
