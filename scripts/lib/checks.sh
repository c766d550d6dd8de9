# The checks beside the test suites and packages. Source it after common.sh.

# Every tracked C++ file has the layout of .clang-format.
check_format() { git ls-files -z '*.h' '*.cpp' | xargs -0 clang-format-14 --dry-run --Werror; }

# run_clang_tidy BUILD_DIR PATTERN [ARGUMENT...]: clang-tidy over the build's
# sources under src/ that match the pattern (grep -E); fails on any finding.
run_clang_tidy() {
  local build_dir=$1 pattern=$2 files
  shift 2
  mapfile -t files < <(sed -n 's|^  "file": "\('"$PWD"'/src/.*\.cpp\)",\{0,1\}$|\1|p' "$build_dir/compile_commands.json" |
    grep -E "$pattern" | sort -u)
  [ ${#files[@]} -gt 0 ] || { echo "No sources of src/ in $build_dir/compile_commands.json" >&2; return 1; }
  # Dropped: clang-tidy's counts of the warnings it left out (system headers).
  printf '%s\0' "${files[@]}" | xargs -0 -P "$(nproc)" -n 4 clang-tidy-14 -p "$build_dir" --quiet "$@" \
    2> >(grep -v ' warnings\{0,1\} generated\.$' >&2)
}

# clang-tidy over the sources that only the mingw-w64 build compiles, for its
# target and with the cross compiler's C++ headers (clang has none for it).
run_clang_tidy_windows() {
  local include=()
  mapfile -t include < <(x86_64-w64-mingw32-g++-posix -E -x c++ -v - </dev/null 2>&1 |
    sed -n '/^#include <\.\.\.>/,/^End of search/s|^ \(.*/include/c++.*\)|--extra-arg=-isystem\1|p')
  run_clang_tidy "$1" '(windows|win32|winhttp)[^/]*\.cpp$' --extra-arg=--target=x86_64-w64-mingw32 \
    --extra-arg=-nostdinc++ "${include[@]}"
}

# run_fuzzers BUILD_DIR [SECONDS]: every fuzz target of the build (30 s each by
# default) from a copy of its seeds; keeps a finding in build/fuzz-findings/.
run_fuzzers() {
  local build_dir=$1 seconds=${2:-30} findings=$PWD/build/fuzz-findings scratch failed=0 target name options
  local targets=("$build_dir"/fuzz/*_fuzzer)
  [ -x "${targets[0]}" ] || { echo "No fuzz targets in $build_dir/fuzz: configure with TAVORIN_FUZZ=ON" >&2; return 1; }
  scratch=$(mktemp -d)
  mkdir -p "$findings"
  for target in "${targets[@]}"; do
    name=$(basename "$target" _fuzzer)
    echo "fuzz $name for ${seconds}s"
    cp -r "fuzz/corpus/$name" "$scratch/$name"
    options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
             -artifact_prefix="$findings/$name-")
    [ ! -f "fuzz/$name.dict" ] || options+=(-dict="fuzz/$name.dict")
    "$target" "${options[@]}" "$scratch/$name" >"$scratch/log" 2>&1 ||
      { tail -n 40 "$scratch/log"; echo "FAILED: fuzz $name found a fault; the input is in $findings" >&2; failed=1; }
    grep -E '^stat::(number_of_executed_units|new_units_added|peak_rss_mb)' "$scratch/log" || true
  done
  rm -rf "$scratch"
  return "$failed"
}

# configure_no_window [OPTION...]: configures build/no-window, printing all.
configure_no_window() {
  cmake -S . -B build/no-window -G Ninja -DBUILD_TESTING=OFF -DTAVORIN_WITH_WINDOW=OFF -DCMAKE_COMPILE_WARNING_AS_ERROR=ON "$@" 2>&1
}

# Reconfigures a fresh build/no-window: the API root follows region and suffix
# until it is set, and again once unset.
check_api_root_reconfigure() {
  local step=0
  rm -rf build/no-window
  expect_root() {
    local expected=$1 output
    shift
    step=$((step + 1))
    output=$(configure_no_window "$@") || { echo "$output" >&2; return 1; }
    grep -qxF -- "-- Tavorin API root: $expected" <<<"$output" && [ "$(compiled_api_root build/no-window)" = "$expected" ] ||
      { echo "API root, step $step ($*): expected $expected, configure said: $(grep 'API root' <<<"$output")," \
        "compiled in: $(compiled_api_root build/no-window)" >&2; return 1; }
  }
  expect_root https://xx-api.switchcloud.example -DTAVORIN_REGION=xx &&
    expect_root https://xx.cloud.test -DTAVORIN_API_HOST_SUFFIX=.cloud.test &&
    expect_root http://127.0.0.1:9 -DTAVORIN_API_ROOT=http://127.0.0.1:9 &&
    expect_root http://127.0.0.1:9 -DTAVORIN_REGION=yy &&
    expect_root https://yy.cloud.test -UTAVORIN_API_ROOT
}

# The program without the window, started without arguments, wants a device ID.
check_build_without_window() {
  local output status=0
  quietly configure_no_window -DTAVORIN_API_HOST_SUFFIX=.cloud.test
  quietly cmake --build build/no-window --target tavorin
  output=$(build/no-window/src/control/tavorin 2>&1) || status=$?
  [ "$status" -eq 2 ] && grep -qxF "Tavorin: no device ID given (this build has no window)" <<<"$output" ||
    { echo "Without arguments, the build without the window ended with $status and said: $output" >&2; return 1; }
}
