#!/usr/bin/env bash
# The main job, from an empty checkout: installs the Debian packages the
# player needs, builds it without the tests (native Release,
# build-release/bin), then runs the host player
# on the bundled demo song:
#   demo.aiff       30 seconds of the demo song rendered to AIFF
#   demo-frames/    the visualiser's pictures (PNG) over its first 10 seconds
#   the sound device plays it when there is one (or with OV_DEMO_PLAY=1;
#   OV_DEMO_PLAY=0 never plays)
# Without the host player (a build without SDL2) it lists the plug-ins'
# descriptors instead.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"

scripts/install-deps.sh player
echo "run-demo: building in build-release"
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DOV_WITH_SDL=ON \
  -DOV_BUILD_TESTS=OFF >/dev/null
cmake --build build-release -j "${OV_JOBS:-2}"

bin=build-release/bin
if [ ! -x "$bin/orvane" ]; then
  echo "run-demo: no host player in $bin; the plug-ins describe themselves:"
  exec "$bin/ovplugins"
fi

# Whether a sound device is there to play to: an ALSA playback device or a
# PulseAudio/PipeWire server of the user.
sound_device_present() {
  case ${OV_DEMO_PLAY:-} in
    1) return 0 ;;
    0) return 1 ;;
  esac
  [ "${CI:-}" = true ] && return 1
  compgen -G '/dev/snd/pcmC*D*p' >/dev/null && return 0
  [ -S "${XDG_RUNTIME_DIR:-/run/user/$(id -u)}/pulse/native" ] && return 0
  return 1
}

"$bin/orvane" plugins
echo "run-demo: rendering 30 seconds of the demo song to demo.aiff"
"$bin/orvane" render --seconds 30 -o demo.aiff
echo "run-demo: saving the visualiser's pictures of its first 10 seconds in demo-frames/"
rm -rf demo-frames
"$bin/orvane" render --seconds 10 --frames-dir demo-frames --raw -o - >/dev/null
echo "run-demo: $(find demo-frames -name '*.png' | wc -l) pictures in demo-frames/"

if sound_device_present; then
  echo "run-demo: playing the demo song (q quits)"
  "$bin/orvane" play --seconds 60
else
  echo "run-demo: no sound device found; listen to demo.aiff, or run $bin/orvane play"
fi
