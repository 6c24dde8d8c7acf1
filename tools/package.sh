#!/usr/bin/env bash
# Builds the Debian package from a build directory (default build/, configured and built if it
# is not), installs it into a scratch root and checks it there: kp650 --version runs, the
# desktop entry and the AppStream metadata validate. Prints the package's path.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-$here/build}"
if [ ! -f "$dir/CPackConfig.cmake" ]; then
    bash "$here/tools/build.sh" "$dir"
else
    cmake --build "$dir"
fi
(cd "$dir" && cpack -G DEB >/dev/null)
deb="$(ls -t "$dir"/kp650_*.deb | head -n1)"
dpkg-deb --info "$deb" | sed -n 's/^ \(Package\|Version\|Depends\|Recommends\):/\1:/p'

root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
dpkg-deb --extract "$deb" "$root"
# No display is needed for --version.
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/kp650" --version
test -x "$root/usr/bin/kp650-sim"
test -x "$root/usr/bin/kp650ctl"
env -u DISPLAY "$root/usr/bin/kp650ctl" --version
desktop-file-validate "$root"/usr/share/applications/*.desktop
for size in 16 32 48 64 128 256; do
    test -f "$root/usr/share/icons/hicolor/${size}x${size}/apps/kp650.png"
done
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml
fi
echo "package ok: $deb"
