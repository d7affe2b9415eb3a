#!/usr/bin/env bash
# Runs each fuzz target for a while on its corpus and fails when any of them finds a crash, a
# leak, a sanitizer report or a timeout.
#   fuzz/run-fuzzers.sh BUILD SECONDS [TARGET...]
# BUILD holds fuzz/fuzz_<target> and corpus/<target> (written by fuzz_seeds). Each run's log goes
# to BUILD/fuzz-logs/<target>.log; reproducers go to BUILD/fuzz-artifacts/.
set -uo pipefail

build=${1:?build folder}
seconds=${2:?seconds per target}
shift 2
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(decode_toc decode_subchannel decode_responses decode_iso9660 cdtext load_cue load_toc load_iso drive mmc)
fi
here=$(cd "$(dirname "$0")" && pwd)

mkdir -p "$build/fuzz-logs" "$build/fuzz-artifacts"
export ASAN_OPTIONS=detect_leaks=1:symbolize=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

failed=()
for t in "${targets[@]}"; do
    binary="$build/fuzz/fuzz_$t"
    corpus="$build/corpus/$t"
    log="$build/fuzz-logs/$t.log"
    mkdir -p "$corpus"
    dict=()
    case $t in
        load_cue) dict=(-dict="$here/cue.dict") ;;
        load_toc) dict=(-dict="$here/toc.dict") ;;
    esac
    "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -error_exitcode=77 \
        -detect_leaks=1 -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/$t-" \
        "${dict[@]}" "$corpus" >"$log" 2>&1
    rc=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    if [ $rc -ne 0 ] || grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|check failed:' "$log"; then
        printf '%-18s FAIL (exit %d) after %s runs; see %s\n' "$t" "$rc" "${runs:-?}" "$log"
        grep -E 'ERROR:|SUMMARY:|runtime error:|check failed:|Test unit written' "$log" | head -5 | sed 's/^/    /'
        failed+=("$t")
    else
        printf '%-18s ok   %s runs in %ss\n' "$t" "${runs:-?}" "$seconds"
    fi
done

if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzz: failures in ${failed[*]}" >&2
    exit 1
fi
