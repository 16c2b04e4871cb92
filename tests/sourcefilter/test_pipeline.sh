#!/usr/bin/env bash
# Pipelines run by gst-launch-1.0 with the plugin from the build tree:
#   test_pipeline.sh inspect
#   test_pipeline.sh fake       (the fake camera library on LD_LIBRARY_PATH)
#   test_pipeline.sh eos        (the same library; Ctrl+C on gst-launch -e)
#   test_pipeline.sh simulated  (the real camera library over ZMCORE_SIMULATE=default)
# Needs GST_PLUGIN_PATH and GST_REGISTRY from the caller. Exits 77 when a tool or, for
# "simulated", a camera library that lists cameras is missing.
set -euo pipefail

mode=$1
kSkip=77
kLaunchTimeout=60

for tool in gst-launch-1.0 gst-inspect-1.0 identify convert timeout; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed"; exit $kSkip; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*"; exit 1; }

# The fake library's cameras, listed out of serial-number order.
export ZM_FAKE_CAMERAS="B2,size=64x48,grey=192;A1,size=80x60,grey=64"

# "R,G,B" of one pixel of a picture file.
pixel() { convert "$1" -format "%[fx:int(255*p{$2,$3}.r)],%[fx:int(255*p{$2,$3}.g)],%[fx:int(255*p{$2,$3}.b)]" info:; }

# Every row has red end columns; the inside is the given grey (or, without one, some grey).
check_picture() {
  local file=$1 width=$2 height=$3 grey=${4:-}
  [ "$(identify -format '%w %h' "$file")" = "$width $height" ] || fail "$file is $(identify -format '%w %h' "$file"), want $width $height"
  local row
  for row in 0 $((height / 2)) $((height - 1)); do
    [ "$(pixel "$file" 0 "$row")" = "255,0,0" ] || fail "$file: column 0 of row $row is $(pixel "$file" 0 "$row")"
    [ "$(pixel "$file" $((width - 1)) "$row")" = "255,0,0" ] || fail "$file: last column of row $row is not red"
    local inside
    inside=$(pixel "$file" $((width / 2)) "$row")
    IFS=, read -r r g b <<<"$inside"
    [ "$r" = "$g" ] && [ "$g" = "$b" ] || fail "$file: ($((width / 2)),$row) is $inside, not grey"
    if [ -n "$grey" ]; then [ "$r" = "$grey" ] || fail "$file: grey $r, want $grey"; fi
  done
}

# Two pads at once, three pictures each, as PNG files (identity ends the stream at the fourth).
run_two_cameras() {
  local log=$work/launch.log
  set +e
  timeout $kLaunchTimeout gst-launch-1.0 --no-fault zenmirasrc name=s "$@" \
    s.src_0 ! videoconvert ! identity eos-after=4 ! pngenc ! multifilesink location="$work/cam0-%02d.png" \
    s.src_1 ! videoconvert ! identity eos-after=4 ! pngenc ! multifilesink location="$work/cam1-%02d.png" \
    >"$log" 2>&1
  local status=$?
  set -e
  if [ $status -ne 0 ]; then
    cat "$log"
    if grep -q -e 'Cannot load the camera library' -e 'No camera was found' "$log" && [ "$mode" = simulated ]; then
      echo "the camera library lists no cameras yet"
      exit $kSkip
    fi
    fail "gst-launch-1.0 ended with status $status"
  fi
}

