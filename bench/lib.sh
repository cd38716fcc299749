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

# Installs the peers and builds the command line and the component as a release build in
# build-bench, apart from the developer build; sets build and cli. Needs repo.
bench_build() {
    "$repo/scripts/install-deps" --bench
    build=$repo/build-bench
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTREL_GUI=OFF \
        -DKESTREL_TESTS=OFF >/dev/null
    cmake --build "$build" -j "$(nproc)" --target kestrel-cli kestrel_extractor >/dev/null
    cli=$build/bin/kestrel-cli
}
