#!/usr/bin/env bash
# The long fuzzing job (not part of CI, which runs each fuzzer for a few
# seconds): builds every fuzzer with clang, libFuzzer and ASan+UBSan in
# build-fuzz, then runs each for RUNS executions (default 10 million) and
# prints the count it reached. Crashing inputs are kept in build-fuzz/crashes.
#   scripts/fuzz.sh [RUNS] [NAME...]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
runs="${1:-10000000}"
shift || true
dir="$here/build-fuzz"
"$here/scripts/install-deps.sh"
if ! command -v clang++ >/dev/null; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends clang
fi

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
flags="-O1 -g1 -fno-omit-frame-pointer -fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=undefined"
cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DMELODUNE_FUZZ_ENGINE=libfuzzer \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=$flags" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=$flags" \
  "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined" >/dev/null

names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for f in "$here"/fuzz/fuzz_*.cpp; do n="$(basename "$f" .cpp)"; names+=("${n#fuzz_}"); done
fi
targets=()
for n in "${names[@]}"; do targets+=("fuzz_$n"); done
cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)" --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$dir/crashes"
status=0
for n in "${names[@]}"; do
  mkdir -p "$dir/corpus/$n"
  log="$dir/fuzz_$n.log"
  start=$SECONDS
  if "$dir/bin/fuzz_$n" -runs="$runs" -max_len=4096 -print_final_stats=1 \
      -artifact_prefix="$dir/crashes/$n-" "$dir/corpus/$n" >"$log" 2>&1; then
    result=ok
  else
    result=FAILED
    status=1
  fi
  done_runs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')"
  echo "fuzz_$n: $result, $done_runs executions in $((SECONDS - start)) s (log: $log)"
done
exit $status
