#!/bin/bash
# Everything a fresh Debian machine needs to run every test: installs the
# packages (apt-get), builds both trees and a sanitizer build of the native
# tree, and runs all tests: natively, under AddressSanitizer/UBSan, a short
# fuzzing run, and the Windows programs under Wine (in Xvfb unless DISPLAY
# is set).
#   scripts/test.sh [-R REGEX]   (-R is passed on to ctest)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
ctest_args=("$@")
t0=$(date +%s)
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
"$root/scripts/build.sh" --sanitize --native-only
t1=$(date +%s)
echo "test.sh: built in $((t1 - t0)) s"

failed=0
run() {
  local name="$1" dir="$2"
  echo "=== $name"
  (cd "$dir" && ctest --output-on-failure -j 2 --timeout 600 "${ctest_args[@]}") || failed=1
}
run "native tests" "$root/build/native"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run "native tests, sanitized" "$root/build/native-asan"
echo "=== fuzzing the viewer's decode path (short run; scripts/fuzz.sh SECONDS for long ones)"
"$root/scripts/fuzz.sh" 60 || failed=1
# One Wine session for the whole Windows run (CTest fixtures start and stop it).
(cd "$root/build/windows" && ctest --output-on-failure --timeout 600 "${ctest_args[@]}") || failed=1
echo "test.sh: tests ran in $(( $(date +%s) - t1 )) s"
exit $failed
