# Shared by the scripts: install missing Debian packages and build the test
# configuration. Source it from the repository root.

# Packages the build, the tests and the demo need, one line per purpose.
TAVORIN_PACKAGES=(cmake ninja-build g++ pkg-config ca-certificates openssl)
TAVORIN_PACKAGES+=(libcurl4-openssl-dev)                                # HTTP client
TAVORIN_PACKAGES+=(libcpp-httplib-dev libssl-dev libgtest-dev libgmock-dev) # tests, simulated cloud
TAVORIN_PACKAGES+=(libbenchmark-dev)                                    # scanner benchmarks (built by the tests too)
TAVORIN_PACKAGES+=(qt6-base-dev qt6-qpa-plugins fonts-dejavu-core xvfb xauth xdotool) # window, its tests and screenshot
TAVORIN_PACKAGES+=(clang-14 libclang-rt-14-dev llvm-14)                 # sanitizers, libFuzzer, readable reports
TAVORIN_PACKAGES+=(g++-mingw-w64-x86-64-posix googletest wine64)        # Windows cross-build, its tests under Wine
TAVORIN_PACKAGES+=(clang-tidy-14 clang-format-14)                      # lint and layout checks
TAVORIN_PACKAGES+=(dpkg-dev file lintian man-db zip)                    # the Debian packages and their checks
TAVORIN_PACKAGES+=(crossbuild-essential-arm64 libcurl4-openssl-dev:arm64 qt6-base-dev:arm64 # arm64 cross-build,
                   qt6-qpa-plugins:arm64 qemu-user-static)               # its tests under qemu
# What scripts/package needs: the Release builds of the program, its window and
# the Windows program, and the Debian packaging tools.
TAVORIN_PACKAGING_PACKAGES=(cmake ninja-build g++ pkg-config libcurl4-openssl-dev qt6-base-dev
                            g++-mingw-w64-x86-64-posix dpkg-dev file lintian man-db zip
                            crossbuild-essential-arm64 libcurl4-openssl-dev:arm64 qt6-base-dev:arm64)
# What scripts/bench needs on top: the timing tool, the curl it compares with,
# peak-memory measurement and reading the timings.
TAVORIN_BENCH_PACKAGES=(hyperfine curl time jq)

ensure_packages() {
  local missing=()
  local package
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$package")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
      echo "Missing packages and no sudo: install ${missing[*]} as root" >&2
      return 1
    fi
    sudo=(sudo)
  fi
  export DEBIAN_FRONTEND=noninteractive
  # Packages of another architecture, such as arm64 libraries, come through multiarch.
  if [[ ${missing[*]} == *:arm64* ]] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
    "${sudo[@]}" dpkg --add-architecture arm64
  fi
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Configures and builds the given preset; further arguments go to the
# configure step. TAVORIN_TEST_PORT, when set, moves the loopback test builds
# to another port, so that two checkouts can run their tests at the same time.
build_configuration() {
  local port=()
  case "$1" in
    default | windows | package | arm64) ;;
    *) [ -n "${TAVORIN_TEST_PORT:-}" ] && port=(-DTAVORIN_API_ROOT="http://127.0.0.1:$TAVORIN_TEST_PORT") ;;
  esac
  cmake --preset "$@" "${port[@]}"
  cmake --build --preset "$1"
}

# Configures, builds and runs the tests of the given preset; further arguments
# go to the configure step.
test_configuration() {
  echo "== $1"
  build_configuration "$@"
  ctest --preset "$1"
}

# Runs every fuzz target of a build for a bounded time (seconds, default 30),
# each from a scratch copy of its committed seeds so that the repository stays
# as it is. Fails on any finding: the input that caused it is kept under
# <build dir>/fuzz-findings/.
run_fuzzers() {
  local build_dir=$1 seconds=${2:-30}
  local findings="$build_dir/fuzz-findings" scratch failed=0 target name
  local targets=("$build_dir"/fuzz/*_fuzzer)
  if [ ! -x "${targets[0]}" ]; then
    echo "No fuzz targets in $build_dir/fuzz: configure with TAVORIN_FUZZ=ON" >&2
    return 1
  fi
  scratch=$(mktemp -d)
  mkdir -p "$findings"
  for target in "${targets[@]}"; do
    name=$(basename "$target" _fuzzer)
    echo "== fuzz $name for ${seconds}s"
    cp -r "fuzz/corpus/$name" "$scratch/$name"
    local options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
                   -artifact_prefix="$findings/$name-")
    if [ -f "fuzz/$name.dict" ]; then
      options+=(-dict="fuzz/$name.dict")
    fi
    if "$target" "${options[@]}" "$scratch/$name" >"$scratch/$name.log" 2>&1; then
      grep -E '^stat::(number_of_executed_units|new_units_added|peak_rss_mb)' "$scratch/$name.log" || true
    else
      tail -n 40 "$scratch/$name.log"
      echo "FAILED: fuzz $name found a fault; the input is in $findings" >&2
      failed=1
    fi
  done
  rm -rf "$scratch"
  return "$failed"
}

# Fails when a tracked C++ file strays from the layout in .clang-format.
check_format() {
  echo "== format"
  git ls-files -z '*.h' '*.cpp' | xargs -0 clang-format-14 --dry-run --Werror
}

# Runs clang-tidy (.clang-tidy) over the sources under src/ that a build
# compiles and whose names match a pattern (grep -E), with that build's compile
# database; fails on any finding. Further arguments go to clang-tidy.
run_clang_tidy() {
  local build_dir=$1 pattern=$2 files
  shift 2
  echo "== clang-tidy ($build_dir)"
  mapfile -t files < <(sed -n 's|^  "file": "\('"$PWD"'/src/.*\.cpp\)",\{0,1\}$|\1|p' "$build_dir/compile_commands.json" |
    grep -E "$pattern" | sort -u)
  if [ ${#files[@]} -eq 0 ]; then
    echo "No sources of src/ in $build_dir/compile_commands.json" >&2
    return 1
  fi
  # Findings go to the output; clang-tidy's counts of the warnings it left
  # out (those in system headers) are dropped from the error stream.
  printf '%s\0' "${files[@]}" | xargs -0 -P "$(nproc)" -n 4 clang-tidy-14 -p "$build_dir" --quiet "$@" \
    2> >(grep -v ' warnings\{0,1\} generated\.$' >&2)
}

# clang-tidy's arguments for the mingw-w64 cross build: the target, and the
# cross compiler's C++ library headers, which clang finds none of its own for.
mingw_clang_tidy_args() {
  local dir
  echo "--extra-arg=--target=x86_64-w64-mingw32 --extra-arg=-nostdinc++"
  x86_64-w64-mingw32-g++-posix -E -x c++ -v - </dev/null 2>&1 |
    sed -n '/^#include <\.\.\.>/,/^End of search/p' | grep '/include/c++' | while read -r dir; do
      echo "--extra-arg=-isystem$dir"
    done
}
