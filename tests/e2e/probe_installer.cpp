// The probe installer: started by setup.exe as INSTALL.EXE, it reports what it was given and then
// sends 666 as told.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/e2e/e2e_env.h"
#include "tests/e2e/file_listing.h"

namespace {

constexpr UINT MSG_START_CLEANUP = 666;
constexpr DWORD SECOND_MESSAGE_DELAY_MS = 1500;
constexpr DWORD HOOK_REPORT_WAIT_MS = 120000;  // generous: Wine may be slow to start the hook

// The last word of the command line: the window handle in decimal.
std::string LastWord(const std::string& commandLine) {
    size_t end = commandLine.find_last_not_of(" \t");
    if (end == std::string::npos) return std::string();
    size_t start = commandLine.find_last_of(" \t", end);
    start = start == std::string::npos ? 0 : start + 1;
    return commandLine.substr(start, end - start + 1);
}

std::string ProgramFolder() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, length < sizeof path ? length : 0);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

std::string FileContents(const std::string& path) {
    std::string contents;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return "<missing>";
    char buffer[4096];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) contents.append(buffer, count);
    std::fclose(file);
    return contents;
}

void AddWindowFacts(TReport& report, HWND window) {
    report.Add("is_window", IsWindow(window) ? 1 : 0);
    char text[512] = "";
    GetClassNameA(window, text, sizeof text);
    report.Add("class", text);
    text[0] = 0;
    GetWindowTextA(window, text, sizeof text);  // read from the system: no message to the preloader
    report.Add("caption", text);
    RECT rect = {};
    GetWindowRect(window, &rect);
    report.Add("rect", std::to_string(rect.left) + "," + std::to_string(rect.top) + "," +
                           std::to_string(rect.right) + "," + std::to_string(rect.bottom));
    char style[16];
    std::snprintf(style, sizeof style, "0x%08lX",
                  static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE)));
    report.Add("style", style);
    std::snprintf(style, sizeof style, "0x%08lX",
                  static_cast<unsigned long>(GetWindowLongA(window, GWL_EXSTYLE)));
    report.Add("exstyle", style);
    report.Add("visible", IsWindowVisible(window) ? 1 : 0);
    report.Add("screen", std::to_string(GetSystemMetrics(SM_CXSCREEN)) + "," +
                             std::to_string(GetSystemMetrics(SM_CYSCREEN)));
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    report.Add("window_process", static_cast<long long>(processId));
}

// The class record lives in the preloader's process, where Wine alone answers
// for class icon, cursor and brush: a message hook from our DLL reads them
// there and writes hook.txt. Returns whether that report arrived.
bool RunClassHook(HWND window) {
    const std::string hookPath = EnvironmentValue(ENV_HOOK_DLL);
    const std::string hookReport = ReportPath("hook.txt");
    if (hookPath.empty() || hookReport.empty()) return false;
    const HMODULE hookModule = LoadLibraryA(hookPath.c_str());
    if (!hookModule) return false;
    const auto hookProc = reinterpret_cast<HOOKPROC>(
        reinterpret_cast<void*>(GetProcAddress(hookModule, "GetMessageHook")));
    const DWORD thread = GetWindowThreadProcessId(window, nullptr);
    const HHOOK hook =
        hookProc ? SetWindowsHookExA(WH_GETMESSAGE, hookProc, hookModule, thread) : nullptr;
    bool arrived = false;
    if (hook) {
        const DWORD start = GetTickCount();
        while (!arrived && GetTickCount() - start < HOOK_REPORT_WAIT_MS) {
            PostMessageA(window, WM_NULL, 0, 0);  // a message for the hook to see
            Sleep(100);
            arrived = GetFileAttributesA(hookReport.c_str()) != INVALID_FILE_ATTRIBUTES;
        }
        UnhookWindowsHookEx(hook);
    }
    FreeLibrary(hookModule);
    return arrived;
}

// Deletes every file of folder but the program itself, as an installer that
// tidies up after itself would. True when all of them went.
bool DeleteOtherFiles(const std::string& folder, const std::string& self) {
    bool deleted = true;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    do {
        const std::string path = folder + found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            lstrcmpiA(path.c_str(), self.c_str()) == 0)
            continue;
        deleted = DeleteFileA(path.c_str()) && deleted;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return deleted;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Input-idle at once, so that the preloader's WinExec returns now: Wine
    // counts a process idle once its thread waits on its message queue.
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);

    TReport report;
    report.Add("started_ms", UnixMilliseconds());
    const std::string commandLine = GetCommandLineA();
    report.Add("command_line", commandLine);
    const std::string handleText = LastWord(commandLine);
    report.Add("handle_text", handleText);
    const HWND window = reinterpret_cast<HWND>(
        static_cast<ULONG_PTR>(std::strtoul(handleText.c_str(), nullptr, 10)));
    AddWindowFacts(report, window);

    const std::string folder = ProgramFolder();
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, sizeof self);
    report.Add("module", self);
    report.Add("folder", folder);
    char value[1024] = "";
    GetPrivateProfileStringA("STANDARD", "INST_PATH", "<missing>", value, sizeof value,
                             (folder + "Install.ini").c_str());
    report.Add("inst_path", value);
    report.Add("install_ini", FileContents(folder + "Install.ini"));
    AddFolderListing(report, folder);
    report.Add("hook_report", RunClassHook(window) ? 1 : 0);
    report.Write(ReportPath("probe.txt"));

    // The hand-off, as the test asks for it.
    TReport action;
    const std::string what = EnvironmentValue(ENV_ACTION);
    action.Add("action", what);
    if (what == "tidy") action.Add("deleted_others", DeleteOtherFiles(folder, self) ? 1 : 0);
    if (what == "once" || what == "twice" || what == "tidy") {
        action.Add("sent_666_ms.0", UnixMilliseconds());
        PostMessageA(window, MSG_START_CLEANUP, 0, 0);
        if (what == "twice") {
            Sleep(SECOND_MESSAGE_DELAY_MS);
            action.Add("sent_666_ms.1", UnixMilliseconds());
            PostMessageA(window, MSG_START_CLEANUP, 0, 0);
        }
    } else if (what == "close") {
        action.Add("sent_close_ms", UnixMilliseconds());
        PostMessageA(window, WM_CLOSE, 0, 0);
    }
    action.Add("exiting_ms", UnixMilliseconds());
    action.Write(ReportPath("action.txt"));
    return 0;
}
