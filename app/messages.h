// Every text the tool shows, in the system's ANSI code page. Each box is
// one of these, shown with the caption MsgCaption.
#pragma once

constexpr const char* MsgCaption = "Ulvex Tandrel";
constexpr const char* MsgWrongWindows = "This program can work only with Windows 2000 and higher.";
constexpr const char* MsgNeedAdmin =
    "This program needs administrator rights to run.\n"
    "Please contact the Administrator of your system for running this program.";
constexpr const char* MsgDriverFileMissing =
    "One Ulvex Driver File is missing. Ulvex will not work correctly.\n"
    "Please install Ulvex again.";
constexpr const char* MsgNotInstalled = "Ulvex is not installed at this system.";
constexpr const char* MsgServiceMissing =
    "The Ulvex Service was not found.\n"
    "Ulvex has to be installed again.";
constexpr const char* MsgRegistryOpenFailed = "Could not open Registry, possible too low rigths?";
constexpr const char* MsgRegistryReadError = "Unexpected error during read of the system registry!";
constexpr const char* MsgNoWriteRights =
    "Ulvex is not correctly installed.\n"
    "It is not possible to fix this because you don't have rights to write to the following key in the "
    "registry:\n"
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E965-E325-11CE-BFC1-08002BE10318}\n"
    "For fixing this problem write rights to this key are necessary.";
constexpr const char* MsgRepairFailed = "Error while fixing the Registry problem!";
constexpr const char* MsgAskRepair =
    "Ulvex is not correctly installed and the installation has to be fixed.\n"
    "Would you like to fix this now?";
constexpr const char* MsgAskRepairAnyway =
    "No problems were detected in the Ulvex Installation. Nevertheless the fix can be run.\n"
    "Shall the fix be started?";
constexpr const char* MsgAskRestart =
    "The error in the Ulvex Installation could be resolved.\n"
    "The system has to be rebooted so that the changes take effect.\n"
    "Shall the system be restarted now?";
