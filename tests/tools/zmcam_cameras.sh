#!/usr/bin/env bash
# zmcam info, set and grab on every camera zmcam lists:
#   zmcam_cameras.sh ZMCAM OUTPUT_FOLDER
# info must show the frame size, set must take a value and refuse a malformed one, and grab must
# write 16-bit PGM files that ImageMagick's identify reads with the camera's frame size (a
# camera turned by 90 degrees swaps them). Exit 0 when all held, 1 otherwise, 77 without
# identify.
set -u
zmcam=$1
output=$2
failures=0

fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

if ! command -v identify >/dev/null; then
    echo "identify (ImageMagick) is not installed"
    exit 77
fi
rm -rf "$output"

indices=$("$zmcam" list | cut -f1) || { echo "FAILED: zmcam list"; exit 1; }
[ -n "$indices" ] || { echo "FAILED: zmcam lists no camera"; exit 1; }

# One camera: prints what failed, exits with the number of failures.
check_camera() {
    local index=$1
    local info width height name set_line errors folder file seen
    info=$("$zmcam" info "$index") || { fail "zmcam info $index"; return $failures; }
    width=$(printf '%s\n' "$info" | awk -F'\t' '$1 == "0x3019" { split($4, v, " "); print v[1] }')
    height=$(printf '%s\n' "$info" | awk -F'\t' '$1 == "0x301A" { split($4, v, " "); print v[1] }')
    name=$(printf '%s\n' "$info" | awk -F'\t' '$1 == "0x3101" { print $4 }')
    [ -n "$width" ] && [ -n "$height" ] || { fail "camera $index: info shows no frame size"; return $failures; }
    echo "camera $index: $name, ${width}x${height}"

    set_line=$("$zmcam" set "$index" "Размер кадра: Ширина" 64 пкс | head -n 1)
    [[ "$set_line" == $'0x3019\tnumber\t'*$'\t64 пкс\t'* ]] || fail "camera $index: set width: $set_line"
    if errors=$("$zmcam" set "$index" 0x3019 wide 2>&1); then
        fail "camera $index: set took a malformed value"
    fi
    [[ "$errors" == *"'wide' is not a whole number"* ]] || fail "camera $index: malformed value: $errors"

    folder="$output/$index"
    "$zmcam" grab "$index" -n 2 -o "$folder" >/dev/null || { fail "camera $index: grab"; return $failures; }
    for file in "$folder"/frame_0001.pgm "$folder"/frame_0002.pgm; do
        seen=$(identify -format '%m %w %h %z' "$file" 2>&1)
        [ "$seen" = "PGM $width $height 16" ] || [ "$seen" = "PGM $height $width 16" ] ||
            fail "camera $index: $file is '$seen', expected PGM ${width}x${height}, 16 bits"
    done
    return $failures
}

# Two cameras at a time, one per processor core (each zmcam simulates the whole bus): more at
# once would starve the simulated cameras of processor time.
mkdir -p "$output"
run_lane() {
    local lane=$1 position=0 lane_failures=0 index
    for index in $indices; do
        if [ $((position % 2)) -eq "$lane" ]; then
            check_camera "$index" >"$output/camera-$index.log" 2>&1 || lane_failures=$((lane_failures + 1))
        fi
        position=$((position + 1))
    done
    return $lane_failures
}
run_lane 0 &
lane0=$!
run_lane 1 || failures=$((failures + 1))
wait "$lane0" || failures=$((failures + 1))
cat "$output"/camera-*.log

[ "$failures" -eq 0 ] && echo "passed"
[ "$failures" -eq 0 ]
