#!/usr/bin/env bash
# Saving a large .dbx message file as .eml files: about 1 GB made by the test writer, saved with
# `kestrel-cli save-eml`, side by side with `cat FILE > /dev/null` (reading the bytes) and `cp`
# (reading and writing the same bytes). A second file holds one message of a quarter of that
# size, to show that memory does not grow with the message either. `split` into pieces of the
# messages' size shows what writing the same bytes into as many files costs on the same disk.
# `save-eml --recover` adds the scan for messages the index does not reach: on the sound files
# (the scan finds nothing new) and on a copy of the first whose index pointer is zeroed (every
# message comes from the scan).
# Usage: bench/dbx.sh [RUNS] [SCRATCH] [SIZE_BYTES] [OUT]
#   defaults: 3, a temporary folder, 1 GiB, SCRATCH/out (where the copies and .eml files go;
#   a tmpfs folder there leaves the file system's cost of creating files out of the figures)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
scratch=${2:-$(mktemp -d)}
size=${3:-1073741824}
out=${4:-$scratch/out}
repo=$PWD
. bench/lib.sh
bench_build make-test-dbx
make=$build/bin/make-test-dbx

big=$scratch/big.dbx
huge=$scratch/one-message.dbx
[[ -f $big && $(stat -c %s "$big") -ge $((size * 9 / 10)) ]] || "$make" "$big" --size "$size" --message-size 65536
[[ -f $huge ]] || "$make" "$huge" --size $((size / 4)) --message-size $((size / 4))

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# measure LABEL FILE COMMAND...: runs the command RUNS times, each into a fresh folder $dest.
# Nothing is deleted until every figure is taken: removing 16,000 files keeps a file system busy
# well after rm returns, and the next contender would pay for it.
n=0
measure() {
    local label=$1 file=$2; shift 2
    local times=() rss=()
    for ((i = 0; i < runs; i++)); do
        export dest=$out/$((n++))
        mkdir -p "$dest"
        sync
        /usr/bin/time -f '%e %M' -o "$scratch/time" "$@" >/dev/null 2>&1
        read -r t m <"$scratch/time"
        times+=("$t"); rss+=("$m")
    done
    local t m bytes
    t=$(printf '%s\n' "${times[@]}" | median)
    m=$(printf '%s\n' "${rss[@]}" | median)
    bytes=$(stat -c %s "$file")
    awk -v l="$label" -v t="$t" -v m="$m" -v b="$bytes" \
        'BEGIN { printf "%-34s %8.2f s %9.1f MB/s %8.1f MB peak\n", l, t, (t > 0 ? b / t / 1048576 : 0), m / 1024 }'
}

noindex=$scratch/no-index.dbx
if [[ ! -f $noindex ]]; then
    cp "$big" "$noindex"
    printf '\0\0\0\0' | dd of="$noindex" bs=1 seek=$((0xE4)) conv=notrunc status=none
fi

for file in "$big" "$huge"; do
    echo "$(basename "$file"): $(stat -c %s "$file") bytes"
    cat "$file" >/dev/null # warm the cache, as for every contender
    measure "cat FILE > /dev/null" "$file" sh -c 'cat "$1" >/dev/null' sh "$file"
    measure "cp FILE" "$file" sh -c 'cp "$1" "$dest/copy.dbx"' sh "$file"
    measure "split -b 64KiB FILE" "$file" sh -c 'split -b 65536 -a 6 "$1" "$dest/x"' sh "$file"
    measure "kestrel-cli save-eml" "$file" sh -c '"$2" save-eml "$1" "$dest"' sh "$file" "$cli"
    measure "kestrel-cli save-eml --recover" "$file" \
        sh -c '"$2" save-eml --recover "$1" "$dest"' sh "$file" "$cli"
done
echo "$(basename "$noindex"): $(stat -c %s "$noindex") bytes, index pointer zeroed"
measure "kestrel-cli save-eml --recover" "$noindex" \
    sh -c '"$2" save-eml --recover "$1" "$dest"' sh "$noindex" "$cli"
echo "recovered: $(find "$out/$((n - 1))" -name '*.eml' | wc -l) .eml files"
echo "saved: $(find "$out/$((3 * runs))" -name '*.eml' | wc -l) .eml files, $(du -sb "$out/$((3 * runs))" | cut -f1) bytes"
rm -rf "$out"
