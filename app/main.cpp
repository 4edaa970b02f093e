// setup.exe's entry: DLL search hardening, the window class, the one MainWindow and the message
// loop.
#include <windows.h>

#include <cstdlib>

#include "app/window.h"

HINSTANCE appInstance = nullptr;
int appCmdShow = 0;

namespace {

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
using SetDllDirectoryFunction = BOOL(WINAPI*)(LPCSTR);

template <typename Function>
Function Kernel32Function(const char* name) {
    const HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    if (!kernel32) return nullptr;
    // Through void* to a function pointer: GetProcAddress's own type says nothing of the signature.
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(kernel32, name)));
}

// A setup.exe started from a download folder must not pick up a DLL planted
// beside it or in the current folder. Where the system can, later loads come
// from the system folder only; the current folder leaves the search path in
// any case. Both are looked up at run time so that systems without them
// still start; there they are skipped quietly.
void RestrictDllSearch() {
    const auto setDefaultDllDirectories =
        Kernel32Function<SetDefaultDllDirectoriesFunction>("SetDefaultDllDirectories");
    if (setDefaultDllDirectories) setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);

    const auto setDllDirectory = Kernel32Function<SetDllDirectoryFunction>("SetDllDirectoryA");
    if (setDllDirectory) setDllDirectory("");
}

// Registers "Velto 3D-Preloader": wait cursor, light-grey background, our
// icon, and one 32-bit slot for the bound window object.
bool RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = WndProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = WINDOW_EXTRA_BYTES;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, CLASS_ICON_NAME);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_WAIT);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = WINDOW_CLASS_NAME;
    return RegisterClassA(&windowClass) != 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR /*lpCmdLine*/,
                   int nCmdShow) {
    RestrictDllSearch();

    appInstance = hInstance;
    appCmdShow = nCmdShow;
    if (!hPrevInstance && !RegisterMainWindowClass(hInstance)) std::exit(0);

    MainWindow mainWindow;  // unpacks the archive and starts the installer before it returns
    return RunMessageLoop();
}
