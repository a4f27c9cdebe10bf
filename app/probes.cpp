#include "probes.h"

#include "names.h"
#include "registry/registry_text.h"
#include "registry/service_start.h"
#include "system/environment.h"
#include "system/wow64.h"

#include <windows.h>

#include <cstring>
#include <string>

bool DriverFilePresent() {
    char path[MAX_PATH] = {};
    // 0 leaves the buffer empty and the probe is made on the suffix alone.
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    const size_t suffixLength = std::strlen(kDriverFileSuffix);
    // A system directory too long for the path is reported as a missing file
    // rather than written past the buffer.
    if (length >= MAX_PATH || length + suffixLength + 1 > MAX_PATH) return false;
    std::memcpy(path + length, kDriverFileSuffix, suffixLength + 1);
    return FileExistsInNativeSystemDirectory(path);
}

bool ProductInstalled() {
    for (const REGSAM view : RegistryViewsToSearch()) {
        // The stored text is the path as it stands: no quotes are removed and
        // nothing is expanded.
        const std::string executable = ReadRegistryText(HKEY_LOCAL_MACHINE, kProductRegistrationKey, "", view);
        if (FileExists(executable.c_str())) return true;
    }
    return false;
}

FilterService ProbeFilterService() {
    switch (ServiceStart(kFilterName, false)) {
    case kStartsWithSystem:
        return FilterService::StartsWithSystem;
    case kStartsLater:
        return FilterService::StartsLate;
    default:
        return FilterService::Missing;
    }
}
