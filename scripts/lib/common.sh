# Shared by the scripts: install missing Debian packages and build the test
# configuration. Source it from the repository root.

# Packages the build, the tests and the demo need, one line per purpose.
TAVORIN_PACKAGES=(cmake ninja-build g++ pkg-config ca-certificates openssl)
TAVORIN_PACKAGES+=(libcurl4-openssl-dev)                                # HTTP client
TAVORIN_PACKAGES+=(libcpp-httplib-dev libssl-dev libgtest-dev libgmock-dev) # tests, simulated cloud
TAVORIN_PACKAGES+=(libbenchmark-dev)                                    # scanner benchmarks (built by the tests too)
TAVORIN_PACKAGES+=(qt6-base-dev qt6-qpa-plugins fonts-dejavu-core xvfb xauth xdotool) # window, its tests and screenshot
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
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Configures and builds the given preset.
build_configuration() {
  cmake --preset "$1"
  cmake --build --preset "$1"
}

# Configures, builds and runs the tests of the given preset.
test_configuration() {
  echo "== $1"
  build_configuration "$1"
  ctest --preset "$1"
}
