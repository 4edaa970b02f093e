// A message hook that the probe puts into setup.exe's thread: reports the window class record from
// inside that process.
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/e2e/e2e_env.h"

namespace {

constexpr char WINDOW_CLASS_NAME[] = "Velto 3D-Preloader";
bool reported = false;

std::string Hex(unsigned long value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", value);
    return text;
}

// The size of an icon's image, from its colour bitmap (or half its mask).
std::string IconSize(HICON icon) {
    ICONINFO info = {};
    if (!icon || !GetIconInfo(icon, &info)) return "none";
    BITMAP bitmap = {};
    int width = 0, height = 0;
    if (info.hbmColor && GetObjectA(info.hbmColor, sizeof bitmap, &bitmap)) {
        width = bitmap.bmWidth;
        height = bitmap.bmHeight;
    } else if (info.hbmMask && GetObjectA(info.hbmMask, sizeof bitmap, &bitmap)) {
        width = bitmap.bmWidth;
        height = bitmap.bmHeight / 2;
    }
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return std::to_string(width) + "x" + std::to_string(height);
}

// The icon group resource as stored in the program: its entry count and,
// per image, width x height, colours and bits per pixel.
#pragma pack(push, 2)
struct TIconGroupEntry {
    BYTE width, height, colourCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInResource;
    WORD id;
};
struct TIconGroup {
    WORD reserved, type, count;
    TIconGroupEntry entries[1];
};
#pragma pack(pop)

std::string IconResource(HMODULE module) {
    const HRSRC found =
        FindResourceA(module, "IDI_SDIAPPLICATION", reinterpret_cast<LPCSTR>(RT_GROUP_ICON));
    if (!found) return "missing";
    const auto* group = static_cast<const TIconGroup*>(LockResource(LoadResource(module, found)));
    if (!group) return "unreadable";
    std::string text = std::to_string(group->count);
    for (WORD i = 0; i < group->count; ++i) {
        const TIconGroupEntry& entry = group->entries[i];
        text += " " + std::to_string(entry.width ? entry.width : 256) + "x" +
                std::to_string(entry.height ? entry.height : 256) + "/" +
                std::to_string(entry.colourCount) + "c/" + std::to_string(entry.bitCount) + "bpp";
    }
    return text;
}

// GetClassLongPtrA and GetWindowLongPtrA are the plain Long calls on 32 bits.
void ReportClass(HWND window) {
    const HMODULE program = GetModuleHandleA(nullptr);
    TReport report;
    char text[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, text, sizeof text);
    report.Add("process_image", text);
    report.Add("class_style", Hex(GetClassLongA(window, GCL_STYLE)));
    report.Add("class_extra", static_cast<long long>(GetClassLongA(window, GCL_CBCLSEXTRA)));
    report.Add("window_extra", static_cast<long long>(GetClassLongA(window, GCL_CBWNDEXTRA)));
    const HICON icon = reinterpret_cast<HICON>(GetClassLongPtrA(window, GCLP_HICON));
    report.Add("icon_set", icon ? 1 : 0);
    report.Add("icon_is_resource",
               icon && icon == LoadIconA(program, "IDI_SDIAPPLICATION") ? 1 : 0);
    report.Add("icon_size", IconSize(icon));
    report.Add("icon_resource", IconResource(program));
    const HCURSOR cursor = reinterpret_cast<HCURSOR>(GetClassLongPtrA(window, GCLP_HCURSOR));
    report.Add("cursor_is_wait", cursor && cursor == LoadCursorA(nullptr, IDC_WAIT) ? 1 : 0);
    const HGDIOBJ brush = reinterpret_cast<HGDIOBJ>(GetClassLongPtrA(window, GCLP_HBRBACKGROUND));
    report.Add("brush_is_light_grey", brush && brush == GetStockObject(LTGRAY_BRUSH) ? 1 : 0);
    report.Add("menu_name_set", GetClassLongPtrA(window, GCLP_MENUNAME) ? 1 : 0);
    report.Add(
        "instance_is_program",
        GetClassLongPtrA(window, GCLP_HMODULE) == reinterpret_cast<ULONG_PTR>(program) ? 1 : 0);
    const FARPROC exported = GetProcAddress(program, "WndProc");
    report.Add("wndproc_exported", exported ? 1 : 0);
    report.Add("wndproc_is_export", exported && GetWindowLongPtrA(window, GWLP_WNDPROC) ==
                                                    reinterpret_cast<LONG_PTR>(exported)
                                        ? 1
                                        : 0);
    report.Add("object_slot_set", GetWindowLongPtrA(window, 0) ? 1 : 0);
    report.Add("capture_is_window", GetCapture() == window ? 1 : 0);
    report.Write(ReportPath("hook.txt"));
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK
    GetMessageHook(int code, WPARAM wParam, LPARAM lParam) {
    const MSG* message = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && !reported && message && message->hwnd && message->message == WM_NULL) {
        char name[64] = "";
        GetClassNameA(message->hwnd, name, sizeof name);
        if (std::string(name) == WINDOW_CLASS_NAME) {
            reported = true;
            ReportClass(message->hwnd);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
