#!/usr/bin/env bash
# A screenshot written by the tool under Wine opens in ImageMagick with the
# launcher's client size, the right way up: the Play button is read green at
# the place where the tool saw it.
#   shot_opens_in_identify.sh TOOL.exe LAUNCHER.exe WINE_RUN SCRATCH_FOLDER
set -u
tool="$1" launcher="$2" wine_run="$3" scratch="$4"

if ! command -v identify >/dev/null; then
    echo "identify is missing: install the imagemagick package"
    exit 1
fi
shot="$scratch/dump_identify_shot.bmp"
shot_windows="Z:${shot//\//\\}"
rm -f "$shot"

"$wine_run" "$launcher" --width 700 --height 500 --lifetime-ms 30000 >/dev/null 2>&1 &
launcher_pid=$!
trap 'kill "$launcher_pid" 2>/dev/null; wait "$launcher_pid" 2>/dev/null; rm -f "$shot"' EXIT

# The launcher takes a moment to show its window: dump until it is found.
output=""
attempts=""
for _ in $(seq 1 40); do
    output="$("$wine_run" "$tool" dump --shot "$shot_windows" | tr -d '\r')"
    [ -f "$shot" ] && break
    attempts="$attempts$output"$'\n'
    sleep 0.25
done
echo "$output"
if [ ! -f "$shot" ]; then
    echo "FAIL: the tool wrote no screenshot; its reports were:"
    echo "$attempts" | sort | uniq -c
    exit 1
fi

# The simulated launcher centres its default 300 x 64 button 120 pixels above
# the client area's bottom: that gives the client size the file must have.
read -r left top width height < <(echo "$output" | sed -n 's/^LOOKED button \(-\?[0-9]*\) \([0-9]*\) \([0-9]*\) \([0-9]*\) .*/\1 \2 \3 \4/p')
if [ -z "${left:-}" ] || [ "$width" != 300 ] || [ "$height" != 64 ]; then
    echo "FAIL: no default button in the dump"
    exit 1
fi
expected_height=$((top + 64 + 120))

info="$(identify -format '%m %w %h' "$shot" 2>&1)"
echo "identify: $info"
read -r format image_width image_height <<<"$info"
status=0
# ImageMagick names a file with a 40-byte info header "BMP3".
if [ "${format#BMP}" = "$format" ]; then
    echo "FAIL: identify does not read it as a BMP"
    status=1
fi
if [ "$image_height" != "$expected_height" ] ||
   { [ "$image_width" != $((2 * left + 300)) ] && [ "$image_width" != $((2 * left + 301)) ]; }; then
    echo "FAIL: size ${image_width}x${image_height}, client area ${expected_height} high with the button at $left"
    status=1
fi
if [ "$(stat -c %s "$shot")" != $((54 + image_width * image_height * 4)) ]; then
    echo "FAIL: the file size does not match the picture"
    status=1
fi
# Inside the button, near its bottom: green 27873e only if rows are top-down.
colour="$(identify -format "%[pixel:p{$((left + 3)),$((top + 60))}]" "$shot" 2>&1)"
echo "pixel inside the button: $colour"
case "$colour" in
    "srgb(39,135,62)" | "srgba(39,135,62,"* | "#27873E"*) ;;
    *) echo "FAIL: the button is not where the tool saw it"; status=1 ;;
esac
[ "$status" = 0 ] && echo "PASS"
exit "$status"
