// The check-and-repair procedure: one pass through its stages, in order.
#pragma once

// Returns the process exit code (see exit_codes.h).
int RunCheckAndRepair();
