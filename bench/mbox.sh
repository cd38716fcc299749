#!/usr/bin/env bash
# Times `kestrel-cli extract --all-files` on an mbox file of about 1 GB, beside the same run on
# the same messages as a folder of .eml files, and beside `ripmime --mailbox` on the mbox, in one
# run.
#
#   bench/mbox.sh [-n RUNS] [-m MESSAGES] [CACHE_DIR]
#
# CACHE_DIR keeps the generated messages, the mbox and the folder between runs (default:
# $KESTREL_BENCH_CACHE, else ${XDG_CACHE_HOME:-~/.cache}/kestrel-bench). MESSAGES (default 4500)
# sets the size: 4500 messages of ../shared/bench/make-corpus.py (--scale 1) make about 1 GB.
# The shared bench folder is ../shared/bench beside the repository unless $KESTREL_SHARED_BENCH
# names another. The outputs are deleted at the end; the cache stays.
set -euo pipefail

usage() { sed -n '6p' "$0" >&2; exit 2; }
runs=3 messages=4500
while getopts n:m: opt; do
    case $opt in n) runs=$OPTARG ;; m) messages=$OPTARG ;; *) usage ;; esac
done
shift $((OPTIND - 1))
[ $# -le 1 ] || usage

source "$(dirname "$0")/lib.sh"
bench_setup mbox.sh make-corpus.py "${1:-}"

# The messages: every .eml file of a generated store, in one folder (hard links) and in one
# mbox file (a "From " line before each, body lines beginning ">*From " quoted with one more
# ">", an empty line after each), in the same order.
data=$cache/mbox-m$messages-seed2
if [ ! -f "$data/done" ]; then
    echo "mbox.sh: making $messages messages, the folder and the mbox in $data" >&2
    rm -rf "$data"
    python3 "$shared/make-corpus.py" "$data/store" --messages "$messages" --scale 1 --seed 2 >/dev/null
    python3 - "$data" <<'PY'
import os, re, sys
data = sys.argv[1]
paths = sorted(os.path.join(d, f) for d, _, fs in os.walk(os.path.join(data, "store"))
               for f in fs if f.endswith(".eml"))
os.makedirs(os.path.join(data, "eml"))
quote = re.compile(rb"^(>*From )", re.M)
with open(os.path.join(data, "mbox"), "wb") as box:
    for n, path in enumerate(paths):
        os.link(path, os.path.join(data, "eml", "%06d.eml" % n))
        text = open(path, "rb").read()
        box.write(b"From bench@example.org Tue Nov 15 08:12:31 1994\n")
        box.write(quote.sub(rb">\1", text))
        box.write(b"\n" if text.endswith(b"\n") else b"\n\n")
PY
    touch "$data/done"
fi

scratch=$cache/mbox-run
rm -rf "$scratch"
bench_settings "$scratch"
results=$scratch/results.tsv
: > "$results"

measure() {   # NAME RUN COMMAND... (the output folder is the last argument)
    local name=$1 run=$2 out=$scratch/out/$1 t0 t1
    shift 2
    rm -rf "$out"; mkdir -p "$out"; sync
    t0=$(date +%s.%N)
    /usr/bin/time -v -o "$scratch/time.txt" "$@" "$out" > /dev/null 2> "$scratch/$name.err" ||
        echo "mbox.sh: $name failed (see $scratch/$name.err)" >&2
    t1=$(date +%s.%N)
    awk -v name="$name" -v run="$run" -v t0="$t0" -v t1="$t1" \
        -v files="$(find "$out" -type f -not -path '*/report/*' -not -path '*/process/*' -not -name report.htm | wc -l)" '
        /User time/   { cpu += $NF }
        /System time/ { cpu += $NF }
        /Maximum resident/ { rss = $NF / 1024 }
        END { printf "%s\t%d\t%.3f\t%.3f\t%.1f\t%d\n", name, run, t1 - t0, cpu, rss, files }
    ' "$scratch/time.txt" >> "$results"
}

ripmime_box() { ripmime --mailbox --no-nameless -i "$1" -d "$2"; }
export -f ripmime_box

cat "$data/mbox" > /dev/null   # warm the page cache
for run in $(seq "$runs"); do
    measure kestrel_mbox "$run" "$cli" extract --all-files --yes "$data/mbox"
    measure kestrel_eml "$run" "$cli" extract --all-files --yes "$data/eml"
    measure ripmime_mbox "$run" bash -c 'ripmime_box "$0" "$1"' "$data/mbox"
    echo "mbox.sh: run $run done" >&2
done
rm -rf "$scratch/out"

echo "== $(ls "$data/eml" | wc -l) messages: the mbox ($(($(stat -c %s "$data/mbox") / 1000000)) MB) and the same messages as .eml files =="
python3 - "$results" "$(stat -c %s "$data/mbox")" <<'PY'
import statistics, sys
rows = [l.rstrip("\n").split("\t") for l in open(sys.argv[1]) if l.strip()]
mb = int(sys.argv[2]) / 1e6
tools = list(dict.fromkeys(r[0] for r in rows))
print("s = median wall time; MB/s = mbox MB / s; cpu s = median user+system; peak = largest RSS")
print(f"{'tool':<13} {'s':>7} {'MB/s':>7} {'cpu s':>7} {'peak MB':>8} {'files':>6}")
for t in tools:
    s = statistics.median(float(r[2]) for r in rows if r[0] == t)
    c = statistics.median(float(r[3]) for r in rows if r[0] == t)
    p = max(float(r[4]) for r in rows if r[0] == t)
    files = [r[5] for r in rows if r[0] == t][-1]
    print(f"{t:<13} {s:7.2f} {mb / s:7.1f} {c:7.2f} {p:8.1f} {files:>6}")
PY
