// Seeing past WOW64. A 32-bit process on 64-bit Windows has its searches in
// System32 sent to SysWOW64 and reads SOFTWARE through the 32-bit registry
// view; a 64-bit process reads the 64-bit view. The product may live in
// either, so the probes look at the native file system and at both views.
#pragma once

#include <windows.h>

#include <vector>

// True for a 64-bit exe, and for a 32-bit exe that runs under WOW64.
bool RunningOn64BitWindows();

// FileExists, with WOW64 file system redirection turned off around the one
// search when the process runs under WOW64.
bool FileExistsInNativeSystemDirectory(const char* path);

// The registry views to read the product's registration from, the process's
// own first: {0} on 32-bit Windows, {0, the other view's flag} on 64-bit.
std::vector<REGSAM> RegistryViewsToSearch();
