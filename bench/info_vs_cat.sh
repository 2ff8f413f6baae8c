#!/usr/bin/env bash
# `lumarex-cli info` on a large ILDA show beside `cat SHOW > /dev/null`, alternating, best of
# three each, and the same for a show of one frame (what the program's start-up and end cost
# by themselves). Goal: info at least 0.5 of cat's speed on the large show.
#
#   bench/info_vs_cat.sh [LUMAREX_CLI [SHOW.ild]]
#
# Without SHOW a 180 MB format 5 show (7500 frames of 3000 points) is written to a temporary
# folder and removed at the end. Both commands read from the page cache (the file is read once
# before the rounds).
set -euo pipefail

cli=${1:-build/release/bin/lumarex-cli}
show=${2:-}
rounds=3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

write_show() {  # path frames points
  python3 - "$1" "$2" "$3" <<'EOF'
import random, struct, sys
path, frames, points = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rnd = random.Random(1)
bodies = []
for k in range(16):
    b = bytearray(rnd.randbytes(points * 8))
    b[4::8] = bytes(v & 0x40 for v in b[4::8])  # status: only the blanking bit
    bodies.append(bytes(b))
with open(path, 'wb') as f:
    for n in range(frames):
        f.write(b'ILDA\0\0\0\x05' + b'bench   lumarex ' + struct.pack('>HHHBB', points, n, frames, 0, 0))
        f.write(bodies[n % 16])
EOF
}

if [[ -z "$show" ]]; then
  show=$work/large.ild
  write_show "$show" 7500 3000
fi
small=$work/small.ild
write_show "$small" 1 3000

now_ns() { date +%s%N; }
# Prints the best wall time in milliseconds of `rounds` runs of the command.
best_of() {
  local best=0 t0 t1 ms
  for ((r = 0; r < rounds; ++r)); do
    t0=$(now_ns)
    "$@" > /dev/null
    t1=$(now_ns)
    ms=$(( (t1 - t0) / 1000 ))
    if (( best == 0 || ms < best )); then best=$ms; fi
  done
  echo "$best"
}

cat "$show" > /dev/null  # into the page cache
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
best_cat=0 best_info=0 best_small=0
for ((round = 0; round < rounds; ++round)); do
  c=$(rounds=1 best_of cat "$show")
  i=$(rounds=1 best_of "$cli" info "$show")
  s=$(rounds=1 best_of "$cli" info "$small")
  (( best_cat == 0 || c < best_cat )) && best_cat=$c
  (( best_info == 0 || i < best_info )) && best_info=$i
  (( best_small == 0 || s < best_small )) && best_small=$s
done
echo "load after:  $(cut -d' ' -f1-3 /proc/loadavg)"
size=$(stat -c %s "$show")
awk -v c="$best_cat" -v i="$best_info" -v s="$best_small" -v size="$size" 'BEGIN {
  printf "show: %.0f MB\n", size / 1e6
  printf "cat SHOW > /dev/null      best %8.1f ms\n", c / 1000
  printf "lumarex-cli info SHOW     best %8.1f ms\n", i / 1000
  printf "lumarex-cli info (1 frame) best %7.1f ms  (start-up and end alone)\n", s / 1000
  ratio = c / i
  printf "info is %.2f of cat (goal >= 0.5): %s\n", ratio, (ratio >= 0.5 ? "met" : "NOT met")
}'
