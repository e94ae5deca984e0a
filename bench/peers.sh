#!/usr/bin/env bash
# Whole-program cost of Sorvane beside the desktop peers (conky, gkrellm, xosview)
# and a bare Qt 6 program, all in one run, each on its own Xvfb.
#
#   bench/peers.sh [--runs N] [--window S] [--warmup S] [--only a,b]   side by side
#   bench/peers.sh --memory [MINUTES...]                               memory over time
#
# The memory mode runs Sorvane alone under Xvfb with loopback traffic and prints its
# resident and anonymous (private) memory at each of the given minutes (default 1 10 60).
#
# Environment: PEERS_TOOL (default ../shared/peers, beside the project); PEERS_BUILD (default
# build-release/); PEERS_PROGRAM, a folder holding an already built program and its two
# libraries, measured as it is; PEERS_OUT, the results folder. The peers tool looks for
# its launcher and Qt floor under /tmp/peerbench, so they are built there. xosview needs
# the core X fonts of xfonts-base.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
TOOL=${PEERS_TOOL:-$ROOT/../shared/peers}
BUILD=${PEERS_BUILD:-$ROOT/build-release}
SCRATCH=/tmp/peerbench
OUT=${PEERS_OUT:-$SCRATCH/results}

[ -f "$TOOL/run_peers.py" ] || { echo "no peers tool in $TOOL (set PEERS_TOOL)" >&2; exit 1; }

mode=peers
if [ "${1:-}" = "--memory" ]; then
  mode=memory
  shift
fi

# Measuring-only packages: not in the project's install list.
# shellcheck source=../scripts/deps.sh
. "$ROOT/scripts/deps.sh"

# A private copy: the instance lock and settings file follow the executable's folder.
private_copy() {
  local dest=$1
  rm -rf "$dest"
  mkdir -p "$dest"
  local from=${PEERS_PROGRAM:-$BUILD}
  cp "$from/sorvane" "$from/libinetmib1.so" "$from/libsnmpapi.so" "$dest/"
}

build_sorvane() {
  [ -n "${PEERS_PROGRAM:-}" ] && return 0
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSORVANE_TESTS=OFF \
    -DSORVANE_BENCHMARKS=OFF >/dev/null
  cmake --build "$BUILD" -j 2 --target sorvane inetmib1 snmpapi >&2
}

if [ "$mode" = peers ]; then
  sorvane_install_packages xvfb x11-utils libx11-dev gcc gkrellm conky-std xosview xfonts-base
  mkdir -p "$SCRATCH"
  gcc -O2 -Wall -o "$SCRATCH/maplaunch" "$TOOL/maplaunch.c" -lX11
  cmake -S "$TOOL/qtfloor" -B "$SCRATCH/qtfloor-build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$SCRATCH/qtfloor-build" -j 2 >/dev/null
  build_sorvane
  private_copy "$SCRATCH/sorvane-copy"
  SORVANE_BIN="$SCRATCH/sorvane-copy/sorvane" python3 "$TOOL/run_peers.py" --out "$OUT" "$@"
  # The medians again, one line a program.
  python3 - "$OUT/summary.json" <<'EOF'
import json, sys
s = json.load(open(sys.argv[1]))
def med(n, k, f=1.0, fmt="{:.3f}"):
    v = s[n].get(k, {}).get("median")
    return "-" if v is None else fmt.format(v * f)
print("| program | own CPU s | X server CPU s | wake-ups/s | RSS MiB | private MiB | threads | exec to map ms |")
print("|---|---|---|---|---|---|---|---|")
for n in s:
    print(f"| {n} | {med(n, 'cpu_ns_s')} | {med(n, 'xsrv_cpu_s')} | {med(n, 'wakeups_per_s', fmt='{:.1f}')} "
          f"| {med(n, 'rss_kb', 1 / 1024, '{:.1f}')} | {med(n, 'anon_kb', 1 / 1024, '{:.1f}')} "
          f"| {med(n, 'threads', fmt='{:.0f}')} | {med(n, 'map_ms', fmt='{:.0f}')} |")
EOF
  exit 0
fi

# --- memory over time -------------------------------------------------------
sorvane_install_packages xvfb x11-utils
minutes=("$@")
[ ${#minutes[@]} -eq 0 ] && minutes=(1 10 60)
for m in "${minutes[@]}"; do
  if ! [[ "$m" =~ ^[0-9]+$ ]] || [ "$m" -lt 1 ] || [ "$m" -gt 600 ]; then
    echo "minutes must be whole numbers 1..600: $m" >&2
    exit 2
  fi
done
last=$(printf '%s\n' "${minutes[@]}" | sort -n | tail -1)
build_sorvane
copy=$(mktemp -d /tmp/sorvane-mem.XXXXXX)
private_copy "$copy"
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$copy"
}
trap cleanup EXIT

python3 "$TOOL/traffic.py" $((last * 60 + 60)) 200 1000 >/dev/null 2>&1 &
pids+=($!)
fifo="$copy/displayfd"
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
pids+=($!)
read -r -t 20 num <"$fifo" || { echo "Xvfb did not start" >&2; exit 1; }
mkdir -p "$copy/home" "$copy/run"
chmod 700 "$copy/run"
env -i PATH="$PATH" HOME="$copy/home" LANG=C.UTF-8 XDG_RUNTIME_DIR="$copy/run" \
  DISPLAY=":$num" QT_QPA_PLATFORM=xcb "$copy/sorvane" >/dev/null 2>&1 &
spid=$!
pids=("$spid" "${pids[@]}")

kb() { awk -v k="$1:" '$1 == k { s += $2 } END { print s + 0 }' "${@:2}"; }
# anon_kb is what run_peers.py reports as private memory; dirty_kb adds the
# written pages of the libraries' data.
start=$(date +%s)
printf '%-7s %8s %8s %9s %8s %8s\n' minute rss_kb anon_kb dirty_kb pss_kb threads
for m in $(printf '%s\n' "${minutes[@]}" | sort -n); do
  while [ $(($(date +%s) - start)) -lt $((m * 60)) ]; do
    kill -0 "$spid" 2>/dev/null || { echo "sorvane ended early" >&2; exit 1; }
    sleep 5
  done
  st=/proc/$spid/status
  roll=/proc/$spid/smaps_rollup
  printf '%-7s %8s %8s %9s %8s %8s\n' "$m" "$(kb VmRSS "$st")" "$(kb RssAnon "$st")" \
    "$(kb Private_Dirty "$roll")" "$(kb Pss "$roll")" "$(kb Threads "$st")"
done
