#!/usr/bin/env bash
# Makes the README's picture of the main window: Lumarex with its demo show, stepped on to a
# colourful frame by the Right key as an operator would, in a virtual display.
#   tools/screenshot.sh [BIN_DIR] [OUT.png]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bin="${1:-$root/build/release/bin}"
out="${2:-$root/docs/main_window.png}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

"$bin/lumarex-cli" demo "$work/demo.ild" >/dev/null
mkdir -p "$(dirname "$out")"
export LUMAREX_QUIET=1 SDL_AUDIODRIVER=dummy LUMAREX_DAC_BROADCAST=none
xvfb-run -a -s "-screen 0 1400x900x24" bash -c '
  set -euo pipefail
  "$1" "$2" & program=$!
  window=""
  for _ in $(seq 100); do
    window="$(xdotool search --name "^Lumarex - demo.ild$" 2>/dev/null | head -1 || true)"
    [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || { echo "the main window did not open" >&2; kill "$program"; exit 1; }
  sleep 1
  xdotool windowfocus --sync "$window"
  for _ in $(seq 12); do xdotool key Right; sleep 0.1; done
  sleep 1
  import -window "$window" "$3"
  kill "$program"
  wait "$program" || true
' screenshot "$bin/lumarex" "$work/demo.ild" "$out"
echo "$out"
