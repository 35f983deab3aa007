#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/*_fuzz.cpp) with clang into build-fuzz/ and runs each for a
# bounded time, starting from its committed seeds in fuzz/corpus/<target>/. A crash, a leak or a
# failed check fails the run and leaves the input in build-fuzz/artifacts/.
#   scripts/fuzz.sh                 every target, FUZZ_SECONDS (30) each
#   scripts/fuzz.sh bmp_fuzz 300    one target, five minutes
# New inputs found go to build-fuzz/corpus/<target>/ (kept between runs), never into the seeds.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

seconds="${FUZZ_SECONDS:-30}"
only=""
if [ $# -ge 1 ]; then only="$1"; fi
if [ $# -ge 2 ]; then seconds="$2"; fi

scripts/install-deps.sh

dir=build-fuzz
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" \
  -DTOLVANE_FUZZ=ON -DTOLVANE_BUILD_UI=OFF -DTOLVANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)" --target fuzzers

mkdir -p "$dir/artifacts"
status=0
for src in fuzz/*_fuzz.cpp; do
  target="$(basename "$src" .cpp)"
  [ -n "$only" ] && [ "$only" != "$target" ] && continue
  name="${target%_fuzz}"
  seeds="fuzz/corpus/$name"
  work="$dir/corpus/$name"
  mkdir -p "$work"
  args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
        -artifact_prefix="$dir/artifacts/$target-")
  [ -f "fuzz/$name.dict" ] && args+=(-dict="fuzz/$name.dict")
  # A sample record is 31200 bytes; let inputs grow past one record.
  [ "$name" = side_files ] && args+=(-max_len=40000)
  echo "== $target: ${seconds}s"
  if ! "$dir/bin/$target" "${args[@]}" "$work" "$seeds" >"$dir/$target.log" 2>&1; then
    echo "$target FAILED; tail of $dir/$target.log:" >&2
    tail -n 40 "$dir/$target.log" >&2
    status=1
  fi
  grep -E '^#[0-9]+.*(DONE|cov:)' "$dir/$target.log" | tail -n 1 || true
done
exit $status
