#!/usr/bin/env bash
# Rips a 74-minute image (15 tracks of noise-like audio, 783 MB, the same bytes on
# every run) with tolvane-cli and with libcdio's cd-paranoia, and copies it with
# cat, the limit of any copy. The three take turns, in a rotating order, for
# several rounds; the medians of their wall times are compared. Also: tolvane's
# peak memory, whether its WAV audio equals cd-paranoia's, and the modelled time
# of the rip on a real drive (tolvane-rip-model on the same image).
#
#   bench/rip-vs-peers.sh [--build DIR] [--rounds N]
#
# The image goes in a temporary folder under $TOLVANE_BENCH_TMP, $TMPDIR, /tmp or
# the build folder, the first with room; it is removed at the end.
# The output ends with one line per goal, PASS or FAIL with the figure; the exit
# status is 1 when a goal is missed.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build-bench
rounds=5
while [ $# -gt 0 ]; do
    case $1 in
    --build) build=$(cd "$2" && pwd); shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    *) echo "usage: $0 [--build DIR] [--rounds N]" >&2; exit 2 ;;
    esac
done

# The goals.
max_time_ratio=0.75 # tolvane's median wall time / cd-paranoia's
max_rss_mb=32       # tolvane's peak resident set, whatever the disc's length

cli=$build/src/tolvane-cli
image_tool=$build/bench/tolvane-bench-image
model=$build/bench/tolvane-rip-model
for program in "$cli" "$image_tool" "$model"; do
    if [ ! -x "$program" ]; then
        echo "rip-vs-peers: $program is missing: build with -DTOLVANE_BENCH=ON (make bench)" >&2
        exit 2
    fi
done

missing=()
command -v cd-paranoia >/dev/null 2>&1 || missing+=(cd-paranoia)
[ -x /usr/bin/time ] || missing+=(time)
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "rip-vs-peers: install the Debian packages ${missing[*]}" >&2
        exit 2
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null
fi

# Room for the image and two rips of it, with a margin.
need_kb=$((4 * 1024 * 1024))
parent=
for candidate in "${TOLVANE_BENCH_TMP:-}" "${TMPDIR:-}" /tmp "$build"; do
    if [ -n "$candidate" ] && [ -d "$candidate" ] && [ -w "$candidate" ] &&
        [ "$(df -Pk "$candidate" | awk 'NR == 2 { print $4 }')" -ge "$need_kb" ]; then
        parent=$candidate
        break
    fi
done
if [ -z "$parent" ]; then
    echo "rip-vs-peers: no folder with 4 GB free (set TOLVANE_BENCH_TMP)" >&2
    exit 2
fi
work=$(mktemp -d "$parent/tolvane-rip-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "== Rip benchmark: tolvane-cli against cd-paranoia and cat, $rounds rounds"
echo "working folder: $work ($(df -Ph "$parent" | awk 'NR == 2 { print $4 }') free)"
"$image_tool" generate "$work"
image=$work/image.cue
bin=$work/image.bin
tracks=$(grep -c '^ *TRACK' "$image")

# Runs one contender: the program's own output goes to its log, its wall time
# (to the microsecond) to times.NAME, its peak resident set in kB to rss.NAME.
run() {
    local name=$1
    shift
    local out=$work/out.$name
    rm -rf "$out"
    mkdir -p "$out"
    sync # the previous run's files are on disk before this one starts
    local start=$EPOCHREALTIME
    if ! (cd "$out" && /usr/bin/time -v -o "$work/usage.$name" "$@" >/dev/null 2>"$work/log.$name"); then
        echo "rip-vs-peers: $name failed:" >&2
        tail -n 20 "$work/log.$name" >&2
        exit 1
    fi
    local end=$EPOCHREALTIME
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f\n", b - a }' >>"$work/times.$name"
    awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/usage.$name" >>"$work/rss.$name"
}

contender() {
    case $1 in
    cat) run cat cat "$bin" ;;
    cd-paranoia) run cd-paranoia cd-paranoia -d "$image" -B -Z ;;
    tolvane) run tolvane "$cli" --image "$image" rip --no-verify --out "$work/out.tolvane" ;;
    esac
}

