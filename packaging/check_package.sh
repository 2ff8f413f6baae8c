#!/usr/bin/env bash
# Checks a built Lumarex .deb as a user gets it: its dependencies and file list, its desktop
# files, then unpacks it into a temporary root and runs the installed lumarex-cli from there,
# which must load the installed driver library.
#   packaging/check_package.sh PACKAGE.deb BUILD_BIN_FOLDER
# BUILD_BIN_FOLDER says whether the desktop program was built (and so must be in the package).
set -euo pipefail

deb="$(readlink -f "$1")"
built="$2"
fail() {
  echo "package check: $*" >&2
  exit 1
}

root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT

# Dependencies: dpkg-shlibdeps must have named the packages of the linked libraries, the driver
# library's libusb among them.
depends="$(dpkg-deb -f "$deb" Depends)"
depends_names="$(tr ',|' '\n\n' <<<"$depends" | awk '{ print $1 }')"
needs() {
  grep -qxF "$1" <<<"$depends_names" || fail "Depends lacks $1: $depends"
}
for package in libc6 libstdc++6 libsdl2-2.0-0 libsndfile1 libmpg123-0 libusb-1.0-0 libgl1-mesa-dri liblo7 libltc11 \
  librtmidi6; do
  needs "$package"
done

expected=(
  /usr/bin/lumarex-cli
  /usr/lib/lumarex/libjmlaser.so
  /usr/lib/udev/rules.d/60-lumarex-helios.rules
  /usr/share/icons/hicolor/scalable/apps/lumarex.svg
  /usr/share/mime/packages/lumarex.xml
  /usr/share/man/man1/lumarex-cli.1.gz
  /usr/lib/systemd/user/lumarex-show.service
)
if [ -e "$built/lumarex" ]; then
  expected+=(/usr/bin/lumarex /usr/share/applications/lumarex.desktop /usr/share/man/man1/lumarex.1.gz)
  needs qt6-qpa-plugins
fi
listing="$(dpkg-deb -c "$deb" | awk '{ print substr($6, 2) }')"
for file in "${expected[@]}"; do
  grep -qxF "$file" <<<"$listing" || fail "the package lacks $file"
done

dpkg-deb -x "$deb" "$root"
usr="$root/usr"

if [ -e "$usr/share/applications/lumarex.desktop" ]; then
  desktop-file-validate "$usr/share/applications/lumarex.desktop" || fail "invalid desktop entry"
fi
# The MIME database built from our XML must know every show extension.
XDG_DATA_DIRS="$usr/share" update-mime-database "$usr/share/mime" || fail "update-mime-database rejects lumarex.xml"
for ext in ild cat ulf pho lf slf ldb fla flx pic gr1; do
  grep -qE "^[0-9]+:application/x-[a-z-]+:\*\.$ext$" "$usr/share/mime/globs2" || fail "no MIME type for .$ext"
done
for page in "$usr"/share/man/man1/*.1.gz; do gzip -t "$page" || fail "damaged $page"; done

# The permission hint in the driver library quotes the installed rule line and names its folder.
rule="$(grep -v '^#' "$usr/lib/udev/rules.d/60-lumarex-helios.rules" | grep .)"
grep -qaF "$rule" "$usr/lib/lumarex/libjmlaser.so" || fail "the Helios hint does not quote the rule: $rule"
grep -qaF "/usr/lib/udev/rules.d" "$usr/lib/lumarex/libjmlaser.so" ||
  fail "the Helios hint does not name /usr/lib/udev/rules.d"

# Nothing in the package may point back into a build folder.
for elf in "$usr/bin/"* "$usr/lib/lumarex/libjmlaser.so"; do
  if readelf -d "$elf" | grep -qE 'R(UN)?PATH'; then fail "$elf carries a run path"; fi
  if ldd "$elf" | grep -q 'not found'; then fail "$elf misses libraries: $(ldd "$elf" | grep 'not found')"; fi
done

work="$root/work"
mkdir "$work"
cd "$work"
export LUMAREX_DAC_BROADCAST=none
LD_DEBUG=files LD_DEBUG_OUTPUT="$work/loader" "$usr/bin/lumarex-cli" devices >devices.txt ||
  fail "lumarex-cli devices failed"
cat devices.txt
grep -q "Virtual DAC" devices.txt || fail "lumarex-cli devices lists no virtual DAC"
loaded="$(sed -n 's/.*calling init: \(.*libjmlaser\.so\).*/\1/p' "$work"/loader.* | sort -u)"
[ -n "$loaded" ] || fail "lumarex-cli loaded no driver library"
[ "$(readlink -f "$loaded")" = "$(readlink -f "$usr/lib/lumarex/libjmlaser.so")" ] ||
  fail "lumarex-cli loaded $loaded instead of the installed driver library"

"$usr/bin/lumarex-cli" demo "$work/demo.ild" || fail "lumarex-cli demo failed"
# The example unit runs the program the package installs, with options it takes.
unit="$root/usr/lib/systemd/user/lumarex-show.service"
exec_start="$(sed -n 's/^ExecStart=//p' "$unit")"
[ -x "$root${exec_start%% *}" ] || fail "the example unit runs ${exec_start%% *}, which is not in the package"
"$usr/bin/lumarex-cli" serve --help >/dev/null || fail "lumarex-cli serve is missing"
[ "$(head -c 4 demo.ild)" = "ILDA" ] || fail "lumarex-cli demo wrote no ILDA show"
[ -s demo.wav ] || fail "lumarex-cli demo wrote no music"
echo "package check: $(basename "$deb") passed ($(du -k "$deb" | cut -f1) KiB)"
