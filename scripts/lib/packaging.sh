# Making and checking the packages: the Debian packages of a Release build and
# the Windows zip. Source it after common.sh, from the repository root.

# Runs CPack in a configured and built directory; the packages land in its
# packages/ folder, which is emptied first. So that a commit gives the same
# bytes on any machine, every time in them is the last commit's, and each
# package is packed once more: the zip with its entries in name order (CPack
# takes the folder's order), each .deb by dpkg-deb with its Installed-Size
# counted as dpkg does, each file in whole KiB and a folder as one (CPack adds
# up the sizes folders take on the disk it ran on).
make_packages() {
  local output package dir
  local -x SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
  rm -rf "$1/packages"
  output=$(cd "$1" && cpack 2>&1) || { echo "$output" >&2; return 1; }
  for package in "$1"/packages/*.{deb,zip}; do
    [ -e "$package" ] || continue
    package=$(realpath "$package")
    dir=$(mktemp -d)
    if [[ $package == *.zip ]]; then
      (umask 022 && cd "$dir" && cmake -E tar xf "$package" && touch -d "@$SOURCE_DATE_EPOCH" ./* && rm "$package" &&
        find . -type f -printf '%P\n' | LC_ALL=C sort | TZ=UTC zip -X -D -q -@ "$package")
    else
      dpkg-deb -R "$package" "$dir/root"
      sed -i "s/^Installed-Size: .*/Installed-Size: $(find "$dir/root" -mindepth 1 -path "$dir/root/DEBIAN" -prune -o \
        -printf '%y %s\n' | awk '{ kib += $1 == "f" ? int(($2 + 1023) / 1024) : 1 } END { print kib }')/" \
        "$dir/root/DEBIAN/control"
      dpkg-deb --root-owner-group --build "$dir/root" "$package" >/dev/null
    fi
    rm -rf "$dir"
  done
}

# Builds what the packages of the given presets' build directories hold once
# more, from a copy of the working tree in another folder, packs it and fails
# unless every package comes out byte for byte as the first build's (which
# make_packages must have packed).
check_reproducible() {
  local copy preset root package targets failed=0
  local -x SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
  copy=$(mktemp -d)/second-build
  mkdir "$copy"
  git ls-files -z -co --exclude-standard | tar -c --null --ignore-failed-read -T - 2>/dev/null | tar -x -C "$copy"
  for preset in "$@"; do
    root=$(sed -n 's/^TAVORIN_API_ROOT:STRING=//p' "build/$preset/CMakeCache.txt")
    # The program with its window module, and the Debian packages' documents.
    targets=(tavorin)
    if ninja -C "build/$preset" -t query tavorin_documents >/dev/null 2>&1; then
      targets+=(tavorin_documents)
    fi
    (cd "$copy" && cmake --preset "$preset" -DTAVORIN_API_ROOT="$root" -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null &&
      cmake --build "build/$preset" --target "${targets[@]}" >/dev/null && make_packages "build/$preset")
    for package in "build/$preset/packages/"*; do
      if ! cmp -s "$package" "$copy/$package"; then
        echo "$package differs from the one built from the same sources in another folder" >&2
        failed=1
      fi
    done
  done
  rm -rf "${copy%/*}"
  return "$failed"
}

# lintian on the given .deb files: no error and no warning that the packages'
# overrides do not cover.
run_lintian() {
  local output status=0
  output=$(lintian --fail-on error,warning "$@" 2>&1) || status=$?
  grep -v 'running with root privileges' <<<"$output" || true
  return "$status"
}

# The manual page renders without a warning from man or groff.
check_manual_page() {
  local warnings
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$1" 2>&1 >/dev/null)
  [ -z "$warnings" ] || { echo "$1: $warnings" >&2; return 1; }
}

# The root compiled into the program of a configured build directory.
compiled_api_root() {
  sed -n 's/.*kApiRoot = "\(.*\)";/\1/p' "$(find "$1" -path '*/tavorin-config/build_config.h')"
}

