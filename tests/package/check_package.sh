#!/usr/bin/env bash
# Installs the build into a scratch tree and runs the programs from there.
#   check_package.sh install BUILD VERSION HAS_CLI CMAKE    cmake --install --prefix <tmp>
#   check_package.sh deb     BUILD VERSION HAS_CLI CPACK    cpack -G DEB, then dpkg -x
set -euo pipefail
mode=$1 build=$2 version=$3 has_cli=$4 tool=$5

scratch=$(mktemp -d)
sim_pid=""
cleanup() {
    if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; fi
    rm -rf "$scratch"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

case "$mode" in
install)
    "$tool" --install "$build" --prefix "$scratch/prefix" > /dev/null
    prefix=$scratch/prefix
    ;;
deb)
    "$tool" --config "$build/CPackConfig.cmake" -B "$scratch/cpack" > "$scratch/cpack.log" ||
        { cat "$scratch/cpack.log"; fail "cpack failed"; }
    debs=("$scratch"/cpack/*.deb)
    [ -f "${debs[0]}" ] || fail "cpack made no .deb"
    deb=${debs[0]}
    [[ $(basename "$deb") == tms370prog_${version}_*.deb ]] || fail "package named $(basename "$deb")"
    field() { dpkg-deb -f "$deb" "$1"; }
    [ "$(field Section)" = electronics ] || fail "Section is '$(field Section)'"
    [ -n "$(field Maintainer)" ] || fail "no Maintainer"
    [ -n "$(field Description)" ] || fail "no Description"
    # From dpkg-shlibdeps, and the platform plugins the window needs.
    for dep in libqt6widgets6 libqt6serialport6 libc6 qt6-qpa-plugins libqt6sql6-sqlite; do
        [[ $(field Depends) == *"$dep"* ]] || fail "Depends lacks $dep: $(field Depends)"
    done
    [[ $(field Suggests) == *libqt6sql6-psql* ]] || fail "Suggests lacks libqt6sql6-psql"
    dpkg -x "$deb" "$scratch/root"
    prefix=$scratch/root/usr
    ;;
*) fail "unknown mode $mode" ;;
esac

programs=(tms370prog tms370-adapter-sim)
man_pages=(tms370prog tms370-adapter-sim)
if [ "$has_cli" = 1 ]; then
    programs+=(tms370)
    man_pages+=(tms370)
fi

for f in share/tms370prog/English.lpk share/applications/tms370prog.desktop \
    share/icons/hicolor/scalable/apps/tms370prog.svg share/doc/tms370prog/copyright; do
    [ -s "$prefix/$f" ] || fail "$f missing from the installed tree"
done
(($(stat -c %s "$prefix/share/tms370prog/English.lpk") % 104 == 0)) ||
    fail "English.lpk is not whole 104-byte records"
for page in "${man_pages[@]}"; do
    zcat "$prefix/share/man/man1/$page.1.gz" | grep "^\.TH .*tms370prog $version" > /dev/null ||
        fail "man page $page.1.gz missing or without version $version"
done
# The checks a distribution runs on a package: each tool that is missing is said, not hidden.
skipped=()
check_with() {
    if command -v "$1" > /dev/null; then
        return 0
    fi
    skipped+=("$1")
    return 1
}
if check_with desktop-file-validate; then
    out=$(desktop-file-validate "$prefix/share/applications/tms370prog.desktop" 2>&1) ||
        fail "desktop-file-validate: $out"
    [ -z "$out" ] || fail "desktop-file-validate: $out"
fi
metainfo=("$prefix"/share/metainfo/*.metainfo.xml)
[ -s "${metainfo[0]}" ] || fail "no AppStream metainfo under share/metainfo"
if check_with appstreamcli; then
    out=$(appstreamcli validate --no-net "${metainfo[0]}" 2>&1) || fail "appstreamcli: $out"
    ! grep -E '^(E|W):' <<< "$out" || fail "appstreamcli has errors or warnings: $out"
    grep -q "<binary>tms370prog</binary>" "${metainfo[0]}" || fail "metainfo provides no tms370prog"
fi
if [ "$mode" = deb ] && check_with lintian; then
    out=$(lintian --fail-on none "$deb" 2>&1)
    ! grep -E '^(E|W):' <<< "$out" || fail "lintian: $out"
fi
if [ "$has_cli" = 1 ]; then
    for f in share/bash-completion/completions/tms370 share/zsh/vendor-completions/_tms370 \
        share/fish/vendor_completions.d/tms370.fish; do
        grep -q read "$prefix/$f" 2> /dev/null || fail "$f missing or without the commands"
    done
fi
zcat "$prefix/share/doc/tms370prog/changelog.gz" | head -n 1 | grep -q "^tms370prog ($version)" ||
    fail "changelog.gz does not start with version $version"

# No display and a bare environment: --version and --help must answer before any window.
for program in "${programs[@]}"; do
    out=$(env -i PATH=/usr/bin:/bin "$prefix/bin/$program" --version) ||
        fail "$program --version failed"
    [ "$out" = "$program $version" ] || fail "$program --version said '$out'"
    env -i PATH=/usr/bin:/bin "$prefix/bin/$program" --help | grep "Usage: .*$program" > /dev/null ||
        fail "$program --help has no usage line"
done

# Anything Qt does not take is refused, not ignored.
rc=0
QT_QPA_PLATFORM=offscreen "$prefix/bin/tms370prog" --bogus 2> "$scratch/bogus.err" || rc=$?
[ "$rc" = 64 ] && grep -q "unknown argument '--bogus'" "$scratch/bogus.err" ||
    fail "tms370prog --bogus gave exit $rc: $(cat "$scratch/bogus.err")"

# The adapter tool's first line is the path of its pseudo-terminal.
"$prefix/bin/tms370-adapter-sim" > "$scratch/sim.out" 2> "$scratch/sim.err" &
sim_pid=$!
for _ in $(seq 200); do
    [ -s "$scratch/sim.out" ] && break
    sleep 0.05
done
pty=$(head -n 1 "$scratch/sim.out")
[ -c "$pty" ] || fail "adapter tool's first line '$pty' is no terminal ($(cat "$scratch/sim.err"))"
kill "$sim_pid"
wait "$sim_pid" 2> /dev/null || true
sim_pid=""

echo "$mode tree in order: ${programs[*]} $version"
if [ ${#skipped[@]} -gt 0 ]; then
    echo "not checked, the tools are not installed: ${skipped[*]}"
fi
