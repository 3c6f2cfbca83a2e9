#!/usr/bin/env bash
# Checks the code's format, then builds and runs the whole test suite in
# several configurations, each in a build folder of its own at the top of the
# repository:
#
#   format   the product code keeps the style of .clang-format
#            (scripts/check-format.sh)
#   release  native Release (build-release); window tests on a virtual
#            display (xvfb-run)
#   asan     native Debug with AddressSanitizer and UndefinedBehaviorSanitizer,
#            leaks reported as failures (build-asan)
#   tsan     native with ThreadSanitizer (build-tsan): only the programs where
#            tasks, ports, signals and SDL's threads meet (platform,
#            visualiser and host tests); any report fails
#   ppc      32-bit big-endian PowerPC, cross-built and run under qemu-user
#            (build-ppc), with OV_TEST_QUICK=1 so long tests shorten
#   fuzz     every libFuzzer target for OV_FUZZ_SECONDS (default 45) on its
#            seed corpus (build-fuzz, clang); any finding fails
#
#   scripts/test-all.sh [CONFIG...]     all of them when none is named
#
# Ends with "N passed, N failed": test programs (and fuzz targets) over all
# configurations run.
# A configuration that does not build counts each of its programs as failed.
set -uo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"

jobs=${OV_JOBS:-2}
test_timeout=${OV_TEST_TIMEOUT:-900}

scripts/install-deps.sh || {
  echo "test-all: installing the dependencies failed" >&2
  exit 1
}

configure_args() {
  case $1 in
    release) echo "-DCMAKE_BUILD_TYPE=Release -DOV_WITH_SDL=ON -DOV_BUILD_BENCHMARKS=ON -DOV_BUILD_TESTS=ON" ;;
    asan) echo "-DCMAKE_BUILD_TYPE=Debug -DOV_SANITIZE=ON -DOV_WITH_SDL=ON -DOV_BUILD_BENCHMARKS=OFF" ;;
    tsan) echo "-DCMAKE_BUILD_TYPE=RelWithDebInfo -DOV_SANITIZE_THREAD=ON -DOV_WITH_SDL=ON -DOV_BUILD_BENCHMARKS=OFF" ;;
    ppc) echo "-DCMAKE_TOOLCHAIN_FILE=$repo/cmake/toolchain-powerpc.cmake -DCMAKE_BUILD_TYPE=Release
               -DOV_WITH_SDL=OFF -DOV_BUILD_BENCHMARKS=OFF" ;;
    fuzz | format) echo "" ;;
    *) return 1 ;;
  esac
}

# The test programs of the ThreadSanitizer stage; building only them (and
# what they run: orvane, Zephrin, the plug-ins) keeps the stage short.
tsan_tests=(platform_tests frame_tests visualiser_tests visualiser_sdl_tests host_tests)
tsan_pattern="^($(IFS='|'; echo "${tsan_tests[*]}"))\$"

# What to build for one configuration: everything, or the named targets.
build_targets() {
  case $1 in
    tsan) echo "--target ${tsan_tests[*]}" ;;
    *) echo "" ;;
  esac
}

# Runs ctest for one configuration with what that configuration needs
# around it.
run_ctest() {
  local config=$1 dir=$2
  local ctest_cmd=(ctest --test-dir "$dir" --output-on-failure -j"$jobs" --timeout "$test_timeout")
  case $config in
    release)
      xvfb-run -a "${ctest_cmd[@]}" ;;
    asan)
      # No display: the platform's in-memory window back end is used.
      env -u DISPLAY \
        ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:print_stacktrace=1 \
        UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        "${ctest_cmd[@]}" ;;
    tsan)
      # Any report fails its program (and orvane's own status in the host
      # tests); the suppressions cover only uninstrumented system libraries.
      env -u DISPLAY \
        TSAN_OPTIONS="halt_on_error=1:exitcode=66:second_deadlock_stack=1:suppressions=$repo/scripts/tsan.supp" \
        "${ctest_cmd[@]}" -R "$tsan_pattern" ;;
    ppc)
      env -u DISPLAY OV_TEST_QUICK=1 "${ctest_cmd[@]}" ;;
  esac
}

# Number of tests ctest knows in a configured build folder (of those the
# configuration runs).
count_tests() {
  local only=()
  [ "$2" = tsan ] && only=(-R "$tsan_pattern")
  ctest --test-dir "$1" -N "${only[@]}" 2>/dev/null | sed -n 's/^Total Tests: *\([0-9]*\).*/\1/p'
}

