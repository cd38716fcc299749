# What the extraction benchmarks share; sourced, not run.
#
#   bench_setup SCRIPT NEEDED [CACHE_DIR]
#
# Sets repo (this repository), shared (../shared/bench beside it unless $KESTREL_SHARED_BENCH
# names another; it must hold NEEDED), cache (CACHE_DIR, else $KESTREL_BENCH_CACHE, else
# ${XDG_CACHE_HOME:-~/.cache}/kestrel-bench), installs the peers, builds the command line and the
# component as a release build in build-bench, apart from the developer build, and sets build
# and cli.
bench_setup() {
    local script=$1 needed=$2
    repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    shared=${KESTREL_SHARED_BENCH:-$repo/../shared/bench}
    [ -f "$shared/$needed" ] || { echo "$script: no $needed in $shared" >&2; exit 1; }
    shared=$(cd "$shared" && pwd)
    cache=${3:-${KESTREL_BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kestrel-bench}}
    mkdir -p "$cache"
    cache=$(cd "$cache" && pwd)

    bench_build
}

# Installs the peers and builds the command line and the component, and any TARGETs (the test
# tools among them), as a release build in build-bench, apart from the developer build; sets
# build and cli. Needs repo.
bench_build() {   # [TARGET...]
    "$repo/scripts/install-deps" --bench
    build=$repo/build-bench
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTREL_GUI=OFF \
        -DKESTREL_TESTS="$([ $# -gt 0 ] && echo ON || echo OFF)" >/dev/null
    cmake --build "$build" -j "$(nproc)" --target kestrel-cli kestrel_extractor "$@" >/dev/null
    cli=$build/bin/kestrel-cli
}

# Writes the settings file the runs read into SCRATCH/config and points the program at it: keep
# every size, date the files, strip forward prefixes, ten mails a report page; or, when given,
# the [Option] values KEY=VALUE instead.
bench_settings() {   # SCRATCH [KEY=VALUE...]
    local config=$1/config
    shift
    [ $# -gt 0 ] || set -- HTMLItemNumber=10 BrowserReport=0 ExtractOnlyPicture=0 FileRename=0 \
        RemoveFwString=1 SetAttachmentDate=1 AttachmentSizeLimit=0
    mkdir -p "$config/VANDREL/KESTL"
    { printf '[Option]\r\n'; printf '%s\r\n' "$@"; } > "$config/VANDREL/KESTL/qor.ini"
    export XDG_CONFIG_HOME=$config
}
