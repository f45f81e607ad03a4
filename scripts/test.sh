#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
#   scripts/test.sh                  the plain build and every test
#   scripts/test.sh address thread   the same tests in the ASan+UBSan and TSan builds
#   scripts/test.sh all              all three
# Each build has its own folder (build, build-address, build-thread); they
# share one compiler cache when ccache is installed.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/install-deps.sh"

variants=("$@")
[ ${#variants[@]} -gt 0 ] || variants=(plain)
[ "${variants[*]}" != all ] || variants=(plain address thread)
jobs="$(nproc 2>/dev/null || echo 2)"

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"

failed=()
for v in "${variants[@]}"; do
  case "$v" in
    plain) dir="$here/build"; opts=() ;;
    # -O1 with line tables is what the sanitizers need for exact reports, and
    # compiles markedly faster than -O2 with full debug information. At -O1
    # GCC's maybe-uninitialized analysis misfires inside libstdc++ (std::regex).
    address|thread) dir="$here/build-$v"
      san="-O1 -g1 -DNDEBUG -Wno-maybe-uninitialized"
      opts=(-DMELODUNE_SANITIZE="$v" "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=$san" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=$san") ;;
    *) echo "unknown variant: $v (plain, address, thread)" >&2; exit 2 ;;
  esac
  start=$SECONDS
  echo "== $v build"
  cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "${opts[@]}" >/dev/null
  cmake --build "$dir" -j "$jobs"
  echo "== $v tests"
  # The longest tests start first (ctest keeps their times), so that the
  # last minutes are not spent waiting on one of them.
  if (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 600); then
    echo "== $v passed in $((SECONDS - start)) s"
  else
    echo "== $v FAILED after $((SECONDS - start)) s"
    failed+=("$v")
  fi
done
# Every variant runs even when an earlier one failed: CI shows all of them.
if [ ${#failed[@]} -gt 0 ]; then
  echo "failed: ${failed[*]}" >&2
  exit 1
fi
