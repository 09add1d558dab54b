#!/usr/bin/env bash
# Shows the panel on a virtual X display and saves a picture of it.
#
#   tools/screenshot.sh [-u] [-b BUILD_DIR] [-o OUTPUT.png] [-w SECONDS] [-s SCALE] [-- PANEL ARGS]
#
# The panel runs with its own settings folder (XDG_CONFIG_HOME), so the
# caller's remembered port is neither read nor changed. Set QV718_CONFIG_HOME
# to use a prepared folder instead, for example one whose [Ports] section
# names a simulated unit's line. With -u the panel is attached to a simulated
# unit that tools/with-sim starts (BUILD_DIR/sim/qv718-sim, with its demo
# options).
set -euo pipefail

build=build
output=docs/panel.png
wait_seconds=3
scale=1
with_unit=""
while getopts "ub:o:w:s:" opt; do
    case $opt in
        u) with_unit=yes ;;
        b) build=$OPTARG ;;
        o) output=$OPTARG ;;
        w) wait_seconds=$OPTARG ;;
        s) scale=$OPTARG ;;
        *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))

if [ -n "$with_unit" ]; then
    exec "$(dirname "$0")/with-sim" -b "$build" -- \
        "$0" -b "$build" -o "$output" -w "$wait_seconds" -s "$scale" -- "$@"
fi

panel="$build/src/qv718-panel"
[ -x "$panel" ] || { echo "no panel at $panel; build first" >&2; exit 1; }
for tool in xvfb-run import; do
    command -v "$tool" >/dev/null || { echo "$tool is missing (apt install xvfb xauth imagemagick)" >&2; exit 1; }
done

config=${QV718_CONFIG_HOME:-}
cleanup=""
if [ -z "$config" ]; then
    config=$(mktemp -d)
    cleanup=$config
fi
trap '[ -n "$cleanup" ] && rm -rf "$cleanup"' EXIT

mkdir -p "$(dirname "$output")"
output=$(realpath -m "$output")
width=$((400 * ${scale%.*} + 40))
height=$((480 * ${scale%.*} + 40))

XDG_CONFIG_HOME="$config" QT_SCALE_FACTOR="$scale" xvfb-run -a -s "-screen 0 ${width}x${height}x24 -dpi 96" \
    bash -c '
        "$1" "${@:4}" &
        pid=$!
        sleep "$2"
        import -window root -trim +repage "$3"
        kill $pid
        wait $pid 2>/dev/null || true
    ' _ "$panel" "$wait_seconds" "$output" "$@"
echo "$output"
