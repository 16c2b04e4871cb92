#!/usr/bin/env bash
# The installed tree works on its own: installs the build into a fresh prefix and runs the
# element from there with the simulated cameras, without LD_LIBRARY_PATH.
#   test_installed.sh BUILD_DIR LIBDIR
# Exits 77 when a tool is missing.
set -euo pipefail

build=$1
libdir=$2
kSkip=77
kLaunchTimeout=60

for tool in gst-launch-1.0 objdump timeout; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed"; exit $kSkip; }
done

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$prefix" >"$prefix/install.log" 2>&1 || { cat "$prefix/install.log"; fail "cmake --install"; }

library=$prefix/$libdir/libzmcorelib_v4.so
soname=$(objdump -p "$library" | awk '$1 == "SONAME" { print $2 }')
[ "$soname" = "libzmcorelib_v4.so.4" ] || fail "the library's SONAME is '$soname', want libzmcorelib_v4.so.4"
[ -e "$prefix/$libdir/$soname" ] || fail "$soname is not installed beside the library"

# The simulated cameras take their FPGA configuration files from the current folder, bin/.
cd "$prefix/bin"
log=$prefix/launch.log
env -u LD_LIBRARY_PATH -u ZM_LIBRARY_DIR GST_PLUGIN_PATH="$prefix/$libdir/gstreamer-1.0" \
  GST_REGISTRY="$prefix/registry.bin" ZMCORE_SIMULATE=default ZMCORE_SIM_BUS_MBPS=0 \
  timeout $kLaunchTimeout gst-launch-1.0 --no-fault zenmirasrc ! identity eos-after=2 ! fakesink >"$log" 2>&1 ||
  { cat "$log"; fail "gst-launch-1.0 with the installed element"; }
grep -q 'Got EOS from element "pipeline0"' "$log" || { cat "$log"; fail "the installed element streamed nothing"; }

env -u LD_LIBRARY_PATH ZMCORE_SIMULATE="pid=0x2115,serial=1" ZMCORE_SIM_BUS_MBPS=0 ./zmcam list >"$log" 2>&1 ||
  { cat "$log"; fail "the installed zmcam"; }
echo "installed tree passed"
