# Making and checking the packages. Source it after common.sh.

# Every packed file's time stamp: the last commit's time, unless set.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}

# Runs CPack in a built directory (into packages/) and packs each package again
# so that a commit gives the same bytes anywhere: the zip in name order, each
# .deb with the Installed-Size dpkg counts, not CPack's size on disk.
make_packages() {
  local package dir
  rm -rf "$1/packages"
  (cd "$1" && quietly cpack)
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

# Builds and packs the given presets' packages again in a copy of the tree in
# another folder; each must be byte for byte the one in build/.
check_reproducible() {
  local copy preset package targets root failed=0
  copy=$(mktemp -d)
  git ls-files -z -co --exclude-standard | tar -c --null --ignore-failed-read -T - 2>/dev/null | tar -x -C "$copy"
  for preset in "$@"; do
    targets=(tavorin) # and its window module; the .debs' documents too:
    ninja -C "build/$preset" -t query tavorin_documents >/dev/null 2>&1 && targets+=(tavorin_documents)
    root=$(cache_value "build/$preset" TAVORIN_API_ROOT)
    (cd "$copy" && quietly cmake --preset "$preset" -DTAVORIN_API_ROOT="$root" -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON &&
      quietly cmake --build "build/$preset" --target "${targets[@]}" && make_packages "build/$preset")
    for package in "build/$preset/packages/"*; do
      cmp -s "$package" "$copy/$package" ||
        { echo "$package differs from the one built from the same sources in another folder" >&2; failed=1; }
    done
  done
  rm -rf "$copy"
  return "$failed"
}

# lintian on the .deb files: no error and no warning their overrides leave
# (pipefail, which the scripts set, passes on lintian's status).
run_lintian() {
  lintian --fail-on error,warning "$@" 2>&1 | { grep -v 'running with root privileges' || true; }
}

# The manual page renders without a warning from man or groff.
check_manual_page() {
  local warnings
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$1" 2>&1 >/dev/null)
  [ -z "$warnings" ] || { echo "$1: $warnings" >&2; return 1; }
}

# expect_files WHAT PATH...: the paths on stdin, in any order, are these.
expect_files() {
  diff <(printf '%s\n' "${@:2}" | sort) <(sort) >&2 || { echo "$1 holds (>) or lacks (<) the files above" >&2; return 1; }
}

# check_zip BUILD: the Windows zip's files; its windowed program, importing
# only DLLs that come with Windows; its README-Windows.txt, with CR LF ends.
check_zip() {
  local zip scratch headers foreign failed=0
  make_packages "$1"
  zip="$PWD/$1/packages/tavorin-$(cache_value "$1" CMAKE_PROJECT_VERSION)-win64.zip"
  cmake -E tar tf "$zip" | expect_files "the zip" LICENSE.txt README-Windows.txt tavorin.exe
  scratch=$(mktemp -d)
  cmake -E chdir "$scratch" cmake -E tar xf "$zip" README-Windows.txt tavorin.exe
  headers=$(x86_64-w64-mingw32-objdump -p "$scratch/tavorin.exe")
  grep -Eq 'Subsystem[[:space:]]+00000002' <<<"$headers" || { echo "tavorin.exe is not a windowed program" >&2; failed=1; }
  foreign=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" |
    grep -viE '^(advapi32|gdi32|kernel32|msvcrt|user32|winhttp)\.dll$' | tr '\n' ' ') || true
  [ -z "$foreign" ] || { echo "tavorin.exe needs DLLs that do not come with Windows: $foreign" >&2; failed=1; }
  if [ ! -s "$scratch/README-Windows.txt" ] || grep -qv $'\r$' "$scratch/README-Windows.txt"; then
    echo "README-Windows.txt is empty or has a line that does not end in CR LF" >&2
    failed=1
  fi
  rm -rf "$scratch"
  return "$failed"
}

# check_debs BUILD SIM_CLOUD [EMULATOR...]: the .debs of a Release build pointed
# at loopback, and their unpacked program, run by EMULATOR if given.
check_debs() {
  local build=$1 cloud=$2 version program window multiarch depends scratch output root status failed=0
  version=$(cache_value "$build" CMAKE_PROJECT_VERSION)
  make_packages "$build"
  program=$(echo "$build/packages/tavorin_${version}_"*.deb)
  window=$(echo "$build/packages/tavorin-window_${version}_"*.deb)
  multiarch=$(dpkg-architecture -a"$(dpkg-deb -f "$program" Architecture)" -qDEB_HOST_MULTIARCH 2>/dev/null)
  deb_files() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }'; }
  deb_files "$program" | expect_files tavorin /usr/bin/tavorin /usr/share/man/man1/tavorin.1.gz \
    /usr/share/doc/tavorin/{README.md,copyright,changelog.gz} /usr/share/lintian/overrides/tavorin
  deb_files "$window" | expect_files tavorin-window "/usr/lib/$multiarch/tavorin/tavorin-window.so" \
    /usr/share/doc/tavorin-window/{copyright,changelog.gz} /usr/share/lintian/overrides/tavorin-window
  depends=$(dpkg-deb -f "$program" Depends)
  [[ $depends == *libcurl4* && $depends == *libstdc++6* && $depends != *qt* ]] ||
    { echo "tavorin depends on: $depends (libcurl and the C++ runtime expected, no Qt)" >&2; failed=1; }
  depends=$(dpkg-deb -f "$window" Depends)
  [[ $depends == *"tavorin (= $version)"* && $depends == *qt6-qpa-plugins* && $depends == *libqt6widgets6* ]] ||
    { echo "tavorin-window depends on: $depends (tavorin $version, Qt Widgets, Qt's platform plugins expected)" >&2; failed=1; }
  run_lintian "$program" "$window" || failed=1

  scratch=$(mktemp -d)
  dpkg-deb -x "$program" "$scratch/root"
  dpkg-deb -x "$window" "$scratch/root"
  check_manual_page "$scratch/root/usr/share/man/man1/tavorin.1.gz" || failed=1
  local tavorin=("${@:3}" "$scratch/root/usr/bin/tavorin")
  output=$("${tavorin[@]}" --version)
  root=$(compiled_api_root "$build")
  [ "$(head -n 1 <<<"$output")" = "tavorin $version" ] && grep -qxF "API root: $root" <<<"$output" ||
    { echo "--version said: $output (expected the lines tavorin $version and API root: $root)" >&2; failed=1; }
  # Without a display the module must be found, then fail on the display.
  status=0
  output=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "${tavorin[@]}" 2>&1) || status=$?
  # Only the program's own words, not the toolkit's.
  [ "$status" = 2 ] && [[ $output == "Tavorin: cannot open the window: no display available"* ]] &&
    [[ $output != *qt* ]] ||
    { echo "the unpacked program without arguments (status $status) said: $output" >&2; failed=1; }
  mkdir "$scratch/work"
  write_tokens "$scratch/work/tokens.txt"
  start_cloud "$cloud" "$(test_port "$build")" "$scratch/cloud.log" --expired
  status=0
  (cd "$scratch/work" && no_proxy=127.0.0.1 "${tavorin[@]}" 1000c8441f on) || status=$?
  stop_cloud
  [ "$status" = 1 ] && grep -q $'^at=at-2\r$' "$scratch/work/tokens.txt" &&
    grep -q 'DeviceId=1000c8441f Request=on Result=1' "$scratch/work/Tavorin.log" ||
    { echo "the unpacked program's set against the simulated cloud ended with status $status" >&2; failed=1; }
  rm -rf "$scratch"
  return "$failed"
}
