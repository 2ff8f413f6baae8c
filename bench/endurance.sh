#!/usr/bin/env bash
# Endurance: `lumarex-cli play` for N minutes with a show of 3000-point frames and its music,
# to the Ether Dream stand-in on 127.0.0.1 or to the virtual DAC. Reports the frames handled
# against the frames due, refused frames, the stand-in's underflows, the lateness of the
# handled frames (frame f is due f * FramePeriodMs after Play; the player counts it in a fixed
# table, keeping no list) and the player's resident memory (VmRSS, sampled every second while
# it plays). Not part of CI: a 10-minute run is
# `bench/endurance.sh`, the sanitizer run `bench/endurance.sh --bin build/asan/bin --rate 25
# --minutes 2 --dac virtual`.
#
#   bench/endurance.sh [--bin DIR] [--minutes N] [--rate R] [--dac etherdream|virtual]
#                      [-- PLAY OPTIONS...]
#
# Options after -- go to `lumarex-cli play` (for instance --scan-speed 80). At the default scan
# speed of 25 K points per second a DAC takes about 8 frames of 3000 points a second, so most
# frames of a 50 frames-per-second run are refused by design.
set -euo pipefail

bin=build/release/bin
minutes=10
rate=50
dac=etherdream
while (($#)); do
  case "$1" in
    --bin) bin=$2; shift 2 ;;
    --minutes) minutes=$2; shift 2 ;;
    --rate) rate=$2; shift 2 ;;
    --dac) dac=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "usage: $0 [--bin DIR] [--minutes N] [--rate R] [--dac etherdream|virtual] [-- OPTIONS]" >&2
       exit 2 ;;
  esac
