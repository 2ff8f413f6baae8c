#!/bin/sh
# Writes the seeds of fuzz_osc_packet: messages as oscsend encodes them, and bundles (one
# nested) put together from them. Run from anywhere; the files land in seeds/ beside it.
set -eu
out="$(dirname "$0")/seeds"
mkdir -p "$out"

oscsend - /lumarex/play >"$out/play"
oscsend - /lumarex/frame f 12.5 >"$out/frame_float"
oscsend - /lumarex/setlist/go h 2 >"$out/go_int64"
oscsend - /lumarex/mode T >"$out/mode_true"
oscsend - /lumarex/load s /shows/opener.ild >"$out/load"
oscsend - /lumarex/control/Achse_X.Left d 300.25 >"$out/control_double"
oscsend - /lumarex/subscribe i 9000 >"$out/subscribe"

# A bundle element: its size as a big-endian int32, then the element.
element() {
  size=$(wc -c <"$1")
  printf "\\000\\000\\$(printf '%03o' $((size / 256)))\\$(printf '%03o' $((size % 256)))"
  cat "$1"
}
# "#bundle", then the time tag 0x00000000 00000001: immediately.
header() { printf '#bundle\000\000\000\000\000\000\000\000\001'; }

{ header; element "$out/frame_float"; element "$out/play"; } >"$out/bundle"
tmp=$(mktemp)
{ header; element "$out/mode_true"; } >"$tmp"
{ header; element "$out/control_double"; element "$tmp"; } >"$out/bundle_nested"
rm -f "$tmp"
