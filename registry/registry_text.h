// Reads a REG_SZ value as text.
#pragma once

#include <windows.h>

#include <string>

// The value's text up to its first zero byte; the empty text when the key
// does not open with full access, the value is missing, is not REG_SZ or is
// longer than 1023 bytes. `viewFlags` (KEY_WOW64_32KEY or KEY_WOW64_64KEY)
// picks a registry view on 64-bit Windows and must be 0 elsewhere.
std::string ReadRegistryText(HKEY root, const char* subkey, const char* valueName, REGSAM viewFlags = 0);
