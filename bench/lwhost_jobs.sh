#!/usr/bin/env bash
# Runs every lwhost command on the large generated inputs of the plug-in
# benchmarks, each as its own process, and prints one table: wall time,
# the process's peak resident memory and throughput.
#
#   bench/lwhost_jobs.sh [BUILD_DIR [WORK_DIR]]
#
# BUILD_DIR defaults to build/release (built with the release preset);
# WORK_DIR, where the inputs and outputs go (about 600 MB), to a new
# temporary folder that is removed at the end. Needs GNU time (/usr/bin/time).
set -euo pipefail

build=${1:-build/release}
lwhost=$build/cli/lwhost
[ -x "$lwhost" ] || { echo "no $lwhost: build with the release preset first" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "needs GNU time (/usr/bin/time)" >&2; exit 2; }
if [ $# -ge 2 ]; then
  work=$2
  mkdir -p "$work"
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
examples=$(dirname "$0")/../examples

"$build/bench/bench_make_inputs" "$work"

printf '%-58s %9s %9s %16s\n' "job" "seconds" "peak MB" "throughput"
# job LABEL COUNT UNIT ARGS...: one timed run of lwhost ARGS.
job() {
  local label=$1 count=$2 unit=$3
  shift 3
  if ! /usr/bin/time -f '%e %M' -o "$work/time.txt" "$lwhost" "$@" >"$work/out.txt" 2>"$work/err.txt"; then
    echo "FAILED: $label" >&2
    cat "$work/err.txt" >&2
    exit 1
  fi
  local seconds kb
  read -r seconds kb <"$work/time.txt"
  awk -v label="$label" -v s="$seconds" -v kb="$kb" -v n="$count" -v unit="$unit" 'BEGIN {
    rate = s > 0 ? n / s : 0
    text = rate >= 1e6 ? sprintf("%.2f M", rate / 1e6) : rate >= 1e3 ? sprintf("%.1f k", rate / 1e3) : sprintf("%.0f ", rate)
    printf "%-58s %9.2f %9.0f %16s\n", label, s, kb / 1024, text unit "/s"
  }'
}

w=$work
job "import-mesh  1M triangles, 1,000 materials -> LWO2" 1000000 tri \
  import-mesh "$w/character_1m.smd" -o "$w/character.lwo"
job "export-ref   that LWO2 -> SMD" 1000000 tri \
  export-ref "$w/character.lwo" -o "$w/character_ref.smd"
job "export-mesh  that LWO2 -> SMD" 1000000 tri \
  export-mesh "$w/character.lwo" -o "$w/character_static.smd"
job "uv-template  that LWO2 -> 1024 x 1024 TGA" 1000000 tri \
  uv-template "$w/character.lwo" -o "$w/character_uv.tga" --size 1024
job "import-skeleton  100 bones + 3,000-frame sequence -> LWS" 300000 bone-frame \
  import-skeleton "$w/skeleton_ref.smd" --sequence "$w/skeleton_seq.smd" -o "$w/skeleton.lws"
job "export-anim  100 bones x 3,000 frames -> SMD" 300000 bone-frame \
  export-anim "$w/skeleton.lws" -o "$w/skeleton_anim.smd" --first 0 --last 2999
job "import-skeleton  the bundled arm (6 bones)" 6 bone \
  import-skeleton "$examples/arm_ref.smd" --sequence "$examples/arm_wave.smd" -o "$w/arm.lws"
job "export-anim  6 bones x 1,000,000 frames -> SMD" 6000000 bone-frame \
  export-anim "$w/arm.lws" -o "$w/arm_long.smd" --first 0 --last 999999
job "demo  the whole round trip on the bundled arm" 1 run \
  demo --out "$w/demo"
