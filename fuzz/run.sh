#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each for the given number of seconds,
# seeded with earlier findings, the damaged files of tests/hostile/corpus, the
# real modules and AIFF files that sox and libsndfile write.
#   fuzz/run.sh [SECONDS_PER_TARGET] [TARGET...]
# Exits non-zero on any finding; the inputs that found something are kept in
# build-fuzz/findings/. Prints the executions each target ran.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
build="$root/build-fuzz"
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_module fuzz_replayer fuzz_aiff_reader fuzz_aiff_writer fuzz_renderer)

flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DCMAKE_MODULE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DOV_FUZZ=ON -DOV_WERROR=OFF -DOV_BUILD_TESTS=OFF -DOV_WITH_SDL=OFF >/dev/null
available=()
for target in "${targets[@]}"; do
  if grep -q "^build bin/$target:" "$build/build.ninja" 2>/dev/null ||
     ninja -C "$build" -t targets all 2>/dev/null | grep -q "^$target:"; then
    available+=("$target")
  else
    echo "fuzz: no target $target in this tree; skipped"
  fi
done
ninja -C "$build" "${available[@]}" >/dev/null

# AIFF files written by sox and by libsndfile, when they are there.
if command -v sox >/dev/null; then
  seeds="$build/seeds/fuzz_aiff_reader"
  mkdir -p "$seeds"
  for format in "-r 8000 -c 1" "-r 44100 -c 2" "-r 96000 -c 2"; do
    name="$seeds/sox${format//[^0-9]/-}"
    # shellcheck disable=SC2086
    sox -q -n $format -b 16 "$name.aiff" synth 0.05 sine 440 2>/dev/null || true
    if command -v sndfile-convert >/dev/null; then
      # shellcheck disable=SC2086
      sox -q -n $format -b 16 "$name.wav" synth 0.05 sine 330 2>/dev/null &&
        sndfile-convert -pcm16 "$name.wav" "${name/sox/sndfile}.aiff" >/dev/null 2>&1 || true
      rm -f "$name.wav"
    fi
  done
fi

export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:allocator_may_return_null=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
mkdir -p "$build/findings"
status=0
for target in "${available[@]}"; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  # Inputs that found faults before (replayed by tests/findings) come first,
  # so a fault that comes back is found at once.
  case $target in
    fuzz_module | fuzz_replayer)
      inputs=("$root/tests/findings/module"/* "$root/tests/hostile/corpus"/*.mod
             "${OV_MODS_DIR:-$root/../shared/mods}"/*.mod) ;;
    fuzz_aiff_reader) inputs=("$root/tests/hostile/corpus"/*.aiff "$build/seeds/fuzz_aiff_reader"/*) ;;
    *) inputs=("$root/tests/findings/${target#fuzz_}"/*) ;;
  esac
  cp -n "${inputs[@]}" "$corpus"/ 2>/dev/null || true
  log="$build/$target.log"
  if "$build/bin/$target" "$corpus" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 \
      -print_final_stats=1 -artifact_prefix="$build/findings/$target-" >"$log" 2>&1; then
    result=ok
  else
    result=FINDING
    status=1
  fi
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
  echo "fuzz: $target: $result, $runs executions in ${seconds}s, corpus $(ls "$corpus" | wc -l) files"
  if [ "$result" != ok ]; then
    grep -E 'ERROR|SUMMARY|leak:|runtime error' "$log" | head -5 | sed 's/^/fuzz:   /'
  fi
done
exit $status
