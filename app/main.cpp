// The GUI entry point. The tool has no window and no options: all four
// arguments are ignored.
#include "boxes.h"
#include "exit_codes.h"
#include "messages.h"
#include "procedure.h"

#include <windows.h>

#include <new>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        return RunCheckAndRepair();
    } catch (const std::bad_alloc&) {
        // Only the few small texts built outside the registry readers can get
        // here, all before anything is written.
        ShowInformation(MsgRegistryReadError);
        return kExitRegistryFailed;
    }
}
