# Shared by the end-to-end test scripts (sourced, not run).
#   require_tools TOOL...  skips the test (exit 0) when one is not installed
#   start_work            a scratch directory, removed on exit, as cwd
#   fail MESSAGE          records a failure; finish reports them and exits
require_tools() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool not installed"; exit 0; }
  done
}
start_work() {
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
  cd "$work" || exit 1
}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# expect_line TEXT: out.txt (the player's output) holds TEXT
expect_line() { grep -qF "$1" out.txt || fail "vvplay output lacks '$1': $(tr '\n' ' ' < out.txt)"; }
