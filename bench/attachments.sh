#!/usr/bin/env bash
# One message with 10,000 attachments: all named "same.txt" (every one after the first gets the
# next clash number, so naming must not probe every taken number again), and all named apart.
# Times `kestrel-cli extract --all-files` on it beside a floor that only creates as many files
# of the same sizes, and checks what was written: 10,000 files, "same (9999).txt" holding 9999.
# Usage: bench/attachments.sh [RUNS] [SCRATCH]   (defaults: 3, a temporary folder)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
scratch=${2:-$(mktemp -d)}
repo=$PWD
. bench/lib.sh
bench_build

make_message() { # FILE SAME(1|0)
    python3 - "$1" "$2" <<'PY'
import base64, sys
path, same = sys.argv[1], sys.argv[2] == "1"
with open(path, "w", newline="") as f:
    f.write("From: Bob <bob@example.com>\r\nSubject: many\r\n"
            "Date: Tue, 15 Nov 1994 08:12:31 -0500\r\nMIME-Version: 1.0\r\n"
            "Content-Type: multipart/mixed; boundary=\"B\"\r\n\r\n")
    for i in range(10000):
        name = "same.txt" if same else f"file{i}.txt"
        f.write(f"--B\r\nContent-Type: application/octet-stream; name=\"{name}\"\r\n"
                "Content-Transfer-Encoding: base64\r\n"
                f"Content-Disposition: attachment; filename=\"{name}\"\r\n\r\n"
                + base64.b64encode(str(i).encode()).decode() + "\r\n")
    f.write("--B--\r\n")
PY
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
measure() { # LABEL OUT COMMAND...
    local label=$1 out=$2; shift 2
    local times=() rss=()
    for ((i = 0; i < runs; i++)); do
        rm -rf "$out" && mkdir -p "$out"
        /usr/bin/time -f '%e %M' -o "$scratch/time" "$@" >/dev/null 2>&1
        read -r t m <"$scratch/time"
        times+=("$t"); rss+=("$m")
    done
    local t m
    t=$(printf '%s\n' "${times[@]}" | median)
    m=$(printf '%s\n' "${rss[@]}" | median)
    awk -v l="$label" -v t="$t" -v m="$m" 'BEGIN { printf "%-40s %8.3f s %8.1f MB peak\n", l, t, m / 1024 }'
}

# The settings the run reads: keep every size (the attachments are a few bytes each).
bench_settings "$scratch" HTMLItemNumber=10 BrowserReport=0 ExtractOnlyPicture=0 SetAttachmentDate=1 \
    AttachmentSizeLimit=0
for same in 1 0; do
    mail=$scratch/mail-$same
    mkdir -p "$mail"
    make_message "$mail/many.eml" "$same"
    label=$([ "$same" = 1 ] && echo "10,000 x same.txt" || echo "10,000 names apart")
    out=$scratch/out-$same
    measure "kestrel-cli extract ($label)" "$out" "$cli" extract --all-files --no "$mail" "$out"
    count=$(find "$out" -maxdepth 1 -type f -name '*.txt' | wc -l)
    [ "$count" = 10000 ] || { echo "attachments.sh: $count files written, not 10000" >&2; exit 1; }
    if [ "$same" = 1 ]; then
        [ "$(cat "$out/same (9999).txt")" = 9999 ] || { echo "attachments.sh: wrong same (9999).txt" >&2; exit 1; }
    fi
    measure "floor: 10,000 files created" "$scratch/floor" python3 -c \
        'import os, sys
for i in range(10000):
    with open(os.path.join(sys.argv[1], f"f{i}.txt"), "w") as f: f.write(str(i))' "$scratch/floor"
done
