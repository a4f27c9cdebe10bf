// Yes-or-no questions about the machine and the user. Every failure of the
// platform calls behind them reads as false.
#pragma once

// Windows NT 5.0 (Windows 2000) or later.
bool IsWindows2000OrLater();

// The process's user is a member of the built-in Administrators group. The
// group's attributes are not looked at: a deny-only membership counts.
bool IsAdministrator();

// A directory search for `path` finds something: a directory counts, and so
// does a pattern with * or ? that matches anything.
bool FileExists(const char* path);
