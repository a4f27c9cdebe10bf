// Asks Windows to shut down, after enabling the shutdown privilege.
#pragma once

#include <windows.h>

// The result of ExitWindowsEx(shutdownFlags, 0); false without calling it
// when the shutdown privilege could not be enabled. The privilege stays
// enabled for the rest of the run.
bool RestartSystem(UINT shutdownFlags);
