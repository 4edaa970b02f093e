// MainWindow: creation and preparation, the message handler, the cleanup after 666, and the message
// loop.
#include "app/window.h"

#include <cstdlib>
#include <cstring>

#include "prep/folders.h"
#include "prep/prepare.h"
#include "prep/split_path.h"

#ifndef _WIN64
// On the 32-bit target the handler's parameters are plain 32-bit integers and
// the object slot holds the pointer in one 32-bit value.
static_assert(sizeof(WPARAM) == sizeof(unsigned int) && sizeof(LPARAM) == sizeof(long),
              "32-bit message parameters");
static_assert(sizeof(Window*) == 4, "the object slot holds a 32-bit pointer");
#endif

int firstPaintDone = 0;

namespace {

constexpr LONG FIXED_FRAME_CLEARED = WS_MAXIMIZEBOX | WS_MINIMIZEBOX | WS_THICKFRAME;

// The first paint turns the overlapped window into a fixed-size caption
// window with only a close box, and shows the waiting text.
void FixFrameAndCaption(HWND window) {
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    SetWindowLongA(window, GWL_STYLE, style & ~FIXED_FRAME_CLEARED);
    SetWindowPos(window, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE);
    SetWindowTextA(window, WAITING_CAPTION);
    firstPaintDone = 1;
}

// Deletes the unpacked installer, removes the extraction folder if nothing
// else is left in it, and closes the window. Keeps no state: a second run
// fails quietly and closes again. Failures are ignored; the window closes
// all the same.
void CleanUp(HWND window) {
    DeleteFileA(installerPath.c_str());

    // The folder is installerPath's drive and directory. A path too long to
    // split leaves both empty, and removing "" does nothing.
    char drive[DRIVE_SIZE];
    char directory[DIRECTORY_SIZE];
    SplitPath(installerPath.c_str(), drive, directory);
    char folder[DRIVE_SIZE + DIRECTORY_SIZE];
    std::strcpy(folder, drive);
    std::strcat(folder, directory);
    RemoveDirectoryA(folder);  // fails unless the folder is empty by now

    PostMessageA(window, WM_CLOSE, 0, 0);
}

}  // namespace

extern "C" LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // GetWindowLongPtrA and SetWindowLongPtrA are GetWindowLongA and SetWindowLongA on 32 bits.
    Window* object = reinterpret_cast<Window*>(GetWindowLongPtrA(window, OBJECT_SLOT));
    if (object) return object->HandleMessage(message, wParam, lParam);

    if (message == WM_CREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        object = static_cast<Window*>(create->lpCreateParams);
        if (object) {
            SetWindowLongPtrA(window, OBJECT_SLOT, reinterpret_cast<LONG_PTR>(object));
            object->windowHandle = window;
            return object->HandleMessage(WM_CREATE, wParam, lParam);
        }
    }
    // Everything before WM_CREATE (WM_NCCREATE among it) takes the default path.
    return DefWindowProcA(window, message, wParam, lParam);
}

MainWindow::MainWindow() {
    // Created here, in the body, so that WM_CREATE already reaches MainWindow's handler.
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    windowHandle =
        CreateWindowExA(0, WINDOW_CLASS_NAME, WINDOW_CLASS_NAME, WS_OVERLAPPEDWINDOW,
                        screenWidth / 2 - WINDOW_WIDTH / 2, screenHeight / 2 - WINDOW_HEIGHT / 2,
                        WINDOW_WIDTH, WINDOW_HEIGHT, nullptr, nullptr, appInstance, this);
    if (!windowHandle) std::exit(0);

    ShowWindow(windowHandle, appCmdShow);
    ChooseExtractFolder();
    UpdateWindow(windowHandle);  // the first WM_PAINT fixes the frame and the caption now
    SetCapture(windowHandle);
    PrepareInstallation(windowHandle);  // a failure leaves the window waiting for the user
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return 0;
        case WM_DESTROY:
            ReleaseCapture();
            PostQuitMessage(0);
            return 0;
        case WM_PAINT:
            if (!firstPaintDone) FixFrameAndCaption(windowHandle);
            Paint();
            return 0;
        case WM_TIMER:  // any timer: the cleanup timer is the only one
            CleanUp(windowHandle);
            return 0;
        case MSG_START_CLEANUP:  // a repeated 666 restarts the delay
            SetTimer(windowHandle, CLEANUP_TIMER_ID, CLEANUP_DELAY_MS, nullptr);
            return 0;
        default:  // WM_CLOSE among them: the default destroys the window
            return DefWindowProcA(windowHandle, message, wParam, lParam);
    }
}

void MainWindow::Paint() {
    PAINTSTRUCT paint;
    BeginPaint(windowHandle, &paint);
    EndPaint(windowHandle, &paint);
}

int RunMessageLoop() {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);  // 0, from PostQuitMessage(0)
}
