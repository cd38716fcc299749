#!/usr/bin/env bash
# Times what a second run over the same mailbox costs: `kestrel-cli extract --all-files` once over
# a fresh destination, again over the unchanged mailbox without and with --new-only, and with
# --new-only after 1% new mail, for a folder of .eml files and for the same messages as one mbox
# file, in one run.
#
#   bench/rerun.sh [-n RUNS] [CACHE_DIR]
#
# CACHE_DIR keeps the generated corpus between runs (default: $KESTREL_BENCH_CACHE, else
# ${XDG_CACHE_HOME:-~/.cache}/kestrel-bench).
set -euo pipefail

usage() { sed -n '7p' "$0" >&2; exit 2; }
runs=3
while getopts n: opt; do
    case $opt in n) runs=$OPTARG ;; *) usage ;; esac
done
shift $((OPTIND - 1))
[ $# -le 1 ] || usage

source "$(dirname "$0")/lib.sh"
bench_setup rerun.sh make-corpus.py "${1:-}"

scratch=$cache/rerun
rm -rf "$scratch"
bench_settings "$scratch"

store=$cache/store-m2000-s1-seed1
if [ ! -f "$store/MANIFEST.json" ]; then
    echo "rerun.sh: making the corpus in $store" >&2
    rm -rf "$store"
    python3 "$shared/make-corpus.py" "$store" --messages 2000 --scale 1 --seed 1
fi
# The messages of Account1/Inbox itself; the last 1% of them arrive later.
mapfile -d '' messages < <(find "$store/Account1/Inbox" -maxdepth 1 -type f -iname '*.eml' -print0 | sort -z)
total=${#messages[@]}
late=$(( (total + 99) / 100 ))
early=$(( total - late ))

# The mailbox as it is before and after the new mail: a folder of .eml files, and one mbox file.
make_mailboxes() {   # STAGE (early|all)
    local count=$early i
    [ "$1" = all ] && count=$total
    rm -rf "$scratch/eml" "$scratch/mbox"
    mkdir -p "$scratch/eml"
    for ((i = 0; i < count; i++)); do
        cp -p "${messages[$i]}" "$scratch/eml/"
        printf 'From bench@example.org Mon Jan  1 00:00:00 2024\n' >> "$scratch/mbox"
        sed 's/^From />From /' "${messages[$i]}" >> "$scratch/mbox"
        printf '\n' >> "$scratch/mbox"
    done
}
add_new_mail() {
    local i
    for ((i = early; i < total; i++)); do
        cp -p "${messages[$i]}" "$scratch/eml/"
        printf 'From bench@example.org Mon Jan  1 00:00:00 2024\n' >> "$scratch/mbox"
        sed 's/^From />From /' "${messages[$i]}" >> "$scratch/mbox"
        printf '\n' >> "$scratch/mbox"
    done
}

results=$scratch/results.tsv
: > "$results"
measure() {   # KIND STEP RUN ARGS...
    local kind=$1 step=$2 run=$3 t0 t1
    shift 3
    t0=$(date +%s.%N)
    /usr/bin/time -v -o "$scratch/time.txt" "$cli" extract --all-files --yes "$@" > /dev/null 2>> "$scratch/err.txt" ||
        echo "rerun.sh: $kind $step failed (see $scratch/err.txt)" >&2
    t1=$(date +%s.%N)
    awk -v k="$kind" -v s="$step" -v run="$run" -v t0="$t0" -v t1="$t1" '
        /User time/ { cpu += $NF } /System time/ { cpu += $NF }
        /Maximum resident/ { rss = $NF / 1024 }
        END { printf "%s\t%s\t%d\t%.3f\t%.3f\t%.1f\n", k, s, run, t1 - t0, cpu, rss }
    ' "$scratch/time.txt" >> "$results"
}

for run in $(seq "$runs"); do
    make_mailboxes early
    for kind in eml mbox; do
        dest=$scratch/out-$kind
        rm -rf "$dest"; mkdir -p "$dest"; sync
        measure "$kind" first "$run" "$scratch/$kind" "$dest"
        measure "$kind" again "$run" "$scratch/$kind" "$dest"
        measure "$kind" unchanged "$run" --new-only "$scratch/$kind" "$dest"
    done
    add_new_mail
    for kind in eml mbox; do
        measure "$kind" new1pct "$run" --new-only "$scratch/$kind" "$scratch/out-$kind"
    done
    echo "rerun.sh: run $run done" >&2
done
rm -rf "$scratch/out-eml" "$scratch/out-mbox"

python3 - "$results" "$total" "$late" <<'PY'
import statistics, sys
rows = [l.rstrip("\n").split("\t") for l in open(sys.argv[1]) if l.strip()]
total, late = int(sys.argv[2]), int(sys.argv[3])
steps = [("first", "first run, fresh destination"),
         ("again", "again, unchanged, without --new-only"),
         ("unchanged", "again, unchanged, --new-only"),
         ("new1pct", f"--new-only after {late} new messages (1%)")]
print(f"Account1/Inbox: {total - late} messages, then {late} more; s = median wall time,")
print("cpu s = median user+system time, peak MB = largest resident set of one run")
for kind in ("eml", "mbox"):
    print(f"\n== {'a folder of .eml files' if kind == 'eml' else 'one mbox file'} ==")
    print(f"{'run':<42} {'s':>7} {'cpu s':>7} {'peak MB':>8} {'of first':>9}")
    first = statistics.median(float(r[3]) for r in rows if r[0] == kind and r[1] == "first")
    for step, label in steps:
        sel = [r for r in rows if r[0] == kind and r[1] == step]
        s = statistics.median(float(r[3]) for r in sel)
        cpu = statistics.median(float(r[4]) for r in sel)
        rss = max(float(r[5]) for r in sel)
        print(f"{label:<42} {s:7.3f} {cpu:7.3f} {rss:8.1f} {100 * s / first:8.1f}%")
print("\ntargets: unchanged --new-only at most 5% of the first run, 1% new at most 10%; memory flat")
PY
