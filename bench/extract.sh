#!/usr/bin/env bash
# Times `kestrel-cli extract --all-files` (filters, dating and the report included) against the
# peers of ../shared/bench/peers.sh on two generated mail stores, in one run: 2000 messages of
# ordinary size (--scale 1) and 600 messages with four times larger attachments (--scale 4).
# Beside the peers' floor (all input read, the output's bytes written to one file) it times
# files_floor.cpp: the same reading, and files of the sizes Kestrel writes.
#
#   bench/extract.sh [-n RUNS] [-b] [CACHE_DIR]
#
# CACHE_DIR keeps the generated corpora between runs (default: $KESTREL_BENCH_CACHE, else
# ${XDG_CACHE_HOME:-~/.cache}/kestrel-bench). -b also times a store holding one 200 MB
# attachment and one of messages whose header block never ends, for the memory bound. The
# shared bench folder is ../shared/bench beside the repository unless $KESTREL_SHARED_BENCH
# names another.
set -euo pipefail

usage() { sed -n '5p' "$0" >&2; exit 2; }
runs=3 big=0
while getopts n:b opt; do
    case $opt in n) runs=$OPTARG ;; b) big=1 ;; *) usage ;; esac
done
shift $((OPTIND - 1))
[ $# -le 1 ] || usage

source "$(dirname "$0")/lib.sh"
bench_setup extract.sh peers.sh "${1:-}"

scratch=$cache/run
rm -rf "$scratch"
bench_settings "$scratch"

# kestrel-cli takes one mail folder at a time, as the program does: one call per folder of the
# tree the peers walk, each into its own destination.
kestrel_walk() {   # OUT
    local out=$1 dir rel
    while IFS= read -r -d '' dir; do
        rel=${dir#"$maildir"}
        rel=${rel#/}
        "$cli" extract --all-files --yes "$dir" "$out/${rel:-.}" > /dev/null 2>> "$out.err" || return 1
    done < <(find "$maildir" -type d -print0 | sort -z)
}
export -f kestrel_walk
export cli

measure() {   # NAME RUN COMMAND...   (the output folder, emptied first, is the last argument)
    local name=$1 run=$2 out=$scratch/out/$1 t0 t1
    shift 2
    rm -rf "$out" "$out.err"; mkdir -p "$out"; sync
    t0=$(date +%s.%N)
    /usr/bin/time -v -o "$scratch/time.txt" "$@" "$out" || echo "extract.sh: $name failed (see $out.err)" >&2
    t1=$(date +%s.%N)
    awk -v name="$name" -v run="$run" -v t0="$t0" -v t1="$t1" \
        -v files="$(find "$out" -type f -not -path '*/report/*' -not -path '*/process/*' -not -name report.htm | wc -l)" '
        /User time/   { cpu += $NF }
        /System time/ { cpu += $NF }
        /Maximum resident/ { rss = $NF / 1024 }
        END { printf "%s\t%d\t%.3f\t%.3f\t%.1f\t%d\n", name, run, t1 - t0, cpu, rss, files }
    ' "$scratch/time.txt" >> "$results"
}

bench_shape() {   # MESSAGES SCALE
    local messages=$1 scale=$2 store results inbytes run turn
    store=$cache/store-m$messages-s$scale-seed1
    if [ ! -f "$store/MANIFEST.json" ]; then
        echo "extract.sh: making the corpus in $store" >&2
        rm -rf "$store"
        python3 "$shared/make-corpus.py" "$store" --messages "$messages" --scale "$scale" --seed 1
    fi
    maildir=$store/Account1/Inbox
    export maildir
    results=$scratch/results-m$messages-s$scale.tsv
    : > "$results"
    inbytes=$(find "$maildir" -type f -iname '*.eml' -print0 | xargs -r -0 cat | wc -c)

    kestrel_walk "$scratch/warm" >/dev/null 2>&1 || true   # untimed warm-up
    # What files_floor reads and writes: every message, and files of the sizes Kestrel wrote.
    find "$maildir" -type f -iname '*.eml' -print0 | sort -z > "$scratch/messages.list"
    find "$scratch/warm" -type f -printf '%s\n' > "$scratch/sizes.txt"
    rm -rf "$scratch/warm"
    # Turns: one round of the peers (peers.sh), then Kestrel and files_floor, in turn first, so
    # that the load of a shared machine, and what the file system still charges for the files
    # deleted just before, falls on all of them alike.
    for run in $(seq "$runs"); do
        bash "$shared/peers.sh" -n 1 "$maildir" "$scratch/peers" > "$scratch/peers-table-$run.txt"
        awk -v run="$run" 'BEGIN { OFS = "\t" } { $2 = run; print }' "$scratch/peers/results.tsv" >> "$results"
        for turn in $( ((run % 2)) && echo "kestrel files_floor" || echo "files_floor kestrel"); do
            case $turn in
            kestrel) measure kestrel "$run" bash -c 'kestrel_walk "$1"' _ ;;
            files_floor) measure files_floor "$run" "$files_floor" "$scratch/messages.list" "$scratch/sizes.txt" ;;
            esac
        done
        echo "extract.sh: --messages $messages --scale $scale: run $run done" >&2
    done
    rm -rf "$scratch/peers/out" "$scratch/out"

    echo
    echo "== $messages messages, --scale $scale (Account1/Inbox) =="
    python3 - "$results" "$inbytes" <<'PY'
import statistics, sys
rows = [l.rstrip("\n").split("\t") for l in open(sys.argv[1]) if l.strip()]
mb = int(sys.argv[2]) / 1e6
peers = ["kestrel"] + [p for p in dict.fromkeys(r[0] for r in rows) if p != "kestrel"]
med = {p: statistics.median(float(r[2]) for r in rows if r[0] == p) for p in peers}
cpu = {p: statistics.median(float(r[3]) for r in rows if r[0] == p) for p in peers}
rss = {p: max(float(r[4]) for r in rows if r[0] == p) for p in peers}
print(f"input: {mb:.1f} MB of .eml; s = median wall time; MB/s = input MB / median wall time;")
print("cpu s = median user+system time (less disturbed by other load than the wall time)")
print(f"{'tool':<17} {'s':>7} {'MB/s':>7} {'cpu s':>7} {'peak MB':>8} {'files':>6} {'x (wall)':>9} {'x (cpu)':>8}")
for p in peers:
    files = [r[5] for r in rows if r[0] == p][-1]
    if p == "kestrel":
        ratio = f"{'-':>9} {'-':>8}"
    else:
        ratio = f"{med[p] / med['kestrel']:9.2f} {cpu[p] / cpu['kestrel']:8.2f}"
    print(f"{p:<17} {med[p]:7.2f} {mb / med[p]:7.1f} {cpu[p]:7.2f} {rss[p]:8.1f} {files:>6} {ratio}")
print("x: how many times Kestrel is faster than the tool (a floor: below 1, the share of the floor)")
k = med["kestrel"]
print(f"targets: >= 2x ripmime: {med['ripmime'] / k:.2f}x; >= 6x py_extract: "
      f"{med['py_extract'] / k:.2f}x; within 3x of io_floor: {k / med['io_floor']:.2f}x; "
      f"peak memory {rss['kestrel']:.1f} MB (< 32 MB)")
print(f"files_floor (the same reading, and files of the sizes Kestrel wrote): "
      f"{med['files_floor'] / med['io_floor']:.2f}x io_floor; Kestrel is "
      f"{k / med['files_floor']:.2f}x files_floor")
spread = {p: sorted(float(r[2]) for r in rows if r[0] == p) for p in ("kestrel", "io_floor", "files_floor")}
print("runs from fastest to slowest (s): " + "; ".join(
    f"{p} " + " ".join(f"{t:.2f}" for t in ts) for p, ts in spread.items()))
PY
}

files_floor=$build/files_floor
c++ -O2 -std=c++17 -o "$files_floor" "$repo/bench/files_floor.cpp"

bench_shape 2000 1
bench_shape 600 4

if [ "$big" = 1 ]; then
    bigdir=$cache/big200/Inbox
    if [ ! -f "$bigdir/big.eml" ]; then
        mkdir -p "$bigdir"
        echo "extract.sh: writing a message with a 200 MB attachment" >&2
        python3 - "$bigdir/big.eml" <<'PY'
import base64, os, random, sys
rng = random.Random(200)
with open(sys.argv[1], "wb") as f:
    f.write(b"From: Big <big@example.org>\r\nSubject: one big file\r\n"
            b"Date: Tue, 15 Nov 1994 08:12:31 +0000\r\nMIME-Version: 1.0\r\n"
            b"Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n"
            b"Content-Type: text/plain\r\n\r\nsee attached\r\n--b\r\n"
            b"Content-Type: application/octet-stream; name=\"big.bin\"\r\n"
            b"Content-Transfer-Encoding: base64\r\n"
            b"Content-Disposition: attachment; filename=\"big.bin\"\r\n\r\n")
    chunk = 57 * 1024
    for _ in range(200 * 1000 * 1000 // chunk + 1):
        data = rng.randbytes(chunk)
        enc = base64.encodebytes(data).replace(b"\n", b"\r\n")
        f.write(enc)
    f.write(b"--b--\r\n")
PY
    fi
    rm -rf "$scratch/big"
    /usr/bin/time -v -o "$scratch/time-big.txt" "$cli" extract --all-files --yes "$bigdir" "$scratch/big" >/dev/null 2>&1
    att=$(stat -c %s "$scratch/big/big.bin")
    awk -v att="$att" '/Maximum resident/ { rss = $NF / 1024 }
        /Elapsed/ { t = $NF }
        END { printf "200 MB attachment: %.1f MB attachment, peak memory %.1f MB (bound 32 MB), wall %s\n",
              att / 1048576, rss, t }' "$scratch/time-big.txt"

    # Damaged messages whose header block never ends: 50 MB in one line, and 3 million lines.
    baddir=$cache/runaway-headers/Inbox
    if [ ! -f "$baddir/lines.eml" ]; then
        mkdir -p "$baddir"
        python3 - "$baddir" <<'PY'
import sys
d = sys.argv[1]
with open(d + "/line.eml", "wb") as f:
    f.write(b"Subject: one line\r\nX-Long: " + b"x" * (50 * 1000 * 1000) + b"\r\n\r\nbody\r\n")
with open(d + "/lines.eml", "wb") as f:
    f.write(b"Subject: many lines\r\n")
    f.writelines(b"X-H%d: value\r\n" % i for i in range(3000000))
    f.write(b"\r\nbody\r\n")
PY
    fi
    rm -rf "$scratch/runaway"
    /usr/bin/time -v -o "$scratch/time-runaway.txt" "$cli" extract --all-files --yes "$baddir" "$scratch/runaway" >/dev/null 2>&1
    awk '/Maximum resident/ { rss = $NF / 1024 } /Elapsed/ { t = $NF }
        END { printf "headers that never end (50 MB in a line, 3 million lines): peak memory %.1f MB (bound 32 MB), wall %s\n",
              rss, t }' "$scratch/time-runaway.txt"
fi
