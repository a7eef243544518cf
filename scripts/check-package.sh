#!/usr/bin/env bash
# Checks a built package without installing it: its control data and contents, both
# programs run from a temporary root (dpkg -x), and the desktop entry validates.
#   scripts/check-package.sh tarvex_0.1_amd64.deb            # what CI runs
#   scripts/check-package.sh tarvex_0.1_amd64.deb --install  # also apt-get install, run, purge
#                                                           # and look for leftovers (root only)
set -euo pipefail
deb="$(realpath "${1:?usage: check-package.sh DEB [--install]}")"
install="${2:-}"
fail() { echo "check-package: $*" >&2; exit 1; }

info="$(dpkg-deb --info "$deb")"
grep -q '^ Package: tarvex$' <<<"$info" || fail "the package is not named tarvex"
depends="$(dpkg-deb --field "$deb" Depends)"
for lib in libqt6widgets6 libavformat libavcodec libavdevice libswscale libstdc++6; do
  grep -q "$lib" <<<"$depends" || fail "Depends does not name $lib: $depends"
done

contents="$(dpkg-deb --contents "$deb" | awk '{print $NF}' | sed 's|^\./|/|')"
for path in /usr/bin/tarvex /usr/bin/tarvex-cli /usr/share/applications/tarvex.desktop \
    /usr/share/icons/hicolor/48x48/apps/tarvex.png /usr/share/icons/hicolor/64x64/apps/tarvex.png \
    /usr/share/icons/hicolor/128x128/apps/tarvex.png /usr/share/icons/hicolor/256x256/apps/tarvex.png \
    /usr/share/icons/hicolor/scalable/apps/tarvex.svg /usr/share/doc/tarvex/TX05Manual.rtf; do
  grep -qx "$path" <<<"$contents" || fail "$path is not in the package"
done
# Nothing outside /usr: the station writes its files in the user's folders, never here.
if grep -v '^/usr' <<<"$contents" | grep -vx '/' | grep -q .; then
  fail "files outside /usr: $(grep -v '^/usr' <<<"$contents" | grep -vx '/' | tr '\n' ' ')"
fi

root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
# The libraries are the system's (Depends above), so no LD_LIBRARY_PATH is needed.
"$root/usr/bin/tarvex-cli" --version
"$root/usr/bin/tarvex" --version
env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/tarvex" --help | grep -q -- '--rehearsal' \
  || fail "tarvex --help does not document --rehearsal"
desktop-file-validate "$root/usr/share/applications/tarvex.desktop"
echo "check-package: $(basename "$deb") is sound ($(grep -c . <<<"$contents") entries)"

if [ "$install" != "--install" ]; then exit 0; fi
[ "$(id -u)" -eq 0 ] || fail "--install needs root"
export DEBIAN_FRONTEND=noninteractive
apt-get install -y "$deb"
files="$(dpkg -L tarvex)"
tarvex-cli --version
tarvex --help | head -1
env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen tarvex --bogus 2>/dev/null && fail "tarvex took --bogus"
apt-get remove -y tarvex
# remove leaves nothing to purge without conffiles; purge what is left, if anything.
if dpkg-query -W tarvex >/dev/null 2>&1; then dpkg -P tarvex; fi
left=()
while IFS= read -r f; do
  # Shared folders (/usr/share/icons/hicolor/48x48/apps, ...) stay for other packages.
  if [ -e "$f" ] && [ ! -d "$f" ]; then left+=("$f"); fi
done <<<"$files"
[ ${#left[@]} -eq 0 ] || fail "left behind after dpkg -P: ${left[*]}"
! dpkg-query -W tarvex >/dev/null 2>&1 || fail "dpkg still knows tarvex"
echo "check-package: installed, ran and purged; nothing left behind"
