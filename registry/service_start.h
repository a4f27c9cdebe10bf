// Reads or sets the Start value of a service's registry key.
#pragma once

// Read mode.
constexpr int kStartsWithSystem = 0;  // Start is 0 (boot) or 1 (system)
constexpr int kStartsLater = 1;       // Start is above 1
constexpr int kStartUnreadable = 2;   // the key did not open, or Start could not be read
// Write mode.
constexpr int kStartWritten = 0;      // Start is now 1
constexpr int kStartWriteFailed = 1;  // the key opened but the write failed
constexpr int kServiceNotOpened = 2;  // the key did not open

// `service` is the key name under SYSTEM\CurrentControlSet\Services. The key
// is opened with full access in both modes.
int ServiceStart(const char* service, bool write);
