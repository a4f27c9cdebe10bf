// The product's fixed names, all under HKEY_LOCAL_MACHINE where they are
// registry paths.
#pragma once

constexpr const char* kFilterName = "UlvexPass";
constexpr const char* kDriverFileSuffix = "\\DRIVERS\\UlvexPass.sys";  // appended to the system directory
constexpr const char* kProductRegistrationKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Ulvex.exe";
constexpr const char* kCdromClassKey = "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E965-E325-11CE-BFC1-08002BE10318}";
constexpr const char* kUpperFiltersValue = "UpperFilters";