case $mode in
  inspect)
    out=$(gst-inspect-1.0 zenmirasrc)
    for want in 'Long-name                Zenmira Source Filter' 'Rank                     marginal' \
                "SRC template: 'src_%u'" 'Availability: Sometimes' 'query-interface' 'snapshot'; do
      grep -qF "$want" <<<"$out" || fail "gst-inspect-1.0 does not show: $want"
    done
    ;;
  fake)
    run_two_cameras folder="$work" series=true file-format=bmp crosshair=true crosshair-x=20 crosshair-y=30
    # Pads follow serial-number order: A1 (80 x 60, grey 64) first, then B2 (64 x 48, grey 192).
    for n in 00 01 02; do
      [ -f "$work/cam0-$n.png" ] && [ -f "$work/cam1-$n.png" ] || fail "picture $n missing"
    done
    check_picture "$work/cam0-02.png" 80 60
    check_picture "$work/cam1-02.png" 64 48 192
    # The crosshair is on the first camera only: row 30 from the bottom is row 29 from the top.
    [ "$(pixel "$work/cam0-02.png" 10 29)" = "255,0,0" ] || fail "no crosshair arm on camera 0"
    [ "$(pixel "$work/cam1-02.png" 10 17)" = "192,192,192" ] || fail "camera 1 shows a crosshair"
    # Series files of both cameras, 8-bit BMP at each camera's size.
    [ -f "$work/Камера_A1#0.bmp" ] && [ -f "$work/Камера_B2#0.bmp" ] || { ls "$work"; fail "series files missing"; }
    [ "$(identify -format '%w %h %z' "$work/Камера_A1#0.bmp")" = "80 60 8" ] || fail "series file of A1"
    [ "$(identify -format '%w %h %z' "$work/Камера_B2#0.bmp")" = "64 48 8" ] || fail "series file of B2"
    # Linking only the first pad shows the first camera; the other one runs unlinked.
    timeout $kLaunchTimeout gst-launch-1.0 --no-fault zenmirasrc ! videoconvert ! identity eos-after=2 ! pngenc ! \
      multifilesink location="$work/only-%02d.png" >"$work/only.log" 2>&1 || { cat "$work/only.log"; fail "single link"; }
    check_picture "$work/only-00.png" 80 60
    # An unknown file format given on the command line is refused with a warning; TIFF stays.
    mkdir "$work/png"
    timeout $kLaunchTimeout gst-launch-1.0 --no-fault zenmirasrc folder="$work/png" file-format=png series=true ! \
      identity eos-after=2 ! fakesink >"$work/png.log" 2>&1 || { cat "$work/png.log"; fail "file-format=png"; }
    grep -q 'WARNING: .*Unknown file format "png"' "$work/png.log" || { cat "$work/png.log"; fail "png was taken silently"; }
    [ -f "$work/png/Камера_A1#0.tiff" ] || { ls "$work/png"; fail "no TIFF series file with file-format=png"; }
    ;;
  eos)
    # Ctrl+C on gst-launch -e sends EOS into the pipeline: the element ends every pad's stream,
    # the series stops, and gst-launch ends by itself with status 0.
    log=$work/eos.log
    gst-launch-1.0 -e --no-fault zenmirasrc name=s folder="$work" series=true \
      s.src_0 ! fakesink s.src_1 ! fakesink >"$log" 2>&1 &
    launch=$!
    for _ in $(seq 100); do
      ls "$work"/*.tiff >/dev/null 2>&1 && break
      sleep 0.1
    done
    ls "$work"/*.tiff >/dev/null 2>&1 || { kill -KILL $launch; cat "$log"; fail "no series file was written"; }
    kill -INT $launch
    for _ in $(seq 200); do
      kill -0 $launch 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 $launch 2>/dev/null; then
      kill -KILL $launch
      cat "$log"
      fail "gst-launch-1.0 -e did not end within 20 s of Ctrl+C"
    fi
    set +e
    wait $launch
    status=$?
    set -e
    [ $status -eq 0 ] || { cat "$log"; fail "gst-launch-1.0 -e ended with status $status after Ctrl+C"; }
    grep -q 'Got EOS from element "pipeline0"' "$log" || { cat "$log"; fail "the pipeline did not reach EOS"; }
    ;;
  simulated)
    [ -e "${ZM_LIBRARY_DIR:-}/libzmcorelib_v4.so" ] || { echo "libzmcorelib_v4.so is not built yet"; exit $kSkip; }
    run_two_cameras
    check_picture "$work/cam0-02.png" "$(identify -format '%w' "$work/cam0-02.png")" "$(identify -format '%h' "$work/cam0-02.png")"
    check_picture "$work/cam1-02.png" "$(identify -format '%w' "$work/cam1-02.png")" "$(identify -format '%h' "$work/cam1-02.png")"
    ;;
  *)
    fail "unknown mode $mode"
    ;;
esac
echo "pipeline test $mode passed"
