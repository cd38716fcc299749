#!/usr/bin/env bash
# Loading a large settings file: a qor.ini of 80,000 values (just under the 1 MB the program
# reads) in one group, loaded by `kestrel-cli settings`, beside `cat` (reading the bytes) and
# Python's configparser (a peer that parses the same file). Loading must grow with the size of
# the file, not with its square: the script also times a file of a quarter of the values.
# Usage: bench/settings.sh [RUNS] [SCRATCH]   (defaults: 5, a temporary folder)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
scratch=${2:-$(mktemp -d)}
repo=$PWD
. bench/lib.sh
bench_build

make_ini() { # FOLDER COUNT
    mkdir -p "$1/VANDREL/KESTL"
    python3 - "$1/VANDREL/KESTL/qor.ini" "$2" <<'PY'
import sys
path, count = sys.argv[1], int(sys.argv[2])
with open(path, "w", newline="") as f:
    f.write("[Option]\r\nHTMLItemNumber=10\r\n")
    for i in range(count):
        f.write(f"K{i}=1\r\n")
PY
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
measure() {
    local label=$1 values=$2; shift 2
    local times=() rss=()
    for ((i = 0; i < runs; i++)); do
        /usr/bin/time -f '%e %M' -o "$scratch/time" "$@" >/dev/null 2>&1
        read -r t m <"$scratch/time"
        times+=("$t"); rss+=("$m")
    done
    local t m
    t=$(printf '%s\n' "${times[@]}" | median)
    m=$(printf '%s\n' "${rss[@]}" | median)
    awk -v l="$label" -v n="$values" -v t="$t" -v m="$m" \
        'BEGIN { printf "%-34s %7d values %8.3f s %8.1f MB peak\n", l, n, t, m / 1024 }'
}

for values in 20000 80000; do
    home=$scratch/config-$values
    make_ini "$home" "$values"
    ini=$home/VANDREL/KESTL/qor.ini
    echo "qor.ini: $(stat -c %s "$ini") bytes"
    XDG_CONFIG_HOME=$home "$cli" settings >/dev/null # warm the cache
    measure "kestrel-cli settings" "$values" env XDG_CONFIG_HOME="$home" "$cli" settings
    measure "cat (floor)" "$values" cat "$ini"
    measure "python3 configparser" "$values" python3 -c \
        'import configparser, sys; c = configparser.ConfigParser(interpolation=None, strict=False); c.read(sys.argv[1])' "$ini"
done