# Whether every track's audio from tolvane equals cd-paranoia's; sets same_tracks.
compare_rips() {
    same_tracks=0
    local n
    for ((n = 1; n <= tracks; n++)); do
        if "$image_tool" compare "$work/out.tolvane/Track $n.wav" \
            "$(printf '%s/track%02d.cdda.wav' "$work/out.cd-paranoia" "$n")"; then
            same_tracks=$((same_tracks + 1))
        else
            echo "track $n: tolvane's audio differs from cd-paranoia's"
        fi
    done
}

median() {
    sort -g "$1" | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'
}

load() {
    cut -d' ' -f1-3 /proc/loadavg
}

load_before=$(load)
echo "load average before the rounds: $load_before ($(nproc) cores)"
names=(cat cd-paranoia tolvane)
for ((r = 0; r < rounds; r++)); do
    # Each round starts with the next contender, so none always runs first.
    for ((k = 0; k < 3; k++)); do
        contender "${names[(r + k) % 3]}"
    done
    if [ "$r" -eq 0 ]; then
        compare_rips
    fi
    printf 'round %d: cat %.3f s, cd-paranoia %.3f s, tolvane %.3f s\n' $((r + 1)) \
        "$(tail -n 1 "$work/times.cat")" "$(tail -n 1 "$work/times.cd-paranoia")" \
        "$(tail -n 1 "$work/times.tolvane")"
done
load_after=$(load)
echo "load average after the rounds: $load_after"

cat_s=$(median "$work/times.cat")
cdp_s=$(median "$work/times.cd-paranoia")
tol_s=$(median "$work/times.tolvane")
rss_kb=$(sort -n "$work/rss.tolvane" | tail -n 1)
cdp_rss_kb=$(sort -n "$work/rss.cd-paranoia" | tail -n 1)
ratio_exact=$(awk -v a="$tol_s" -v b="$cdp_s" 'BEGIN { print a / b }')
ratio=$(printf '%.2f' "$ratio_exact")
echo
echo "medians of $rounds rounds (wall time):"
printf '  cat of the bin      %7.3f s\n' "$cat_s"
printf '  cd-paranoia -B -Z   %7.3f s   peak RSS %6.1f MB\n' "$cdp_s" "$(awk -v k="$cdp_rss_kb" 'BEGIN { print k / 1024 }')"
printf '  tolvane-cli rip     %7.3f s   peak RSS %6.1f MB\n' "$tol_s" "$(awk -v k="$rss_kb" 'BEGIN { print k / 1024 }')"
printf '  tolvane / cd-paranoia %.3f, tolvane / cat %.3f\n' \
    "$(awk -v a="$tol_s" -v b="$cdp_s" 'BEGIN { print a / b }')" "$(awk -v a="$tol_s" -v b="$cat_s" 'BEGIN { print a / b }')"
echo

"$model" "$image" | tee "$work/model.txt" || true
model_line=$(tail -n 1 "$work/model.txt")
case $model_line in
PASS* | FAIL*) ;;
*) model_line="FAIL modelled rip: tolvane-rip-model gave no verdict" ;;
esac

verdict() { # PASS when the awk condition holds
    if awk "BEGIN { exit !($1) }"; then echo PASS; else echo FAIL; fi
}
rss_mb=$(awk -v k="$rss_kb" 'BEGIN { printf "%.1f", k / 1024 }')
summary=(
    "$(verdict "$ratio_exact <= $max_time_ratio") rip time $ratio x cd-paranoia ($(printf '%.2f s for %.2f s' "$tol_s" "$cdp_s"); goal <= $max_time_ratio)"
    "$(verdict "$rss_kb <= $max_rss_mb * 1024") tolvane peak RSS $rss_mb MB (goal <= $max_rss_mb MB)"
    "$(verdict "$same_tracks == $tracks") WAV audio equals cd-paranoia's in $same_tracks of $tracks tracks"
    "$model_line"
)
echo
echo "== Summary (load average $load_before before, $load_after after; $(nproc) cores)"
printf '%s\n' "${summary[@]}"
for line in "${summary[@]}"; do
    [[ $line == PASS* ]] || exit 1
done
