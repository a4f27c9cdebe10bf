#!/usr/bin/env bash
# Builds the fuzzers and runs the multi-string one for about 30 seconds from
# the committed seeds. The corpus it grows stays in a temporary directory;
# a crash fails the script and leaves its reproducer behind.
set -euo pipefail
cd "$(dirname "$0")/../.."

cmake --workflow --preset host-fuzz

fuzzer=build/host-fuzz/tests/fuzz/multi_string_fuzzer
work=$(mktemp -d)
artifacts=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r tests/fuzz/corpus "$work/corpus"

status=0
"$fuzzer" "$work/corpus" \
    -dict=tests/fuzz/multi_string.dict \
    -max_total_time="${FUZZ_SECONDS:-30}" \
    -timeout=10 \
    -artifact_prefix="$artifacts/" \
    -print_final_stats=1 || status=$?

reproducers=$(find "$artifacts" -type f)
if [ "$status" -ne 0 ] || [ -n "$reproducers" ]; then
    echo "fuzz smoke: the fuzzer failed (exit $status)" >&2
    for file in $reproducers; do
        echo "fuzz smoke: reproducer $file (rerun: $fuzzer $file)" >&2
    done
    exit 1
fi
rm -rf "$artifacts"
echo "fuzz smoke: no crash"
