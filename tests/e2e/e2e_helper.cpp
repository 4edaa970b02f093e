// The end-to-end tests' hands under Wine: start setup.exe with a given temp folder, press OK on a
// message box, close the window.
//
//   e2e_helper run TEMPDIR PROGRAM         start PROGRAM with TEMP and TMP set, wait, exit with its
//   status e2e_helper dismiss TEXT REPORT SECONDS press OK on every box showing TEXT until the
//                                          preloader's window is gone; report each caption
//   e2e_helper close REPORT SECONDS [AFTER] once the preloader's window waits (and the file
//                                          AFTER exists, then a second more), close it as a user
//                                          would
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/e2e/e2e_env.h"

namespace {

constexpr char PRELOADER_CLASS[] = "Velto 3D-Preloader";
constexpr char WAITING_CAPTION[] = "Bitte warten. Installation wird vorbereitet...";
constexpr char DIALOG_CLASS[] = "#32770";
constexpr DWORD POLL_MS = 100;

std::string WindowText(HWND window) {
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ClassName(HWND window) {
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    return children;
}

// A top-level dialog whose static text is text, or null.
HWND FindMessageBox(const std::string& text) {
    for (HWND box = FindWindowExA(nullptr, nullptr, DIALOG_CLASS, nullptr); box;
         box = FindWindowExA(nullptr, box, DIALOG_CLASS, nullptr)) {
        for (HWND child : Children(box)) {
            if (ClassName(child) == "Static" && WindowText(child) == text) return box;
        }
    }
    return nullptr;
}

int Run(const char* tempFolder, const char* program) {
    SetEnvironmentVariableA("TEMP", tempFolder);
    SetEnvironmentVariableA("TMP", tempFolder);
    // The program's own folder as the current one, as when it is started by a double click.
    std::string folder = program;
    folder = folder.substr(0, folder.find_last_of('\\') + 1);
    std::string commandLine = std::string("\"") + program + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(program, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &process)) {
        std::fprintf(stderr, "e2e_helper: %s: cannot start (error %lu)\n", program, GetLastError());
        return 125;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 125;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::printf("exit status %lu\n", status);
    return static_cast<int>(status);
}

int Dismiss(const std::string& text, const std::string& reportPath, DWORD seconds) {
    TReport report;
    int boxes = 0;
    bool preloaderSeen = false;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < seconds * 1000) {
        const HWND preloader = FindWindowA(PRELOADER_CLASS, nullptr);
        if (preloader) preloaderSeen = true;
        if (preloaderSeen && !preloader)
            break;  // the preloader has ended: no box can come any more
        const HWND box = FindMessageBox(text);
        if (!box) {
            Sleep(POLL_MS);
            continue;
        }
        const std::string key = "box." + std::to_string(boxes);
        report.Add(key + ".caption", WindowText(box));
        std::string controls;
        HWND okButton = nullptr;
        for (HWND child : Children(box)) {
            const std::string childClass = ClassName(child);
            if (!IsWindowVisible(child)) continue;
            controls += (controls.empty() ? "" : ";") + childClass + ":" + WindowText(child);
            if (childClass == "Button" && WindowText(child) == "OK") okButton = child;
        }
        report.Add(key + ".controls", controls);
        report.Add(key + ".dismissed_ms", UnixMilliseconds());
        // The click a user would make on OK.
        DWORD_PTR ignored;
        if (okButton) {
            SendMessageTimeoutA(okButton, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
        } else {
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
        ++boxes;
        while (IsWindow(box) && GetTickCount() - start < seconds * 1000) Sleep(POLL_MS);
    }
    report.Add("boxes", boxes);
    report.Write(reportPath);
    return boxes > 0 ? 0 : 1;
}

int Close(const std::string& reportPath, DWORD seconds, const std::string& after) {
    TReport report;
    const DWORD start = GetTickCount();
    if (!after.empty()) {
        while (GetFileAttributesA(after.c_str()) == INVALID_FILE_ATTRIBUTES &&
               GetTickCount() - start < seconds * 1000) {
            Sleep(POLL_MS);
        }
        Sleep(1000);  // let the program that wrote it end
    }
    while (GetTickCount() - start < seconds * 1000) {
        const HWND preloader = FindWindowA(PRELOADER_CLASS, nullptr);
        DWORD_PTR ignored;
        // Waiting means: the caption is set and the message loop answers.
        if (preloader && WindowText(preloader) == WAITING_CAPTION &&
            SendMessageTimeoutA(preloader, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &ignored)) {
            report.Add("caption", WindowText(preloader));
            report.Add("closed_ms", UnixMilliseconds());
            PostMessageA(preloader, WM_SYSCOMMAND, SC_CLOSE, 0);  // the close box
            report.Write(reportPath);
            return 0;
        }
        Sleep(POLL_MS);
    }
    report.Add("closed_ms", 0);
    report.Write(reportPath);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string verb = argc > 1 ? argv[1] : "";
    if (verb == "run" && argc == 4) return Run(argv[2], argv[3]);
    if (verb == "dismiss" && argc == 5)
        return Dismiss(argv[2], argv[3], std::strtoul(argv[4], nullptr, 10));
    if (verb == "close" && (argc == 4 || argc == 5)) {
        return Close(argv[2], std::strtoul(argv[3], nullptr, 10), argc == 5 ? argv[4] : "");
    }
    std::fprintf(stderr,
                 "usage: e2e_helper run TEMPDIR PROGRAM | dismiss TEXT REPORT SECONDS |"
                 " close REPORT SECONDS [AFTER]\n");
    return 2;
}
