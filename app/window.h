// The preloader's window: the Window base, MainWindow, the exported window procedure and the
// message loop.
#pragma once

#include <windows.h>

// The window procedure of the class, exported by the program under this very
// name (the link drops the stdcall decoration from the export).
extern "C" __declspec(dllexport) LRESULT CALLBACK
    WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

constexpr char WINDOW_CLASS_NAME[] =
    "Velto 3D-Preloader";  // also the caption until the first paint
constexpr char WAITING_CAPTION[] = "Bitte warten. Installation wird vorbereitet...";
constexpr char CLASS_ICON_NAME[] = "IDI_SDIAPPLICATION";
constexpr int WINDOW_WIDTH = 350;  // outer size, frame and caption included
constexpr int WINDOW_HEIGHT = 50;
constexpr UINT MSG_START_CLEANUP = 666;  // sent by the installer; a plain number, not WM_USER-based
constexpr UINT_PTR CLEANUP_TIMER_ID = 1;
constexpr UINT CLEANUP_DELAY_MS = 3000;
constexpr int OBJECT_SLOT = 0;  // extra-window-storage index of the bound object's pointer
// The object slot: one pointer, a 32-bit value on the 32-bit target.
constexpr int WINDOW_EXTRA_BYTES = sizeof(LONG_PTR);

extern HINSTANCE appInstance;  // the module, as WinMain received it
extern int appCmdShow;         // the show command, as WinMain received it
extern int firstPaintDone;     // 1 once the first WM_PAINT has fixed the frame and set the caption

// Base of the window objects. The window procedure finds the object bound to
// a window through the window's object slot and hands it every message.
class Window {
public:
    // The handle of the window this object is bound to. Set by WndProc when it
    // binds the object on WM_CREATE (so it is right while CreateWindowExA is
    // still running), and again by the creator from CreateWindowExA's result.
    HWND windowHandle = nullptr;

    // The message parameters in the platform's types: on the 32-bit target
    // these are unsigned int, unsigned int, long and long; a 64-bit build
    // needs the wider ones to pass pointers on to the default processing.
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
};

// The one preloader window: a small centred box that shows the waiting
// caption while the archive is unpacked, then waits for the installer's 666.
class MainWindow : public Window {
public:
    // Creates and shows the window, then runs the whole preparation: chooses
    // the extraction folder, paints once, captures the mouse, unpacks the
    // archive and starts the installer. Ends the process with status 0 when
    // the window cannot be created.
    MainWindow();

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Validates the window without drawing: the class brush's grey is all there is.
    void Paint();
};

// Runs the thread's message loop until WM_QUIT and returns that message's wParam.
int RunMessageLoop();
