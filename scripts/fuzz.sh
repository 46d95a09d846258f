#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz, or $BUILD_DIR) and runs each for SECONDS
# (default 60) on a scratch copy of its seed corpus, so the repository's corpus only grows on
# purpose. Exits non-zero when any target finds a crash, an overrun, a leak or a hang; the input
# that did it is kept under <build dir>/fuzz-artifacts/<target>/.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
build_dir="${BUILD_DIR:-$here/build-fuzz}"
targets=(hex preset link board_link)

CC=clang CXX=clang++ cmake -S "$here" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTAPSTER_FUZZ=ON -DTAPSTER_GUI=OFF -DTAPSTER_BENCH=OFF -DTAPSTER_WERROR=ON >/dev/null
cmake --build "$build_dir" -j 2 --target "${targets[@]/%/_fuzz}"

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
status=0
for t in "${targets[@]}"; do
  mkdir -p "$scratch/$t/corpus" "$scratch/$t/artifacts"
  cp -R "$here/tests/fuzz/corpus/$t/." "$scratch/$t/corpus/"
  dict=()
  [ -f "$here/tests/fuzz/$t.dict" ] && dict=(-dict="$here/tests/fuzz/$t.dict")
  echo "fuzz: $t for ${seconds}s"
  # -timeout: one input may take at most 10 s (a hang); -malloc_limit_mb: no single allocation
  # above 64 MiB; -rss_limit_mb: the whole process stays under 1 GiB.
  if ! "$build_dir/tests/fuzz/${t}_fuzz" -max_total_time="$seconds" -timeout=10 \
    -malloc_limit_mb=64 -rss_limit_mb=1024 -max_len=8192 -print_final_stats=1 \
    "${dict[@]}" -artifact_prefix="$scratch/$t/artifacts/" "$scratch/$t/corpus" >"$scratch/$t/log" 2>&1; then
    status=1
    tail -n 60 "$scratch/$t/log"
    mkdir -p "$build_dir/fuzz-artifacts/$t"
    cp -R "$scratch/$t/artifacts/." "$build_dir/fuzz-artifacts/$t/"
    echo "fuzz: $t FAILED; inputs kept in $build_dir/fuzz-artifacts/$t"
  else
    grep -E "^stat::number_of_executed_units|^stat::peak_rss_mb" "$scratch/$t/log" | sed "s/^/fuzz: $t /"
  fi
done
exit "$status"
