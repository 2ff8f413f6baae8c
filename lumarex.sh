#!/usr/bin/env bash
# Lumarex's one entry point: `./lumarex.sh run` sets up, builds and starts Lumarex on its
# built-in defaults; `./lumarex.sh test` sets up, builds and runs every test; `./lumarex.sh
# package` builds the .deb.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$root"

# Every Debian package the project needs, in one place.
packages=(
  build-essential cmake ninja-build pkg-config git clang-14 libclang-rt-14-dev clang-format
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev
  qt6-base-dev libqt6opengl6-dev libgl-dev libegl-dev libegl-mesa0 libgl1-mesa-dri libpng-dev
  xvfb xauth libusb-1.0-0-dev tshark fonts-liberation2 fonts-dejavu-core imagemagick
  libsdl2-dev libsndfile1-dev libmpg123-dev lame ccache
  file desktop-file-utils shared-mime-info xdotool
  liblo-dev liblo-tools librtmidi-dev ola jackd2 python3-mido python3-rtmidi libltc-dev
)
# Tools that may come from elsewhere than Debian (a Node.js build that carries its own npm
# conflicts with Debian's npm package): installed from Debian only when the command is missing.
tool_packages=(node:nodejs npm:npm)

jobs="${LUMAREX_JOBS:-$(nproc)}"
fuzz_seconds="${LUMAREX_FUZZ_SECONDS:-10}"
shared_dir="${LUMAREX_SHARED_DIR:-$root/../shared}"

log() { printf '\n== %s\n' "$*"; }

# Runs a command with a virtual X display (Mesa renders OpenGL in software there).
with_display() {
  xvfb-run -a -s "-screen 0 1400x900x24" "$@"
}

install_packages() {
  local missing=()
  local p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  local entry
  for entry in "${tool_packages[@]}"; do
    command -v "${entry%%:*}" >/dev/null 2>&1 || missing+=("${entry#*:}")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  log "Installing ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=300 update
  "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=300 install -y --no-install-recommends "${missing[@]}"
}

# configure_and_build_targets DIR "TARGET..." [cmake options...]
configure_and_build_targets() {
  local dir="$1" targets="$2"
  shift 2
  local launcher=()
  command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake -S "$root" -B "$dir" -G Ninja -DLUMAREX_SHARED_DIR="$shared_dir" "${launcher[@]}" "$@"
  # shellcheck disable=SC2086
  cmake --build "$dir" -j "$jobs" --target $targets
}

# configure_and_build DIR [cmake options...]
configure_and_build() {
  local dir="$1"
  shift
  local launcher=()
  command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake -S "$root" -B "$dir" -G Ninja -DLUMAREX_SHARED_DIR="$shared_dir" "${launcher[@]}" "$@"
  cmake --build "$dir" -j "$jobs"
}

build_release() {
  log "Building (release)"
  configure_and_build "$root/build/release" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMAREX_WERROR=ON
}

run_fuzzers() {
  local bin="$1"
  local target name corpus seeds
  for target in "$bin"/fuzz_*; do
    [ -x "$target" ] || continue
    name="$(basename "$target")"
    corpus="$root/build/fuzz-corpus/$name"
    mkdir -p "$corpus"
    seeds="$bin/$name.seeds"
    if [ -f "$seeds" ]; then
      while IFS= read -r s; do
        [ -n "$s" ] || continue
        if [ -d "$s" ]; then
          find "$s" -maxdepth 1 -type f -size -1048576c -exec cp -n -t "$corpus" {} + 2>/dev/null || true
        elif [ -f "$s" ]; then
          cp -n "$s" "$corpus/" 2>/dev/null || true
        fi
      done <"$seeds"
    fi
    log "Fuzzing $name for ${fuzz_seconds}s"
    (cd "$root/build" && "$target" -max_total_time="$fuzz_seconds" -max_len=262144 -rss_limit_mb=4096 \
      -print_final_stats=1 "$corpus")
  done
}

# The independent Ether Dream and LaserCube clients that the driver tests hold the DAC
# stand-ins against, and the sACN sender of the DMX input's test.
install_test_node_packages() {
  npm install --prefix "$1/node" --no-audit --no-fund --silent @laser-dac/ether-dream@0.4.2 \
    @laser-dac/lasercube-wifi@0.5.9 sacn@4.6.2 ||
    echo "npm install failed: the Ether Dream, LaserCube and sACN client tests will be skipped" >&2
}

