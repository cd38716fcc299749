#!/usr/bin/env bash
# Naming a saved message when its name is taken: `kestrel-cli save-eml` of one message into a
# folder that already holds its name and the next COUNT - 1 numbered ones (NAME.eml, NAME0.eml,
# NAME1.eml, ...), so it counts past every one of them, beside `ls -f` of that folder (reading
# its names once). The count must grow with the names taken, not with their square: the script
# also times a tenth of them.
# Usage: bench/names.sh [RUNS] [SCRATCH] [COUNT]   (defaults: 5, a temporary folder, 10000)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
if [[ -n ${2:-} ]]; then
    scratch=$2
else
    scratch=$(mktemp -d)
    trap 'rm -rf "$scratch"' EXIT
fi
count=${3:-10000}
repo=$PWD
. bench/lib.sh
bench_build make-test-dbx

dbx=$scratch/one.dbx
"$build/bin/make-test-dbx" "$dbx" --size 400 --message-size 300 >/dev/null
# The name the message is saved under, from a save into an empty folder.
rm -rf "$scratch/first" && mkdir -p "$scratch/first"
"$cli" save-eml "$dbx" "$scratch/first" >/dev/null 2>&1
name=$(cd "$scratch/first" && ls | head -1)
name=${name%.eml}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
measure() { # LABEL TAKEN COMMAND...: the command RUNS times, the new file removed after each
    local label=$1 taken=$2; shift 2
    local times=()
    for ((i = 0; i < runs; i++)); do
        local start end
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s%N)
        times+=("$(((end - start) / 1000))")
        rm -f "$dest/$name$((taken - 1)).eml"
    done
    awk -v l="$label" -v n="$taken" -v t="$(printf '%s\n' "${times[@]}" | median)" \
        'BEGIN { printf "%-24s %7d names taken %8.1f ms\n", l, n, t / 1000 }'
}

for taken in $((count / 10)) "$count"; do
    dest=$scratch/taken-$taken
    if [[ ! -f $dest/$name$((taken - 2)).eml ]]; then
        mkdir -p "$dest"
        (cd "$dest" && : >"$name.eml" && for ((k = 0; k < taken - 1; k++)); do : >"$name$k.eml"; done)
    fi
    "$cli" save-eml "$dbx" "$dest" >/dev/null 2>&1 # warm the cache
    [[ -f $dest/$name$((taken - 1)).eml ]] || { echo "save-eml did not count past $taken names" >&2; exit 1; }
    rm -f "$dest/$name$((taken - 1)).eml"
    measure "kestrel-cli save-eml" "$taken" "$cli" save-eml "$dbx" "$dest"
    measure "ls -f (floor)" "$taken" ls -f "$dest"
done
