#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
#   scripts/test.sh                  the plain build and every test
#   scripts/test.sh address thread   the same tests in the ASan+UBSan and TSan builds
#   scripts/test.sh all              all three
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/install-deps.sh"

variants=("$@")
[ ${#variants[@]} -gt 0 ] || variants=(plain)
[ "${variants[*]}" != all ] || variants=(plain address thread)
jobs="$(nproc 2>/dev/null || echo 2)"

for v in "${variants[@]}"; do
  case "$v" in
    plain) dir="$here/build"; opts=() ;;
    address|thread) dir="$here/build-$v"; opts=(-DMELODUNE_SANITIZE="$v") ;;
    *) echo "unknown variant: $v (plain, address, thread)" >&2; exit 2 ;;
  esac
  echo "== $v build"
  cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${opts[@]}" >/dev/null
  cmake --build "$dir" -j "$jobs"
  echo "== $v tests"
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 600)
done