# Wraps the release build into the .deb (build/release/lumarex_<version>_<arch>.deb) and
# prints its path.
package_release() {
  log "Packaging (.deb)" >&2
  rm -f "$root"/build/release/lumarex_*.deb
  (cd "$root/build/release" && cpack -G DEB) >&2
  local debs=("$root"/build/release/lumarex_*.deb)
  [ -f "${debs[0]}" ] || { echo "cpack wrote no lumarex .deb" >&2; return 1; }
  echo "${debs[0]}"
}

cmd_package() {
  install_packages
  build_release
  local deb
  deb="$(package_release)"
  log "Built $deb; install it with: apt install $deb"
}

cmd_run() {
  install_packages
  build_release
  local bin="$root/build/release/bin"
  local demo="$root/build/demo.ild"
  log "Lumarex on its built-in demo show"
  "$bin/lumarex-cli" demo "$demo"
  if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    # Playing at once: a newcomer sees the show move, and hears it, without a click.
    exec "$bin/lumarex" --play --loop "$demo"
  fi
  echo "No display here (neither DISPLAY nor WAYLAND_DISPLAY is set): the demo show plays" \
    "for a few seconds to the virtual DAC instead, with its music."
  "$bin/lumarex-cli" play "$demo" --seconds 5
}

# The test programs whose code starts threads (the DAC drivers and their CLI runs, the
# precision timer and the player, the audio engine), built and run under ThreadSanitizer.
tsan_tests=(jmlaser_tests reconnect_tests player_tests mainwindow_tests music_tests app_tests output_cli_tests
  osc_tests dmx_tests dmx_artnet_tests midi_tests timecode_tests timecode_serial_tests)

run_tsan() {
  log "Building (ThreadSanitizer, clang)"
  CC=clang-14 CXX=clang++-14 configure_and_build_targets "$root/build/tsan" "${tsan_tests[*]} lumarex-cli jmlaser" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMAREX_TSAN=ON -DLUMAREX_GUI=OFF -DLUMAREX_BENCH=OFF \
    -DLUMAREX_WERROR=ON
  install_test_node_packages "$root/build/tsan"
  log "Tests (ThreadSanitizer)"
  local labels
  labels="^($(IFS='|'; echo "${tsan_tests[*]}"))\$"
  TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/tests/tsan_suppressions.txt" \
    ctest --test-dir "$root/build/tsan" --output-on-failure -j "$jobs" --timeout 900 -L "$labels"
}

cmd_tsan() {
  install_packages
  run_tsan
  log "ThreadSanitizer tests passed"
}

# LeakSanitizer's own tracer now and then crashes as a process exits ("Tracer caught signal
# 11", a known fault of the runtime with many threads, not a leak it found). A run whose every
# failure is such a crash runs those tests once more; any other failure fails at once.
run_asan_tests() (
  local dir="$root/build/asan" output="$root/build/asan/ctest-output.log"
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export LSAN_OPTIONS="suppressions=$root/tests/lsan_suppressions.txt"
  if with_display ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 900 \
    --output-log "$output"; then
    return 0
  fi
  local failed crashes
  failed=$(wc -l <"$dir/Testing/Temporary/LastTestsFailed.log")
  crashes=$(grep -c "Tracer caught signal" "$output" || true)
  [ "$failed" -le "$crashes" ] || return 1
  log "Running again the $failed test(s) whose leak check crashed"
  with_display ctest --test-dir "$dir" --output-on-failure --timeout 900 --rerun-failed
)

cmd_test() {
  install_packages
  build_release
  install_test_node_packages "$root/build/release"
  log "Tests (release)"
  # The window tests need a display: every test run gets a virtual one of its own.
  with_display ctest --test-dir "$root/build/release" --output-on-failure -j "$jobs" --timeout 600
  local deb
  deb="$(package_release)"
  log "The package installed into a temporary root"
  "$root/packaging/check_package.sh" "$deb" "$root/build/release/bin"

  log "Building (ASan + UBSan, clang, fuzz targets)"
  CC=clang-14 CXX=clang++-14 configure_and_build "$root/build/asan" -DCMAKE_BUILD_TYPE=Debug \
    -DLUMAREX_SANITIZE=ON -DLUMAREX_FUZZ=ON -DLUMAREX_BENCH=OFF -DLUMAREX_WERROR=ON \
    -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g"
  install_test_node_packages "$root/build/asan"
  log "Tests (ASan + UBSan)"
  run_asan_tests

  run_fuzzers "$root/build/asan/bin"
  log "All tests passed (the ThreadSanitizer run is ./lumarex.sh tsan)"
}

case "${1:-}" in
  run) cmd_run ;;
  test) cmd_test ;;
  package) cmd_package ;;
  tsan) cmd_tsan ;;
  *)
    echo "usage: $0 run|test|package|tsan" >&2
    exit 2
    ;;
esac
