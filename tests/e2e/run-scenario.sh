#!/usr/bin/env bash
# One scenario under Wine: run-scenario.sh DRIVER SCENARIOS NAME TOOL LOG_DIR
# The driver's stderr, which the tool inherits, goes to a log of its own: the
# relay trace of the tool's restart call lands there.
set -euo pipefail
driver=$1 scenarios=$2 name=$3 tool=$4 log_dir=$5
mkdir -p "$log_dir"
log=$log_dir/$name.log
exec wine "$driver" run "$scenarios" "$name" "$tool" "$log" </dev/null 2>"$log"
