#!/usr/bin/env bash
# The two Debian packages installed into this machine, used, and removed again:
#   deb.sh BUILD_DIR OUTPUT_DIR
# Builds them with CPack, has lintian check them (no errors), installs them with dpkg -i (root
# only: CI runs as root), runs the installed screensaver as XScreenSaver's only program (by the
# name its settings would use, so the pictures can only come from /usr/share/kelmor), checks
# that the library's pkg-config file answers, removes both with dpkg -r (also when a check
# fails) and checks that none of their files is left. Skipped (77) when not root or when either package is installed already.
set -u
build=$(realpath "$1")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../scripts/lib.sh"
out=$(ptc_output_dir "$2")
packages=(kelmor libptc-dev)

if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: installing packages needs root"
    exit 77
fi
for p in "${packages[@]}"; do
    if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "installed"; then
        echo "skipped: $p is installed on this machine and would be replaced"
        exit 77
    fi
done

work=$(mktemp -d)
installed=0
end_case() {
    [ "$installed" -eq 1 ] && dpkg -r "${packages[@]}" >>"$out/dpkg.log" 2>&1
    rm -rf "$work"
}
trap end_case EXIT

cpack --config "$build/CPackConfig.cmake" -B "$work" >"$out/cpack.log" 2>&1 ||
    ptc_fail "cpack: $(tail -n 10 "$out/cpack.log")"
debs=("$work"/kelmor_*.deb "$work"/libptc-dev_*.deb)
for deb in "${debs[@]}"; do [ -f "$deb" ] || ptc_fail "no package $deb"; done
# Debian's own checks: no errors; the warnings go to the log.
lintian --fail-on error "${debs[@]}" >"$out/lintian.log" 2>&1 ||
    ptc_fail "lintian: $(grep '^E:' "$out/lintian.log" || tail -n 5 "$out/lintian.log")"

# What the packages hold, and which of those paths the machine has already (directories such
# as /usr/share/doc, which must stay).
dpkg-deb --fsys-tarfile "${debs[0]}" | tar -t >"$work/paths"
dpkg-deb --fsys-tarfile "${debs[1]}" | tar -t >>"$work/paths"
sed -i 's|^\./|/|; s|/$||; /^$/d' "$work/paths"
: >"$work/existing"
while read -r path; do
    if [ -e "$path" ]; then
        [ -d "$path" ] || ptc_fail "$path exists already and would be overwritten"
        echo "$path" >>"$work/existing"
    fi
done <"$work/paths"

installed=1
dpkg -i "${debs[@]}" >"$out/dpkg.log" 2>&1 || ptc_fail "dpkg -i: $(tail -n 10 "$out/dpkg.log")"
[ -x /usr/libexec/xscreensaver/kelmor ] || ptc_fail "no /usr/libexec/xscreensaver/kelmor"
version=$(pkg-config --modversion ptc 2>&1)
[ "$version" = 1.0.0 ] || ptc_fail "pkg-config --modversion ptc: $version"

(cd / && bash "$here/../native/xscreensaver.sh" /usr/libexec/xscreensaver/kelmor \
    "$out/xscreensaver" "kelmor --root") >"$out/xscreensaver.out" 2>&1
saver_status=$?
cat "$out/xscreensaver.out"
[ "$saver_status" -eq 0 ] || ptc_fail "the installed screensaver under XScreenSaver (status $saver_status)"

installed=0
dpkg -r "${packages[@]}" >>"$out/dpkg.log" 2>&1 || ptc_fail "dpkg -r: $(tail -n 10 "$out/dpkg.log")"
left=()
while read -r path; do
    grep -qxF "$path" "$work/existing" && continue
    [ -e "$path" ] || [ -L "$path" ] && left+=("$path")
done <"$work/paths"
[ ${#left[@]} -eq 0 ] || ptc_fail "left after dpkg -r: ${left[*]}"
echo "installed, shown by XScreenSaver, removed without a trace ($(wc -l <"$work/paths") paths)"