done
cli=$bin/lumarex-cli
work=$(mktemp -d)
stand_in_pid=
cleanup() {
  [[ -n "$stand_in_pid" ]] && kill -INT "$stand_in_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

seconds=$((minutes * 60))
frames=$(((seconds + 5) * rate))  # a little longer than the run, so the show does not end first
echo "writing a show of $frames frames of 3000 points and ${seconds} s of music..."
python3 - "$work/endurance.ild" "$frames" "$work/endurance.wav" "$((seconds + 10))" <<'EOF'
import math, struct, sys, wave
show, frames, music, music_seconds = sys.argv[1], int(sys.argv[2]), sys.argv[3], int(sys.argv[4])
points = 3000
bodies = []
for v in range(100):  # turning, breathing circles; one point in ten blanked
    b = bytearray()
    for i in range(points):
        a = 2 * math.pi * i / points + v * 0.0628
        r = 20000 + 8000 * math.sin(v * 0.0628 * 3 + i * 0.01)
        blanked = i % 10 == 0
        b += struct.pack('>hhBBBB', int(r * math.cos(a)), int(r * math.sin(a)),
                         0x40 if blanked else 0, (i * 7 + v) % 256, (i * 3) % 256, 255 - v)
    bodies.append(bytes(b))
with open(show, 'wb') as f:
    for n in range(frames):
        f.write(b'ILDA\0\0\0\x05' + b'endure  lumarex ' +
                struct.pack('>HHHBB', points, n % 65536, frames % 65536, 0, 0))
        f.write(bodies[n % 100])
    f.write(b'ILDA\0\0\0\x05' + bytes(16) + struct.pack('>HHHBB', 0, frames % 65536, frames % 65536, 0, 0))
with wave.open(music, 'wb') as w:
    w.setnchannels(2)
    w.setsampwidth(2)
    w.setframerate(44100)
    second = b''.join(struct.pack('<hh', s, s) for s in
                      (int(8000 * math.sin(2 * math.pi * 440 * k / 44100)) for k in range(44100)))
    for _ in range(music_seconds):
        w.writeframes(second)
EOF

device=0
export LUMAREX_ETHERDREAM_LISTEN_MS=0
if [[ "$dac" == etherdream ]]; then
  "$bin/etherdream_stand_in" > "$work/stand_in.out" &
  stand_in_pid=$!
  for _ in $(seq 50); do grep -q '^port' "$work/stand_in.out" && break; sleep 0.1; done
  port=$(awk '/^port/ {print $2}' "$work/stand_in.out")
  export LUMAREX_ETHERDREAM=127.0.0.1:$port
  device=$("$cli" devices --json | python3 -c '
import json, sys
print(next(d["index"] for d in json.load(sys.stdin) if d["Name"].startswith("EtherDream")))')
fi

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "playing for ${seconds} s at rate $rate to device $device ($dac) $*..."
start=$(date +%s.%N)
"$cli" play "$work/endurance.ild" --rate "$rate" --device "$device" --seconds "$seconds" \
  --json --no-frame-list \
  "$@" > "$work/play.json" &
player=$!
while kill -0 "$player" 2>/dev/null; do
  rss=$(awk '/^(VmRSS|RssAnon|RssFile):/ {printf "%s ", $2}' "/proc/$player/status" 2>/dev/null || true)
  [[ -n "$rss" ]] && echo "$(date +%s.%N) $rss" >> "$work/rss.txt"
  sleep 1
done
wait "$player"
echo "load after:  $(cut -d' ' -f1-3 /proc/loadavg)"
stand_in='{}'
if [[ -n "$stand_in_pid" ]]; then
  kill -INT "$stand_in_pid"
  wait "$stand_in_pid" || true
  stand_in_pid=
  stand_in=$(tail -n 1 "$work/stand_in.out")
fi

python3 - "$work/play.json" "$work/rss.txt" "$rate" "$start" "$stand_in" "$seconds" <<'EOF'
import json, sys
play = json.load(open(sys.argv[1]))
rate, start, stand_in = int(sys.argv[3]), float(sys.argv[4]), json.loads(sys.argv[5])
seconds = int(sys.argv[6])
period = 1000 // rate
due = play["PlayTimeMs"] // period + 1
sent, refused = play["FramesAccepted"], play["RefusedFrames"]
handled = sent + refused
late = play["lateness"]
print(f"frames due {due}, handled {handled} ({handled / due:.4f}), sent {sent}, refused {refused}; "
      f"timer requests {play['TimerRequests']}, unsynchronised ticks {play['UnsyncTicks']}; "
      f"{play['ended']}")
print(f"lateness of handled frames: p50 {late['p50']} ms, p99 {late['p99']} ms, "
      f"worst {late['worst']} ms (frame period {period} ms)")
if stand_in:
    print(f"stand-in: underflows {stand_in['underflows']}, overflows {stand_in['overflows']}, "
          f"points played {stand_in['pointsPlayed']}, connections {stand_in['connections']}")
samples = [l.split() for l in open(sys.argv[2]) if len(l.split()) == 4]
# Up to `seconds` after the start the player is still playing (its load came first); after
# that it may be building its JSON report.
rss = [(float(s[0]) - start, int(s[1])) for s in samples]
anon = [(float(s[0]) - start, int(s[2]), int(s[3])) for s in samples]
playing = [(t, kb) for t, kb in rss if t <= seconds]
after = [kb for t, kb in playing if t >= 60]
print(f"VmRSS: first sample {rss[0][1] / 1024:.1f} MiB at {rss[0][0]:.0f} s, "
      f"at 60 s {after[0] / 1024 if after else float('nan'):.1f} MiB, "
      f"last while playing {playing[-1][1] / 1024:.1f} MiB at {playing[-1][0]:.0f} s, "
      f"after the report {rss[-1][1] / 1024:.1f} MiB")
minutes = {}
for t, kb in playing:
    minutes.setdefault(int(t // 60), kb)
print("VmRSS at each minute (MiB): " + " ".join(f"{m}:{kb / 1024:.1f}" for m, kb in sorted(minutes.items())))
late = [(a, f) for t, a, f in anon if 60 <= t <= seconds]
if late:
    print(f"  after the first minute RssAnon grew {(late[-1][0] - late[0][0]) / 1024:.2f} MiB, "
          f"RssFile {(late[-1][1] - late[0][1]) / 1024:.2f} MiB")
if after:
    print(f"VmRSS after the first minute: {min(after) / 1024:.1f}..{max(after) / 1024:.1f} MiB "
          f"(spread {(max(after) - min(after)) / 1024:.2f} MiB; goal: within 1 MiB)")
EOF
