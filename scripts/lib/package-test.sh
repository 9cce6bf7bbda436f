# Sourceable bash helpers: the package test of scripts/test --package.
# shellcheck shell=bash
# It installs dist/pomu_<version>_amd64.deb with apt-get, drives the installed /usr/bin/pomu with
# the whole-program tests, removes the package and checks that nothing of it is left. Results go
# to build/package/test-results/.
#   pomu_package_test <root>      prints what it does; returns the number of steps that broke
#   pomu_package_cleanup          removes the package if this test installed it (for a trap)

pomu_package_installed=0

pomu_package_sudo() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

pomu_package_cleanup() {
  [ "$pomu_package_installed" = 1 ] || return 0
  pomu_package_sudo dpkg -r pomu >/dev/null 2>&1 || true
  pomu_package_installed=0
}

# <file> <suite> <case> <failure text or empty>: one result as GoogleTest XML writes it.
pomu_package_result() {
  local message=${4//[<>&\"]/?}
  {
    echo '<?xml version="1.0" encoding="UTF-8"?>'
    echo "<testsuites><testsuite name=\"$2\">"
    if [ -n "$message" ]; then
      echo "<testcase classname=\"$2\" name=\"$3\"><failure message=\"$message\"/></testcase>"
    else
      echo "<testcase classname=\"$2\" name=\"$3\"/>"
    fi
    echo "</testsuite></testsuites>"
  } >"$1"
}

pomu_package_test() {
  local root=$1 out="$1/build/package" results="$1/build/package/test-results"
  rm -rf "$out"
  mkdir -p "$results"
  echo "== package: build, install, drive the installed pomu, remove"
  # A pomu the machine already has is the user's; this test neither replaces nor removes it.
  if dpkg-query -W -f='${Status}' pomu 2>/dev/null | grep -q "install ok installed"; then
    echo "test: pomu is installed on this machine; the package test does not run"
    return 1
  fi
  if ! "$root/scripts/package" --deb >"$out/package.log" 2>&1; then
    tail -n 40 "$out/package.log"
    echo "test: scripts/package failed"
    return 1
  fi
  local version deb
  version=$(sed -n 's/^version=//p' "$root/build/package-linux/package-info")
  deb="$root/dist/pomu_${version}_amd64.deb"
  pomu_package_installed=1
  if ! pomu_package_sudo env DEBIAN_FRONTEND=noninteractive \
       apt-get install -y -q "$deb" >"$out/install.log" 2>&1; then
    tail -n 20 "$out/install.log"
    pomu_package_result "$results/package_install.xml" PackageTest InstallsWithApt \
      "apt-get install failed"
    pomu_package_cleanup
    return 0
  fi
  pomu_package_result "$results/package_install.xml" PackageTest InstallsWithApt ""
  local listed="$out/installed-files"
  dpkg-query -L pomu >"$listed"

  # The whole-program tests, run against the installed program with a fresh home.
  local sandbox="$out/sandbox" folder=""
  mkdir -p "$sandbox/tmp" "$sandbox/home"
  for candidate in /usr/lib/7zip /usr/lib/p7zip /usr/libexec/p7zip; do
    if [ -x "$candidate/7z" ] && [ -f "$candidate/7z.so" ]; then folder=$candidate; break; fi
  done
  (
    cd "$root/build/linux" &&
    env HOME="$sandbox/home" TMPDIR="$sandbox/tmp" XDG_DATA_HOME="$sandbox/home/.local/share" \
      XDG_CONFIG_HOME="$sandbox/home/.config" XDG_STATE_HOME="$sandbox/home/.local/state" \
      POMU_PROGRAM_UNDER_TEST=/usr/bin/pomu POMU_ARCHIVER_DIR="$folder" POMU_SOURCE_DIR="$root" \
      tests/ui/qt/pomu_qt_process_tests --gtest_filter='Pomu*' \
      --gtest_output="xml:$results/installed_program_tests.xml"
  ) >"$out/installed-program.log" 2>&1
  grep -E "^\[ *(OK|FAILED|SKIPPED) *\]" "$out/installed-program.log" | tail -n 20
  local broken=0
  if [ ! -s "$results/installed_program_tests.xml" ]; then
    echo "test: the installed-program tests wrote no results"
    broken=1
  fi

  # Removal: the package is gone and so is every file it brought; the user's own files stay.
  local problem=""
  pomu_package_sudo dpkg -r pomu >"$out/remove.log" 2>&1 || problem="dpkg -r failed"
  pomu_package_installed=0
  if dpkg-query -W -f='${Status}' pomu 2>/dev/null | grep -q "installed"; then
    problem="${problem:+$problem; }dpkg still lists pomu: $(dpkg-query -W -f='${Status}' pomu)"
  fi
  local left=()
  while IFS= read -r path; do
    [ -d "$path" ] && continue  # folders such as /usr/share/icons/hicolor are shared
    [ -e "$path" ] || [ -L "$path" ] && left+=("$path")
  done <"$listed"
  [ ${#left[@]} -eq 0 ] || problem="${problem:+$problem; }left behind: ${left[*]}"
  pomu_package_result "$results/package_remove.xml" PackageTest RemovesCleanly "$problem"
  [ -z "$problem" ] || echo "test: $problem"
  return $broken
}
