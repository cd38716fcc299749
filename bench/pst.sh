#!/usr/bin/env bash
# Times Kestrel taking every attachment out of Outlook data files, beside `pffexport -f all`
# (libpff's own exporter) on the same files, in one run: first one file, then COPIES copies of it
# at once (one Kestrel process for all of them, as the wizard runs every folder it is given).
# Whole-process wall time, CPU time and largest resident set, from /usr/bin/time -v.
#
#   bench/pst.sh [-n RUNS] [-c COPIES] [FILE]
#
# FILE defaults to the largest .pst/.ost file of ../shared/corpus/pst. The copies are hard
# links in a scratch folder under $KESTREL_BENCH_CACHE (else ${XDG_CACHE_HOME:-~/.cache}/
# kestrel-bench); the outputs are deleted at the end.
set -euo pipefail

usage() { sed -n '7p' "$0" >&2; exit 2; }
runs=3 copies=40
while getopts n:c: opt; do
    case $opt in n) runs=$OPTARG ;; c) copies=$OPTARG ;; *) usage ;; esac
done
shift $((OPTIND - 1))
[ $# -le 1 ] || usage

repo=$(cd "$(dirname "$0")/.." && pwd)
file=${1:-$(ls -S "$repo"/../shared/corpus/pst/*.pst "$repo"/../shared/corpus/pst/*.ost 2>/dev/null | head -1)}
[ -f "$file" ] || { echo "pst.sh: no Outlook data file to measure" >&2; exit 1; }
file=$(cd "$(dirname "$file")" && pwd)/$(basename "$file")
cache=${KESTREL_BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kestrel-bench}

. "$repo/bench/lib.sh"
bench_build

scratch=$cache/pst-run
rm -rf "$scratch"
mkdir -p "$scratch/one" "$scratch/many"
bench_settings "$scratch"
ext=${file##*.}
ln "$file" "$scratch/one/sample.$ext" 2>/dev/null || cp "$file" "$scratch/one/sample.$ext"
for i in $(seq -w "$copies"); do
    ln "$file" "$scratch/many/copy$i.$ext" 2>/dev/null || cp "$file" "$scratch/many/copy$i.$ext"
done

# The wizard's NAME=MAILBOX arguments for every folder discover lists under a root.
folders() {
    "$cli" discover --root "$1" | awk -F'\t' 'NF >= 4 && $4 != "" {
        name = $2; gsub("/", "-", name); print name "=" $4 }'
}
mapfile -t one < <(folders "$scratch/one")
mapfile -t many < <(folders "$scratch/many")
[ ${#one[@]} -gt 0 ] || { echo "pst.sh: discover lists no folder of $file" >&2; exit 1; }

results=$scratch/results.tsv
: > "$results"
measure() {   # NAME RUN COMMAND... (the output folder is the first argument after the command)
    local name=$1 run=$2 out=$scratch/out/$1
    shift 2
    rm -rf "$out"; mkdir -p "$out"; sync
    /usr/bin/time -v -o "$scratch/time.txt" "$@" > /dev/null 2> "$scratch/$name.err" ||
        echo "pst.sh: $name failed (see $scratch/$name.err)" >&2
    awk -v name="$name" -v run="$run" \
        -v files="$(find "$out" -type f -not -path '*/report/*' -not -name 'report*.htm' -not -name '*.txt' | wc -l)" '
        /Elapsed \(wall clock\)/ { n = split($NF, p, ":"); wall = p[n] + (n > 1 ? p[n-1] * 60 : 0) + (n > 2 ? p[n-2] * 3600 : 0) }
        /User time/   { cpu += $NF }
        /System time/ { cpu += $NF }
        /Maximum resident/ { rss = $NF / 1024 }
        END { printf "%s\t%d\t%.3f\t%.3f\t%.1f\t%d\n", name, run, wall, cpu, rss, files }
    ' "$scratch/time.txt" >> "$results"
}
pffexport_all() {   # OUT FILE...: every item of every file, as the exporter writes them
    local out=$1 f
    shift
    for f in "$@"; do pffexport -q -f all -m all -t "$out/$(basename "$f")" "$f" >/dev/null 2>&1 || true; done
}
export -f pffexport_all
kestrel_all() { local out=$1; shift; "$cli" wizard "$out" --all --from 1980-01-01 "$@"; }
export -f kestrel_all
export cli

cat "$file" > /dev/null   # warm the page cache
for run in $(seq "$runs"); do
    measure kestrel_one "$run" bash -c 'kestrel_all "$@"' _ "$scratch/out/kestrel_one" "${one[@]}"
    measure pffexport_one "$run" bash -c 'pffexport_all "$@"' _ "$scratch/out/pffexport_one" "$scratch/one/sample.$ext"
    measure kestrel_many "$run" bash -c 'kestrel_all "$@"' _ "$scratch/out/kestrel_many" "${many[@]}"
    measure pffexport_many "$run" bash -c 'pffexport_all "$@"' _ "$scratch/out/pffexport_many" "$scratch/many/"*
    echo "pst.sh: run $run done" >&2
done
rm -rf "$scratch/out"

echo "== $(basename "$file") ($(($(stat -c %s "$file") / 1000)) kB): one file, then $copies copies" \
     "($(($(stat -c %s "$file") * copies / 1000000)) MB) in one run =="
python3 - "$results" <<'PY'
import statistics, sys
rows = [l.rstrip("\n").split("\t") for l in open(sys.argv[1]) if l.strip()]
tools = list(dict.fromkeys(r[0] for r in rows))
print("s = median wall time; cpu s = median user+system; peak = largest RSS; files = files written")
print(f"{'tool':<15} {'s':>7} {'cpu s':>7} {'peak MB':>8} {'files':>6}")
for t in tools:
    s = statistics.median(float(r[2]) for r in rows if r[0] == t)
    c = statistics.median(float(r[3]) for r in rows if r[0] == t)
    p = max(float(r[4]) for r in rows if r[0] == t)
    files = [r[5] for r in rows if r[0] == t][-1]
    print(f"{t:<15} {s:7.2f} {c:7.2f} {p:8.1f} {files:>6}")
PY
