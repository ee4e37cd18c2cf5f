#!/usr/bin/env bash
# Runs the libFuzzer targets of a fuzz build one after another, SECONDS each, at the lowest
# priority with one job:  fuzz-run.sh BUILD SECONDS [TARGET...]   (default: every target)
#
# The corpus of each target grows in fuzz/out/<target>/; it is seeded with the generated seeds
# and, for the targets that take whole files, the PDFs of tests/corpus, for the others with
# tests/regress/<target>/ too (whole-file regressions are mostly decompression bombs, which would
# only steer the fuzzer into spending its time inflating).
# Crashes, leaks, inputs over 2 GiB, hangs (over 2 s) and slow inputs (over 1 s) are kept in
# fuzz/crashes/<target>/. Prints each target's figures; exits 1 when a run left a finding.
#
# The timeouts are wall-clock time of an instrumented build, and a fuzzer at the lowest priority
# on a busy machine can wait seconds for the processor. So every hang or slow input is run again
# on its own, through the plain build of the target in REPLAY_BUILD (default build/, when it has
# one): one that takes under a second of processor time is moved to
# fuzz/crashes/<target>/unreproduced/ and the fuzzer goes on for the rest of its time.
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

symbolizer=$(command -v llvm-symbolizer-19 || true)
[ -n "$symbolizer" ] && export ASAN_SYMBOLIZER_PATH=$symbolizer

replay=${REPLAY_BUILD:-$root/build}
# Seeds of this run of its own, so that two runs over different targets can share the build.
seeds=$(mktemp -d "$build/seeds.XXXXXX")
trap 'rm -rf "$seeds"' EXIT
"$build/fuzz/fuzz_seeds" "$seeds" || exit 2

# Processor seconds (user + system) that target `t` takes over `input` on its own: through its
# plain build when there is one, else through the fuzzer.
cpu_seconds() {
  local t=$1 input=$2 times
  times=$(mktemp)
  if [ -x "$replay/fuzz/fuzz_$t" ]; then
    /usr/bin/time -o "$times" -f '%U %S' "$replay/fuzz/fuzz_$t" "$input" >/dev/null 2>&1
  else
    /usr/bin/time -o "$times" -f '%U %S' "$build/fuzz/fuzz_$t" -runs=1 "$input" >/dev/null 2>&1
  fi
  tail -1 "$times" | awk '{ print $1 + $2 }'
  rm -f "$times"
}

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
  mkdir -p "$corpus" "$crashes/unreproduced" "$logs" "$seeds/$t"
  # One run at a time per target: two would share its corpus and its logs.
  exec {lock}>"$logs/lock"
  if ! flock -n "$lock"; then
    echo "fuzz-run: $t is being fuzzed by another run" >&2
    exit 2
  fi
  case $t in
    pdf_file | document | backend) cp "$root"/tests/corpus/*.pdf "$seeds/$t/" ;;
  esac
  dirs=("$corpus" "$seeds/$t")
  case $t in
    pdf_file | document | backend) ;;
    *) [ -d "$root/tests/regress/$t" ] && dirs+=("$root/tests/regress/$t") ;;
  esac

  start=$(date +%s)
  execs=0
  unreproduced=0
  found=()
  last=""
  while true; do
    left=$((seconds - ($(date +%s) - start)))
    [ "$left" -gt 0 ] || break
    rm -f "$logs/fuzz-0.log"
    before=$(find "$crashes" -maxdepth 1 -type f | sort)
    # -jobs=1 runs the fuzzer in one child process whose output goes to fuzz-0.log in the
    # current directory.
    (cd "$logs" && nice -n 19 "$bin" -jobs=1 -workers=1 -max_total_time="$left" -timeout=2 \
      -rss_limit_mb=2048 -report_slow_units=1 -print_final_stats=1 \
      -artifact_prefix="$crashes/" ${FUZZ_ARGS:-} "${dirs[@]}") >"$logs/driver.log" 2>&1
    log=$logs/run-$(date +%Y%m%d-%H%M%S).log
    cp "$logs/fuzz-0.log" "$log" 2>/dev/null || cp "$logs/driver.log" "$log"
    n=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    execs=$((execs + ${n:-0}))
    line=$(grep -E '^#[0-9]+' "$log" | tail -1)
    [ -n "$line" ] && last=$line

    real=0
    for f in $(comm -13 <(echo "$before") <(find "$crashes" -maxdepth 1 -type f | sort)); do
      case $(basename "$f") in
        timeout-* | slow-unit-*)
          cpu=$(cpu_seconds "$t" "$f")
          if awk -v c="$cpu" 'BEGIN { exit !(c < 1.0) }'; then
            mv "$f" "$crashes/unreproduced/"
            unreproduced=$((unreproduced + 1))
            continue
          fi
          found+=("$(basename "$f") (${cpu} s of processor time; log $log)")
          ;;
        *) found+=("$(basename "$f") (log $log)") ;;
      esac
      # Anything but a slow input ends the run; slow inputs are kept and fuzzing goes on.
      case $(basename "$f") in slow-unit-*) ;; *) real=1 ;; esac
    done
    [ "$real" -eq 1 ] && break
  done

  elapsed=$(($(date +%s) - start))
  echo "$t: ${elapsed}s, $execs execs, $((execs / (elapsed > 0 ? elapsed : 1))) exec/s," \
    "$unreproduced hangs that did not reproduce set aside"
  echo "  last: $last"
  if [ ${#found[@]} -gt 0 ]; then
    echo "  NEW FINDINGS in fuzz/crashes/$t/:"
    printf '    %s\n' "${found[@]}"
    status=1
  fi
  exec {lock}>&-
done
exit $status
