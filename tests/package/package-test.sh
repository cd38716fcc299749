#!/usr/bin/env bash
# Builds the Debian package from a build folder, unpacks it into a throw-away root with dpkg -x
# and runs the installed programs from there: they must find their component and files
# relative to themselves, extract the sample store, and write nothing into the installation.
# Usage: package-test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The package and its control fields.
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    fail "cpack could not build the package"
fi
debs=("$work"/out/kestrel_*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "expected one kestrel_*.deb, got: ${debs[*]}"
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
depends=$(dpkg-deb -f "$deb" Depends)
for want in libwxgtk3.2 libgmime-3.0 xdg-utils libstdc++6; do
    [[ $depends == *"$want"* ]] || fail "Depends lacks $want: $depends"
done
[[ $(dpkg-deb -f "$deb" Package) == kestrel ]] || fail "the package is not named kestrel"

# What it holds, and nothing of the build's own (tests, static libraries, headers).
root="$work/root"
dpkg -x "$deb" "$root"
for f in usr/bin/kestrel usr/bin/kestrel-cli \
    usr/lib/kestrel/kestrel-classes.reg usr/lib/kestrel/libkestrel_extractor.so \
    usr/share/kestrel/LANG/German.lng \
    usr/share/applications/kestrel.desktop usr/share/icons/hicolor/scalable/apps/kestrel.svg \
    usr/share/man/man1/kestrel.1.gz usr/share/man/man1/kestrel-cli.1.gz \
    usr/share/bash-completion/completions/kestrel-cli; do
    [[ -f $root/$f ]] || fail "the package lacks $f"
done
ls "$root"/usr/share/metainfo/*.metainfo.xml >/dev/null || fail "the package lacks its metainfo"
if [[ -d $source/help ]]; then
    [[ -f $root/usr/share/kestrel/help/kestrel.hhp ]] || fail "the package lacks the help book"
fi
stray=$(cd "$root" && find . \( -name '*.a' -o -name '*.h' -o -name '*test*' -o -name '*.o' \) -print)
[[ -z $stray ]] || fail "the package holds build files: $stray"
# Each theme size holds a picture of that size (PNG width and height at bytes 16 to 23).
for size in 16 22 24 32 48 64 128 256; do
    png="$root/usr/share/icons/hicolor/${size}x${size}/apps/kestrel.png"
    [[ -f $png ]] || fail "no ${size}x${size} icon"
    dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{print $3*256+$4 "x" $7*256+$8}')
    [[ $dims == "${size}x${size}" ]] || fail "the ${size}x${size} icon is $dims"
done

# The installed programs, run from the throw-away root with a home of their own.
home="$work/home"
mkdir -p "$home"
run() { env -i PATH=/usr/bin:/bin HOME="$home" LC_ALL=C.UTF-8 "$@"; }
snapshot() { (cd "$root" && find . -printf '%p %s %m %T@\n' | sort); }
snapshot >"$work/before"

[[ $(run "$root/usr/bin/kestrel-cli" --version) == "kestrel-cli $version" ]] ||
    fail "kestrel-cli --version does not print $version"
# Loads every library the window program links, without needing a display.
[[ $(run "$root/usr/bin/kestrel" --version) == "kestrel $version" ]] ||
    fail "kestrel --version does not print $version"

# An extraction of the sample Inbox.
mail="$source/samples/store/Hotmail (jane)/Inbox"
dest="$work/dest"
if ! run "$root/usr/bin/kestrel-cli" extract --no --all-files "$mail" "$dest" >"$work/extract.log" 2>&1; then
    cat "$work/extract.log" >&2
    fail "the installed kestrel-cli could not extract"
fi
[[ -s $dest/report.htm ]] || fail "the extraction wrote no report"
files=$(find "$dest" -maxdepth 1 -type f ! -name 'report.htm' | wc -l)
[[ $files -ge 2 ]] || fail "the extraction saved $files attachments"
# A run whose sub-directory is taken by a file: the component's failures go to the error log,
# which an installed program keeps in the user's state folder.
mkdir -p "$work/blocked"
touch "$work/blocked/Inbox"
run "$root/usr/bin/kestrel-cli" extract --no --folder-subdir "$mail" "$work/blocked" >/dev/null 2>&1 || true
log="$home/.local/state/kestrel/errorlog.txt"
grep -q "OleException" "$log" 2>/dev/null ||
    fail "no error log in the state folder; logs found: $(find "$home" "$root" -name errorlog.txt)"

snapshot >"$work/after"
diff -u "$work/before" "$work/after" >&2 || fail "running the programs changed the installation"

# Desktop integration files pass their validators, where those are installed.
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$root/usr/share/applications/kestrel.desktop" ||
        fail "desktop-file-validate rejects the menu entry"
else
    echo "desktop-file-validate not installed: menu entry not validated"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml ||
        fail "appstreamcli rejects the metainfo"
else
    echo "appstreamcli not installed: metainfo not validated"
fi
if command -v man >/dev/null; then
    for page in kestrel kestrel-cli; do
        warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
        [[ -z $warnings ]] || fail "$page.1: $warnings"
    done
fi

# Completion: the first word gives the commands, an option of extract its options.
complete_words() {
    bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _kestrel_cli
             echo "${COMPREPLY[*]}"' _ "$root/usr/share/bash-completion/completions/kestrel-cli" "$@"
}
[[ $(complete_words kestrel-cli sa) == "save-eml" ]] || fail "completion of 'sa': $(complete_words kestrel-cli sa)"
[[ $(complete_words kestrel-cli extract --fo) == "--folder-subdir --folder-name" ]] ||
    fail "completion of 'extract --fo': $(complete_words kestrel-cli extract --fo)"

echo "package $(basename "$deb"): installed layout, programs, extraction and desktop files pass"