# Configures the project in a scratch directory again and again: the API root
# follows region and suffix at every configure until it is set explicitly, the
# explicit one wins, and unsetting it hands the root back to them. Each step
# checks the root the configure step prints and the one compiled in.
check_api_root_reconfigure() {
  local dir
  dir=$(mktemp -d)
  local step=0
  expect_root() {
    local expected=$1 output
    shift
    step=$((step + 1))
    output=$(cmake -S . -B "$dir" -G Ninja -DBUILD_TESTING=OFF -DTAVORIN_WITH_WINDOW=OFF "$@" 2>&1) ||
      { echo "$output" >&2; return 1; }
    if ! grep -qxF -- "-- Tavorin API root: $expected" <<<"$output" || [ "$(compiled_api_root "$dir")" != "$expected" ]; then
      echo "API root, step $step ($*): expected $expected, configure said:" >&2
      grep 'API root' <<<"$output" >&2
      echo "compiled in: $(compiled_api_root "$dir")" >&2
      return 1
    fi
  }
  local failed=0
  expect_root https://xx-api.switchcloud.example -DTAVORIN_REGION=xx &&
    expect_root https://xx.cloud.test -DTAVORIN_API_HOST_SUFFIX=.cloud.test &&
    expect_root http://127.0.0.1:9 -DTAVORIN_API_ROOT=http://127.0.0.1:9 &&
    expect_root http://127.0.0.1:9 -DTAVORIN_REGION=yy &&
    expect_root https://yy.cloud.test -UTAVORIN_API_ROOT || failed=1
  rm -rf "$dir"
  return "$failed"
}

# What a package holds, one path a line, without the leading "." and the
# directories.
package_files() {
  dpkg-deb -c "$1" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }' | sort
}

# Compares a list of paths on stdin with the expected ones.
expect_files() {
  local what=$1 actual
  shift
  actual=$(cat)
  if [ "$actual" != "$(printf '%s\n' "$@" | sort)" ]; then
    echo "$what holds:" >&2
    echo "$actual" >&2
    echo "expected:" >&2
    printf '  %s\n' "$@" >&2
    return 1
  fi
}

