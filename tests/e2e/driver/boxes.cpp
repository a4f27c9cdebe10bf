#include "boxes.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr DWORD kPollMs = 15;

std::string WindowText(HWND window) {
    char text[4096] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ClassName(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

struct Search {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindVisibleWindow(HWND window, LPARAM data) {
    Search* search = reinterpret_cast<Search*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window)) return TRUE;
    search->found = window;
    return FALSE;
}

struct Child {
    HWND window;
    RECT rect;
};

BOOL CALLBACK CollectChild(HWND window, LPARAM data) {
    Child child = {window, {}};
    GetWindowRect(window, &child.rect);
    reinterpret_cast<std::vector<Child>*>(data)->push_back(child);
    return TRUE;
}

void ReadBox(HWND window, SeenBox& box) {
    box = SeenBox();
    box.window = window;
    box.caption = WindowText(window);
    box.owned = GetWindow(window, GW_OWNER) != nullptr;
    std::vector<Child> children;
    EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&children));
    std::sort(children.begin(), children.end(),
              [](const Child& a, const Child& b) { return a.rect.left < b.rect.left; });
    for (const Child& child : children) {
        if (!IsWindowVisible(child.window)) continue;
        const std::string name = ClassName(child.window);
        const LONG style = GetWindowLongA(child.window, GWL_STYLE);
        if (name == "Button") {
            const int id = GetDlgCtrlID(child.window);
            box.buttons.push_back(id);
            if ((style & 0x0f) == BS_DEFPUSHBUTTON) box.defaultButton = id;
        } else if (name == "Static" && (style & SS_TYPEMASK) == SS_ICON) {
            // The icon control is there in every box; it counts only when it
            // holds an icon.
            if (SendMessageA(child.window, STM_GETICON, 0, 0)) box.icon = true;
        } else if (name == "Static") {
            if (!box.text.empty()) box.text += "\n";
            box.text += WindowText(child.window);
        }
    }
}

}  // namespace

BoxWait WaitForBox(HANDLE process, DWORD processId, DWORD timeoutMs, SeenBox& box) {
    const DWORD start = GetTickCount();
    for (;;) {
        Search search = {processId, nullptr};
        EnumWindows(FindVisibleWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            // Shown means initialised: a dialog becomes visible only after
            // WM_INITDIALOG has set its texts and buttons.
            ReadBox(search.found, box);
            return BoxWait::Shown;
        }
        if (WaitForSingleObject(process, kPollMs) == WAIT_OBJECT_0) return BoxWait::Exited;
        if (GetTickCount() - start > timeoutMs) return BoxWait::TimedOut;
    }
}

bool PressButton(const SeenBox& box, int id, DWORD timeoutMs) {
    const HWND button = GetDlgItem(box.window, id);
    PostMessageA(box.window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    const DWORD start = GetTickCount();
    while (IsWindow(box.window) && IsWindowVisible(box.window)) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(kPollMs);
    }
    return true;
}

bool CaptureBox(const SeenBox& box, const std::string& path) {
    RECT rect;
    if (!GetWindowRect(box.window, &rect)) return false;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return false;

    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    const HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, previous);

    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;  // bottom-up, as BMP files store it
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::vector<BYTE> pixels(stride * height);
    const int lines = GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&header),
                                DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (lines != height) return false;

    BITMAPFILEHEADER file = {};
    file.bfType = 0x4d42;  // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    header.biSizeImage = static_cast<DWORD>(pixels.size());
    const bool written = std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&header, sizeof header, 1, out) == 1 &&
                         std::fwrite(pixels.data(), pixels.size(), 1, out) == 1;
    return std::fclose(out) == 0 && written;
}

std::string ButtonName(int id) {
    switch (id) {
    case IDOK: return "OK";
    case IDYES: return "Yes";
    case IDNO: return "No";
    default: return std::to_string(id);
    }
}
