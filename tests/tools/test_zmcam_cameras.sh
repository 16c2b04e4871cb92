#!/usr/bin/env bash
# zmcam info, set and grab on every camera zmcam lists:
#   test_zmcam_cameras.sh ZMCAM OUTPUT_FOLDER
# info must show the frame size, set must take a value and refuse a malformed one, and grab must
# write 16-bit PGM files that ImageMagick's identify reads with the camera's frame size (a
# camera turned by 90 degrees swaps them), never over an existing file and never half. Exit 0 when all held, 1 otherwise, 77 without
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
mkdir -p "$output"
errors_file="$output/stderr"

# Runs zmcam, setting out, err and status. Discovery sometimes leaves a camera out when cameras
# re-attach while it renumerates others (it says so on standard error); that is discovery's
# business, not the command's, so the command runs again, at most five times, and says so.
run_zmcam() {
    local attempt
    for attempt in 1 2 3 4 5; do
        out=$("$zmcam" "$@" 2>"$errors_file")
        status=$?
        err=$(cat "$errors_file")
        case "$err" in
            *"did not tell its type"* | *"did not settle on the bus"*)
                echo "note: zmcam $*: discovery left a camera out (attempt $attempt)" ;;
            *) return 0 ;;
        esac
    done
}

run_zmcam list
indices=$(printf '%s\n' "$out" | cut -f1)
[ "$status" -eq 0 ] && [ -n "$indices" ] || { echo "FAILED: zmcam list: $err"; exit 1; }

# One camera: prints what failed, exits with the number of failures.
check_camera() {
    local index=$1
    local info width height name set_line folder file seen
    run_zmcam info "$index"
    info=$out
    [ "$status" -eq 0 ] || { fail "zmcam info $index: $err"; return $failures; }
    width=$(printf '%s\n' "$info" | awk -F'\t' '$1 == "0x3019" { split($4, v, " "); print v[1] }')
    height=$(printf '%s\n' "$info" | awk -F'\t' '$1 == "0x301A" { split($4, v, " "); print v[1] }')
    name=$(printf '%s\n' "$info" | awk -F'\t' '$1 == "0x3101" { print $4 }')
    [ -n "$width" ] && [ -n "$height" ] || { fail "camera $index: info shows no frame size"; return $failures; }
    echo "camera $index: $name, ${width}x${height}"

    run_zmcam set "$index" "Размер кадра: Ширина" 64 пкс
    set_line=$(printf '%s\n' "$out" | head -n 1)
    [[ "$status" -eq 0 && "$set_line" == $'0x3019\tnumber\t'*$'\t64 пкс\t'* ]] ||
        fail "camera $index: set width: $set_line $err"
    run_zmcam set "$index" 0x3019 wide
    [ "$status" -ne 0 ] || fail "camera $index: set took a malformed value"
    [[ "$err" == *"'wide' is not a whole number"* ]] || fail "camera $index: malformed value: $err"

    folder="$output/$index"
    run_zmcam grab "$index" -n 2 -o "$folder"
    [ "$status" -eq 0 ] || { fail "camera $index: grab: $err"; return $failures; }
    for file in "$folder"/frame_0001.pgm "$folder"/frame_0002.pgm; do
        seen=$(identify -format '%m %w %h %z' "$file" 2>&1)
        [ "$seen" = "PGM $width $height 16" ] || [ "$seen" = "PGM $height $width 16" ] ||
            fail "camera $index: $file is '$seen', expected PGM ${width}x${height}, 16 bits"
    done
    # A camera that gets no trigger sends no frame: grab gives up after the frame period in force
    # (and a margin), not after the longest period the camera could be set to.
    if [[ "$name" == *11002* ]]; then
        out=$(timeout 60 "$zmcam" grab "$index" -n 1 -o "$folder/untriggered" -s "0x3031=0x500C" 2>"$errors_file")
        status=$?
        err=$(cat "$errors_file")
        [ "$status" -ne 124 ] || fail "camera $index: grab without a trigger still waited after 60 s"
        [ "$status" -ne 0 ] && [[ "$err" == *"no frame came within"* ]] ||
            fail "camera $index: grab without a trigger ended with $status: $err"
    fi
    # The Dalsa camera is mounted turned by 90 degrees: a region 500 lines high comes out 500
    # pixels wide.
    if [ "$name" = "Zenmira-K2-FT50" ]; then
        run_zmcam grab "$index" -n 1 -o "$folder/region" -s "Размер кадра: Высота=500"
        seen=$(identify -format '%m %w %h %z' "$folder/region/frame_0001.pgm" 2>&1)
        [ "$seen" = "PGM 500 1028 16" ] || fail "camera $index: region 1028x500 came out '$seen' $err"
    fi
    return $failures
}

# Frame files of the first camera are never overwritten, and a file system that takes no more
# (a file-size limit stands in for a full disk) leaves no frame file behind and says why.
check_writing() {
    local index=$1 folder="$output/writing" before
    run_zmcam grab "$index" -n 1 -o "$folder"
    [ "$status" -eq 0 ] || { fail "grab into an empty folder: $err"; return $failures; }
    before=$(cksum <"$folder/frame_0001.pgm")
    run_zmcam grab "$index" -n 1 -o "$folder"
    [ "$status" -ne 0 ] || fail "grab over an existing frame file succeeded"
    [[ "$err" == *"frame_0001.pgm"*"File exists"* ]] || fail "grab over an existing file said: $err"
    [ "$(cksum <"$folder/frame_0001.pgm")" = "$before" ] || fail "grab overwrote frame_0001.pgm"

    mkdir -p "$folder/full"
    out=$(trap '' XFSZ; ulimit -f 64; "$zmcam" grab "$index" -n 2 -o "$folder/full" 2>"$errors_file")
    status=$?
    err=$(cat "$errors_file")
    [ "$status" -ne 0 ] || fail "grab into a full file system succeeded"
    [[ "$err" == *"File too large"* ]] || fail "grab into a full file system said: $err"
    [ -z "$(ls -A "$folder/full")" ] || fail "grab into a full file system left: $(ls -A "$folder/full")"
    return $failures
}

# One camera after the other: each zmcam simulates the whole bus, and discovery waits for the
# simulated cameras within fixed limits that a machine busy with several of them can miss.
for index in $indices; do
    check_camera "$index" >"$output/camera-$index.log" 2>&1 || failures=$((failures + 1))
done
check_writing "$(printf '%s\n' "$indices" | head -n 1)" >"$output/writing.log" 2>&1 || failures=$((failures + 1))
cat "$output"/camera-*.log "$output/writing.log"

[ "$failures" -eq 0 ] && echo "passed"
[ "$failures" -eq 0 ]
