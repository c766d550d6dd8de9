# Shared by the scripts: packages, builds, their caches. Source it from the root.
source scripts/lib/harness.sh

# Debian packages, one line per purpose. The program without its window:
TAVORIN_BUILD_PACKAGES=(cmake ninja-build g++ pkg-config libcurl4-openssl-dev)
# For scripts/demo: that, the simulated cloud, and GoogleTest, which a build
# with the simulated cloud (BUILD_TESTING) finds at configure time.
TAVORIN_DEMO_PACKAGES=("${TAVORIN_BUILD_PACKAGES[@]}" libcpp-httplib-dev libssl-dev libgtest-dev libgmock-dev)
# For scripts/package: the Release builds (Linux, Windows, arm64) and the Debian tools.
TAVORIN_PACKAGING_PACKAGES=("${TAVORIN_BUILD_PACKAGES[@]}" qt6-base-dev g++-mingw-w64-x86-64-posix dpkg-dev file
                            lintian man-db zip crossbuild-essential-arm64 libcurl4-openssl-dev:arm64 qt6-base-dev:arm64)
TAVORIN_PACKAGES=("${TAVORIN_PACKAGING_PACKAGES[@]}" ca-certificates openssl                   # and for the tests:
  libcpp-httplib-dev libssl-dev libgtest-dev libgmock-dev libbenchmark-dev # simulated cloud, tests, benchmarks
  qt6-qpa-plugins fonts-dejavu-core xvfb xauth xdotool                     # window tests and screenshot
  clang-14 libclang-rt-14-dev llvm-14 clang-tidy-14 clang-format-14        # sanitizers, libFuzzer, lint, layout
  googletest wine64 qt6-qpa-plugins:arm64 qemu-user-static)                # Windows tests under Wine, arm64 under qemu
TAVORIN_BENCH_PACKAGES=(hyperfine curl time jq) # and for scripts/bench

# Installs the packages that are missing, through sudo unless run as root.
ensure_packages() {
  local missing=() package sudo=()
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "Installing: ${missing[*]}"
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  # Packages of another architecture, such as arm64 libraries, come through multiarch.
  [[ ${missing[*]} != *:arm64* ]] || dpkg --print-foreign-architectures | grep -qx arm64 ||
    "${sudo[@]}" dpkg --add-architecture arm64
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Runs a command with its output kept aside, shown only when it fails.
quietly() { local output; output=$("$@" 2>&1) || { printf '%s\n' "$output" >&2; return 1; }; }

# build_configuration PRESET [OPTION...]: configures and builds; loopback builds
# (whose preset points the program at 127.0.0.1) take TAVORIN_TEST_PORT, when
# set, so that two checkouts can test at once.
build_configuration() {
  local root=()
  [[ -z ${TAVORIN_TEST_PORT:-} || $(cmake --preset "$1" -N) != *'TAVORIN_API_ROOT="http://127.0.0.1:'* ]] ||
    root=(-DTAVORIN_API_ROOT="http://127.0.0.1:$TAVORIN_TEST_PORT")
  cmake --preset "$@" "${root[@]}"
  cmake --build --preset "$1"
}

# cache_value BUILD_DIR NAME: a variable of a build's CMake cache.
cache_value() { sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt"; }
# test_port BUILD_DIR: the loopback port of a build pointed at the simulated cloud.
test_port() { cache_value "$1" TAVORIN_API_ROOT | sed 's/.*://'; }
# compiled_api_root BUILD_DIR: the API root compiled into the build's program.
compiled_api_root() { sed -n 's/.*kApiRoot = "\(.*\)";/\1/p' "$(find "$1" -path '*/tavorin-config/build_config.h')"; }
