#!/usr/bin/env bash
# Runs every fuzz target for a bounded time on a scratch copy of its seed corpus (the
# corpus in the repository never grows here) and fails on any finding: a sanitizer
# report, a crash, a leak, a hang or an input that exhausts memory.
# Usage: fuzz/run.sh BUILD_DIR [SECONDS_PER_TARGET]
set -uo pipefail
build=${1:?usage: fuzz/run.sh BUILD_DIR [SECONDS_PER_TARGET]}
seconds=${2:-60}
build=$(cd "$build" && pwd) || exit 1
src=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

targets=(fuzz_infile fuzz_settings_clock fuzz_settings_free fuzz_lin_info fuzz_dating)
passed=0
failed=0
for t in "${targets[@]}"; do
  bin=$build/fuzz/$t
  if [ ! -x "$bin" ]; then
    echo "fuzz: $bin is missing"
    failed=$((failed + 1))
    continue
  fi
  cp -r "$src/corpus/$t" "$work/$t"
  mkdir -p "$work/findings-$t"
  # Run from the scratch folder so that nothing the fuzzer writes lands in the tree.
  dict=()
  case $t in fuzz_settings_*) dict=(-dict="$src/settings.dict") ;; esac
  (cd "$work" && "$bin" "${dict[@]}" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
     -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/findings-$t/" \
     "$work/$t" >"$work/$t.log" 2>&1)
  status=$?
  runs=$(sed -n 's/^Done \([0-9]*\) runs in \([0-9]*\) second.*/\1 executions in \2 s/p' "$work/$t.log")
  if [ $status -eq 0 ] && [ -z "$(ls -A "$work/findings-$t")" ]; then
    echo "fuzz: $t passed: ${runs:-no count}"
    passed=$((passed + 1))
  else
    echo "fuzz: $t FAILED (status $status); the end of its log and the inputs it found:"
    tail -n 60 "$work/$t.log"
    for f in "$work/findings-$t"/*; do
      [ -e "$f" ] || continue
      echo "--- $(basename "$f") (base64):"
      base64 "$f" | head -c 8192
      echo
    done
    failed=$((failed + 1))
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ $failed -eq 0 ]
