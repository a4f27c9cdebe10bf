// Shared by the simulated API's source files.
#pragma once

#include "winsim/machine.h"

#include <string>

namespace winsim {

std::string ParentOf(const std::string& path);

namespace internal {

void Log(const std::string& line);
void Error(const std::string& what);
std::string Hex(unsigned long value);
std::string Text(const char* text);

// Handles the machine has handed out and not yet seen closed.
void ReleaseAllHandles();

}  // namespace internal
}  // namespace winsim
