#!/usr/bin/env bash
# Store discovery over a large store: about 20,000 folders in 200 accounts.
# Times `kestrel-cli discover` against `find -type d` (a floor: one walk, no sorting) and checks
# that no folder is listed more often than the two walks need (once to find the account files,
# once more inside its account).
# Usage: bench/discover.sh [RUNS] [SCRATCH]   (defaults: 5, a temporary folder)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
scratch=${2:-$(mktemp -d)}
repo=$PWD
. bench/lib.sh
bench_build
store=$scratch/store

if [[ ! -f $store/.complete ]]; then
    rm -rf "$store"
    python3 - "$store" <<'PY'
import os, sys
root = sys.argv[1]
for a in range(200):
    acct = os.path.join(root, f"Account {a:03d}")
    os.makedirs(os.path.join(acct, "Inbox"))
    open(os.path.join(acct, f"account{{{a:04X}}}.oeaccount"), "w").close()
    made = 2  # the account folder and its Inbox
    parents = [os.path.join(acct, "Inbox")]
    i = 0
    while made < 100:
        parent = parents[i // 10]  # ten sub-folders a folder: about three levels deep
        child = os.path.join(parent, f"Folder {i:02d}.{a}")
        os.makedirs(child)
        parents.append(child)
        made += 1
        i += 1
open(os.path.join(root, ".complete"), "w").close()
PY
fi
folders=$(find "$store" -mindepth 1 -type d | wc -l)
echo "store: $folders folders, $(find "$store" -name '*.oeaccount' | wc -l) accounts"

listed=$("$cli" discover --root "$store" | wc -l)
echo "discover lists $listed mail folders"

if command -v strace >/dev/null; then
    opened=$(strace -f -e trace=openat -o >(grep -c 'O_DIRECTORY' >"$scratch/opens") \
        "$cli" discover --root "$store" >/dev/null; sleep 1; cat "$scratch/opens")
    echo "folders opened for listing: $opened (two walks need at most $((folders + 1 + listed)))"
fi

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
measure() {
    local label=$1; shift
    local times=() rss=()
    for ((i = 0; i < runs; i++)); do
        /usr/bin/time -f '%e %M' -o "$scratch/time" "$@" >/dev/null 2>&1
        read -r t m <"$scratch/time"
        times+=("$t"); rss+=("$m")
    done
    local t m
    t=$(printf '%s\n' "${times[@]}" | median)
    m=$(printf '%s\n' "${rss[@]}" | median)
    awk -v l="$label" -v t="$t" -v m="$m" -v f="$folders" \
        'BEGIN { printf "%-22s %8.3f s %10.0f folders/s %8.1f MB peak\n", l, t, (t > 0 ? f / t : 0), m / 1024 }'
}
"$cli" discover --root "$store" >/dev/null # warm the cache
measure "kestrel-cli discover" "$cli" discover --root "$store"
measure "find -type d (floor)" find "$store" -type d