total_passed=0
total_failed=0
summaries=()
status=0

# Adds one configuration's counts to the totals and its line to the summary.
tally() {
  local config=$1 passed=$2 failed=$3 timing=$4 verdict=ok
  total_passed=$((total_passed + passed))
  total_failed=$((total_failed + failed))
  if [ "$failed" -ne 0 ]; then
    verdict=FAILED
    status=1
  fi
  summaries+=("$(printf '%-8s %-6s %3d passed, %3d failed   %s' \
    "$config" "$verdict" "$passed" "$failed" "$timing")")
}

configs=("$@")
[ ${#configs[@]} -eq 0 ] && configs=(format release asan tsan ppc fuzz)

for config in "${configs[@]}"; do
  if ! args=$(configure_args "$config"); then
    echo "test-all: unknown configuration '$config' (format, release, asan, tsan, ppc, fuzz)" >&2
    exit 2
  fi
  if [ "$config" = format ]; then
    echo "=== format: checking the code against .clang-format"
    if scripts/check-format.sh; then
      tally format 1 0 "style of .clang-format"
    else
      tally format 0 1 "scripts/check-format.sh --fix reformats"
    fi
    continue
  fi
  dir=$repo/build-$config
  log=$dir/test-all-build.log
  mkdir -p "$dir"
  if [ "$config" = fuzz ]; then
    echo "=== fuzz: building and running every target for ${OV_FUZZ_SECONDS:-45}s"
    started=$SECONDS
    fuzz/run.sh "${OV_FUZZ_SECONDS:-45}" 2>&1 | tee "$dir/test-all-fuzz.log"
    fuzz_status=${PIPESTATUS[0]}
    passed=$(grep -c '^fuzz: .*: ok,' "$dir/test-all-fuzz.log" || true)
    failed=$(grep -c '^fuzz: .*: FINDING,' "$dir/test-all-fuzz.log" || true)
    if [ "$fuzz_status" -ne 0 ] && [ "$failed" -eq 0 ]; then
      failed=1 # the build or the script itself
    fi
    tally "$config" "$passed" "$failed" "$(printf 'targets run %4ds' $((SECONDS - started)))"
    continue
  fi
  echo "=== $config: configuring and building in build-$config"
  started=$SECONDS
  # shellcheck disable=SC2086 # the arguments are split on purpose
  if cmake -S "$repo" -B "$dir" -G Ninja $args >"$log" 2>&1 &&
     cmake --build "$dir" -j "$jobs" $(build_targets "$config") >>"$log" 2>&1; then
    built=1
  else
    built=0
  fi
  build_seconds=$((SECONDS - started))

  passed=0
  failed=0
  if [ $built -eq 0 ]; then
    echo "--- $config: build FAILED after ${build_seconds}s; the end of $log:"
    tail -n 60 "$log"
    failed=$(count_tests "$dir" "$config")
    failed=${failed:-0}
    [ "$failed" -eq 0 ] && failed=1 # the build itself
    test_seconds=0
  else
    echo "--- $config: built in ${build_seconds}s; running the tests"
    started=$SECONDS
    ctest_log=$dir/test-all-ctest.log
    run_ctest "$config" "$dir" 2>&1 | tee "$ctest_log"
    ctest_status=${PIPESTATUS[0]}
    test_seconds=$((SECONDS - started))
    # "100% tests passed, 0 tests failed out of 7"
    summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$ctest_log" | tail -n 1)
    if [ -n "$summary" ]; then
      failed=$(sed -E 's/.* ([0-9]+) tests? failed out of.*/\1/' <<<"$summary")
      total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$summary")
      passed=$((total - failed))
    fi
    if [ $ctest_status -ne 0 ] && [ "$failed" -eq 0 ]; then
      failed=1 # ctest itself failed (no tests found, a crash of the runner)
    fi
  fi

  tally "$config" "$passed" "$failed" \
    "$(printf 'build %4ds, tests %4ds' "$build_seconds" "$test_seconds")"
done

echo
echo "=== summary (test programs per configuration)"
printf '%s\n' "${summaries[@]}"
echo "total time ${SECONDS}s"
scripts/line-ratio.sh
echo "$total_passed passed, $total_failed failed"
exit $status
