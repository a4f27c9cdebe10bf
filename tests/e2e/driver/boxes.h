// Finding, reading and answering the message boxes of another process.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct SeenBox {
    HWND window = nullptr;
    std::string caption;
    std::string text;
    std::vector<int> buttons;  // control ids of the visible buttons, left to right
    int defaultButton = 0;     // the one drawn as default, 0 if none
    bool icon = false;
    bool owned = false;
};

enum class BoxWait { Shown, Exited, TimedOut };

// Waits until a visible top-level window of the process is fully shown, or
// the process ends.
BoxWait WaitForBox(HANDLE process, DWORD processId, DWORD timeoutMs, SeenBox& box);

// Presses the button as a click would, and waits for the box to close.
bool PressButton(const SeenBox& box, int id, DWORD timeoutMs);

// Saves what the screen shows in the box's rectangle as a 24-bit BMP.
bool CaptureBox(const SeenBox& box, const std::string& path);

// "OK", "Yes", "No", or the number.
std::string ButtonName(int id);
