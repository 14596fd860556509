// The About dialog under a real display: centred, closed by OK, fresh on every showing.
#include <cstdio>

#include "client.h"

namespace client {
namespace {

constexpr int versionLabel = 1002;
constexpr int documentationButton = 1010;

struct Watch {
    const char* screenshot = nullptr;
    HWND dialogs[2] = {};
    int found = 0;
    bool firstGoneBeforeSecond = false;
    bool survivedDocumentation = false;
    RECT frame{};
    int screenWidth = 0, screenHeight = 0;
    std::string version, ok;
};

void saveScreenshot(HWND window, const char* file) {
    RECT frame{};
    GetWindowRect(window, &frame);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO format{};
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
    const DWORD stride = ((width * 3 + 3) / 4) * 4;
    const DWORD size = stride * static_cast<DWORD>(height);
    BITMAPFILEHEADER header{
        0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + size), 0,
        0, sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
    if (FILE* out = std::fopen(file, "wb")) {
        std::fwrite(&header, sizeof header, 1, out);
        std::fwrite(&format.bmiHeader, sizeof format.bmiHeader, 1, out);
        std::fwrite(bits, 1, size, out);
        std::fclose(out);
    }
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

std::string itemText(HWND dialog, int item) {
    wchar_t text[256] = {};
    GetDlgItemTextW(dialog, item, text, 256);
    return toUtf8(text, wcslen(text));
}

DWORD WINAPI watch(void* parameter) {
    Watch& w = *static_cast<Watch*>(parameter);
    for (int attempt = 0; attempt < 400 && w.found < 2; ++attempt) {
        HWND dialog = FindWindowW(L"#32770", L"About Quillet");
        if (dialog == nullptr || (w.found == 1 && dialog == w.dialogs[0] && IsWindow(dialog))) {
            Sleep(50);
            continue;
        }
        if (w.found == 1)
            w.firstGoneBeforeSecond = !IsWindow(w.dialogs[0]) || dialog != w.dialogs[0];
        w.dialogs[w.found] = dialog;
        Sleep(200);  // let it paint
        if (w.found == 0) {
            GetWindowRect(dialog, &w.frame);
            w.screenWidth = GetSystemMetrics(SM_CXSCREEN);
            w.screenHeight = GetSystemMetrics(SM_CYSCREEN);
            w.version = itemText(dialog, versionLabel);
            w.ok = itemText(dialog, IDOK);
            saveScreenshot(dialog, w.screenshot);
            SendMessageW(GetDlgItem(dialog, documentationButton), BM_CLICK, 0, 0);
            Sleep(100);
            w.survivedDocumentation = IsWindow(dialog) && IsWindowVisible(dialog);
        }
        ++w.found;
        PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
        for (int wait = 0; wait < 100 && IsWindow(dialog); ++wait) Sleep(50);
    }
    return 0;
}

}  // namespace

void checkAboutBox(const char* screenshotFile) {
    IDispatch* control = createControl();
    check(control != nullptr, "control created by ProgID");
    if (control == nullptr) return;
    Watch w;
    w.screenshot = screenshotFile;
    HANDLE watcher = CreateThread(nullptr, 0, watch, &w, 0, nullptr);
    std::vector<VARIANT> none;
    for (int showing = 0; showing < 2; ++showing) {
        const HRESULT shown =
            invokeByName(control, L"ShowAboutBox", DISPATCH_METHOD, none, nullptr, nullptr);
        check(shown == S_OK, "ShowAboutBox returns once the dialog is closed: " + hex(shown));
    }
    WaitForSingleObject(watcher, 30000);
    CloseHandle(watcher);
    control->Release();

    check(w.found == 2, "two dialogs shown: " + std::to_string(w.found));
    check(w.firstGoneBeforeSecond, "the second showing is a fresh dialog");
    const int width = w.frame.right - w.frame.left, height = w.frame.bottom - w.frame.top;
    const double left = (w.screenWidth - width) / 2.0, top = (w.screenHeight - height) / 2.0;
    std::printf("screen %d x %d, dialog at %ld, %ld size %d x %d\n", w.screenWidth, w.screenHeight,
                w.frame.left, w.frame.top, width, height);
    check(w.frame.left - left > -1 && w.frame.left - left < 1, "centred horizontally");
    check(w.frame.top - top > -1 && w.frame.top - top < 1, "centred vertically");
    check(w.version == "Version 1.2.1", "lblVersion: " + w.version);
    check(w.ok == "&OK", "cmdOK caption: " + w.ok);
    check(w.survivedDocumentation, "the documentation button leaves the dialog open");
}

}  // namespace client
