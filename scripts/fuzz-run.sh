#!/usr/bin/env bash
# Runs the libFuzzer targets of a fuzz build one after another, SECONDS each, at the lowest
# priority with one job:  fuzz-run.sh BUILD SECONDS [TARGET...]   (default: every target)
#
# The corpus of each target grows in fuzz/out/<target>/; it is seeded with the generated seeds,
# tests/regress/<target>/ and, for the targets that take whole files, the PDFs of tests/corpus.
# Crashes, hangs (over 2 s), leaks, inputs over 2 GiB and slow inputs (over 1 s) are kept in
# fuzz/crashes/<target>/. Prints each run's final figures; exits 1 when a run left a finding.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
seconds=$2
shift 2

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for bin in "$build"/fuzz/fuzz_*; do
    name=$(basename "$bin")
    name=${name#fuzz_}
    [ "$name" = seeds ] || targets+=("$name")
  done
fi

seeds=$build/seeds
rm -rf "$seeds"
"$build/fuzz/fuzz_seeds" "$seeds" || exit 2

status=0
for t in "${targets[@]}"; do
  bin=$build/fuzz/fuzz_$t
  if [ ! -x "$bin" ]; then
    echo "fuzz-run: no target $t" >&2
    exit 2
  fi
  corpus=$root/fuzz/out/$t
  crashes=$root/fuzz/crashes/$t
  logs=$build/fuzz-logs/$t
  mkdir -p "$corpus" "$crashes" "$logs" "$seeds/$t"
  case $t in
    pdf_file | backend) cp "$root"/tests/corpus/*.pdf "$seeds/$t/" ;;
  esac
  dirs=("$corpus" "$seeds/$t")
  [ -d "$root/tests/regress/$t" ] && dirs+=("$root/tests/regress/$t")

  before=$(ls -A "$crashes" | wc -l)
  rm -f "$logs/fuzz-0.log"
  # -jobs=1 runs the fuzzer in one child process whose output goes to fuzz-0.log in the
  # current directory.
  (cd "$logs" && nice -n 19 "$bin" -jobs=1 -workers=1 -max_total_time="$seconds" -timeout=2 \
    -rss_limit_mb=2048 -report_slow_units=1 -print_final_stats=1 \
    -artifact_prefix="$crashes/" ${FUZZ_ARGS:-} "${dirs[@]}") >"$logs/driver.log" 2>&1
  log=$logs/run-$(date +%Y%m%d-%H%M%S).log
  cp "$logs/fuzz-0.log" "$log" 2>/dev/null || cp "$logs/driver.log" "$log"

  last=$(grep -E '^#[0-9]+' "$log" | tail -1)
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log")
  echo "$t: ${seconds}s, ${execs:-?} execs, ${rate:-?} exec/s, peak ${rss:-?} MB"
  echo "  $last"
  after=$(ls -A "$crashes" | wc -l)
  if [ "$after" -gt "$before" ]; then
    echo "  NEW FINDINGS in fuzz/crashes/$t/ (log: $log):"
    ls -t "$crashes" | head -n $((after - before)) | sed 's/^/    /'
    status=1
  fi
done
exit $status