# Checks that a Windows program runs on a bare Windows: a windowed (GUI
# subsystem) program, so that no console window flashes up, that imports only
# DLLs that come with Windows, nothing of the compiler's runtime.
check_windows_imports() {
  local program=$1 headers dll foreign=()
  headers=$(x86_64-w64-mingw32-objdump -p "$program") || return 1
  if ! grep -Eq 'Subsystem[[:space:]]+00000002' <<<"$headers"; then
    echo "$program is not a windowed (GUI subsystem) program" >&2
    return 1
  fi
  while read -r dll; do
    case ${dll,,} in
      advapi32.dll | gdi32.dll | kernel32.dll | msvcrt.dll | user32.dll | winhttp.dll) ;;
      *) foreign+=("$dll") ;;
    esac
  done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
  if [ ${#foreign[@]} -gt 0 ]; then
    echo "$program needs DLLs that do not come with Windows: ${foreign[*]}" >&2
    return 1
  fi
}

# Checks the Debian packages of a Release build pointed at loopback (the
# package-check or arm64-check preset) and the zip of a Windows build, unless
# that is "": their file lists and dependencies, lintian, the manual page, and
# the unpacked program, which shows its version, finds its window module and
# refreshes, sets and confirms against the simulated cloud (the given sim-cloud
# program). A further argument is the command that runs a program of another
# processor.
check_packages() {
  local build=$1 windows_build=$2 cloud=$3 emulator=("${@:4}")
  local version multiarch root port scratch failed=0
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
  root=$(sed -n 's/^TAVORIN_API_ROOT:STRING=//p' "$build/CMakeCache.txt")
  port=${root##*:}
  make_packages "$build"
  local program_deb window_deb
  program_deb=$(echo "$build/packages/tavorin_${version}_"*.deb)
  window_deb=$(echo "$build/packages/tavorin-window_${version}_"*.deb)
  multiarch=$(dpkg-architecture -a"$(dpkg-deb -f "$program_deb" Architecture)" -qDEB_HOST_MULTIARCH 2>/dev/null)

  package_files "$program_deb" | expect_files tavorin /usr/bin/tavorin /usr/share/man/man1/tavorin.1.gz \
    /usr/share/doc/tavorin/{README.md,copyright,changelog.gz} /usr/share/lintian/overrides/tavorin
  package_files "$window_deb" | expect_files tavorin-window "/usr/lib/$multiarch/tavorin/tavorin-window.so" \
    /usr/share/doc/tavorin-window/{copyright,changelog.gz} /usr/share/lintian/overrides/tavorin-window
  local depends
  depends=$(dpkg-deb -f "$program_deb" Depends)
  if [[ $depends != *libcurl4* || $depends != *libstdc++6* || $depends == *qt* ]]; then
    echo "tavorin depends on: $depends (libcurl and the C++ runtime expected, no Qt)" >&2
    return 1
  fi
  depends=$(dpkg-deb -f "$window_deb" Depends)
  if [[ $depends != *"tavorin (= $version)"* || $depends != *qt6-qpa-plugins* || $depends != *libqt6widgets6* ]]; then
    echo "tavorin-window depends on: $depends (tavorin of its version, Qt Widgets and its platform plugins expected)" >&2
    return 1
  fi
  run_lintian "$program_deb" "$window_deb"

  scratch=$(mktemp -d)
  if [ -n "$windows_build" ]; then
    local zip="$PWD/$windows_build/packages/tavorin-$version-win64.zip"
    make_packages "$windows_build"
    cmake -E tar tf "$zip" | sort | expect_files "the zip" LICENSE.txt README-Windows.txt tavorin.exe
    cmake -E chdir "$scratch" cmake -E tar xf "$zip" README-Windows.txt tavorin.exe
    check_windows_imports "$scratch/tavorin.exe" || failed=1
    local readme="$scratch/README-Windows.txt"
    if [ "$(grep -c $'\r$' "$readme")" != "$(wc -l <"$readme")" ] || ! grep -q 'Task Scheduler' "$readme"; then
      echo "README-Windows.txt is not the README's Windows section with CR LF line ends" >&2
      failed=1
    fi
  fi
  dpkg-deb -x "$program_deb" "$scratch/root"
  dpkg-deb -x "$window_deb" "$scratch/root"
  check_manual_page "$scratch/root/usr/share/man/man1/tavorin.1.gz" || failed=1
  local tavorin=("${emulator[@]}" "$scratch/root/usr/bin/tavorin") output status
  output=$("${tavorin[@]}" --version)
  [ "$output" = "tavorin $version" ] || { echo "--version said: $output" >&2; failed=1; }
  # Without a display the module must be found, then fail on the display.
  status=0
  output=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "${tavorin[@]}" 2>&1) || status=$?
  if [ "$status" != 2 ] || [[ $output != *"no display available"* ]]; then
    echo "the unpacked program without arguments (status $status) said: $output" >&2
    failed=1
  fi
  # One set with an expired access token: status, refresh, set and read-back.
  mkdir "$scratch/work"
  printf 'at=at-1\r\nrt=rt-1\r\n' >"$scratch/work/tokens.txt"
  "$cloud" --port "$port" --expired >"$scratch/cloud.out" 2>/dev/null &
  local cloud_pid=$!
  for _ in $(seq 100); do
    grep -q listening "$scratch/cloud.out" && break
    sleep 0.05
  done
  status=0
  (cd "$scratch/work" && no_proxy=127.0.0.1 "${tavorin[@]}" 1000c8441f on) || status=$?
  kill "$cloud_pid"
  wait "$cloud_pid" || true
  if [ "$status" != 1 ] || ! grep -q $'^at=at-2\r$' "$scratch/work/tokens.txt" ||
    ! grep -q 'DeviceId=1000c8441f Request=on Result=1' "$scratch/work/Tavorin.log"; then
    echo "the unpacked program's set against the simulated cloud ended with status $status" >&2
    failed=1
  fi
  rm -rf "$scratch"
  return "$failed"
}
