#!/usr/bin/env bash
# Builds the Debian package tapster_VERSION_amd64.deb from a build directory (default build/, or
# $BUILD_DIR; configured first when needed, then what the package holds is built) into
# $BUILD_DIR/packages/, then checks it
# the way a user meets it: unpacked into a scratch root with dpkg -x, every program answers
# --version, tapcheck-cli runs the hardware check on the simulated board in an empty directory
# and a flash job with the packaged agent image, the menu entries are valid and start a program
# the package holds, the simulated board's entry starts the window offscreen with its own command
# line (first start makes the per-user directory and copies the image; a second start leaves the
# user's own image alone), every program has its manual page, and lintian finds no error.
# Installs lintian and desktop-file-validate when they are missing.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build_dir="${BUILD_DIR:-$here/build}"
say() { echo "package: $*"; }
fail() {
  echo "package: FAILED: $*" >&2
  exit 1
}

packages=(dpkg-dev lintian desktop-file-utils)
"$here/scripts/install-packages.sh" package "${packages[@]}"

if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  BUILD_DIR="$build_dir" "$here/scripts/bootstrap.sh"
else
  cmake --build "$build_dir" -j "${JOBS:-$(nproc)}" --target tapster_installables
fi

out="$build_dir/packages"
rm -rf "$out"
(cd "$build_dir" && cpack -G DEB -B "$out" >/dev/null)
shopt -s nullglob
debs=("$out"/tapster_*_amd64.deb)
((${#debs[@]} == 1)) || fail "expected one tapster_*_amd64.deb in $out, found ${#debs[@]}"
deb="${debs[0]}"
say "built $deb ($(stat -c %s "$deb") bytes)"
dpkg-deb --field "$deb" Package Version Depends Installed-Size

scratch="$(mktemp -d)"
gui_pid=""
cleanup() {
  if [ -n "$gui_pid" ]; then kill "$gui_pid" 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT
root="$scratch/root"
dpkg -x "$deb" "$root"
bin="$root/usr/bin"
version="$(dpkg-deb --field "$deb" Version)"

say "--version of every program"
for program in "$bin"/*; do
  name="${program##*/}"
  line="$("$program" --version)" || fail "$name --version failed"
  echo "  $line"
  [[ "$line" =~ ^$name\ $version( \(git [0-9a-f]+\))?$ ]] || fail "$name --version: '$line'"
  [ -f "$root/usr/share/man/man1/$name.1.gz" ] || fail "no manual page for $name"
done

say "tapcheck-cli --simulate cmdDelay in an empty directory"
mkdir "$scratch/empty"
(cd "$scratch/empty" && "$bin/tapcheck-cli" --simulate cmdDelay) >"$scratch/check.log" 2>&1 ||
  { cat "$scratch/check.log"; fail "the hardware check on the simulated board"; }
grep -q "^Long test result - -1" "$scratch/check.log" || fail "the check's long test did not pass"
grep -q "^CPU type: " "$scratch/check.log" || fail "the check named no CPU"

images=("$root"/usr/share/tapster/fl4_trap*.bin)
((${#images[@]})) || fail "no agent image in /usr/share/tapster"
say "flash-id with the packaged agent image"
mkdir "$scratch/job"
cp "$root/usr/share/tapster/fl4_trap.bin" "$scratch/job/"
(cd "$scratch/job" && "$bin/tapcheck-cli" --simulate flash-id) >"$scratch/job.log" 2>&1 ||
  { cat "$scratch/job.log"; fail "flash-id with the packaged agent"; }
grep -q "^Flash DEVICE CODE " "$scratch/job.log" || fail "flash-id read no device code"

say "the FTDI cable's udev rule"
rules="$root/usr/lib/udev/rules.d/60-tapster-ftdi.rules"
[ -f "$rules" ] || fail "no udev rule for the FTDI cables"
grep -q 'ATTR{idProduct}=="6010".*TAG+="uaccess"' "$rules" || fail "the udev rule gives no uaccess"

say "menu entries"
apps="$root/usr/share/applications"
for entry in "$apps"/tapster.desktop "$apps"/tapster-simulated.desktop; do
  desktop-file-validate "$entry" || fail "${entry##*/} is not a valid desktop entry"
  command="$(sed -n 's/^Exec=//p' "$entry")"
  echo "  ${entry##*/}: Exec=$command"
  [ -x "$bin/${command%% *}" ] || fail "${entry##*/} starts ${command%% *}, not in the package"
done
# What the simulated board's entry runs, with the program taken from the unpacked tree.
read -ra menu_command <<<"$(sed -n 's/^Exec=//p' "$apps/tapster-simulated.desktop")"

# The window keeps running: it must still be alive after two seconds, then it is stopped.
start_window() {
  XDG_DATA_HOME="$scratch/data" QT_QPA_PLATFORM=offscreen "$bin/${menu_command[0]}" \
    "${menu_command[@]:1}" >"$scratch/window.log" 2>&1 &
  gui_pid=$!
  sleep 2
  kill -0 "$gui_pid" 2>/dev/null || { cat "$scratch/window.log"; fail "tapcheck --simulate ended"; }
  kill "$gui_pid"
  wait "$gui_pid" 2>/dev/null || true
  gui_pid=""
}
workdir="$scratch/data/tapster"
say "the menu start, first time: ${menu_command[*]} offscreen"
start_window
for image in "${images[@]}"; do
  cmp -s "$image" "$workdir/${image##*/}" || fail "${image##*/} was not copied into $workdir"
done
say "the menu start again, with the user's own agent image in place"
printf 'the user own agent image\n' >"$workdir/fl4_trap.bin"
start_window
[ "$(cat "$workdir/fl4_trap.bin")" = "the user own agent image" ] ||
  fail "tapster-launch replaced the user's fl4_trap.bin"

say "lintian"
lintian_ok=1
lintian --fail-on error "$deb" >"$scratch/lintian.log" 2>&1 || lintian_ok=0
grep -v "running with root privileges" "$scratch/lintian.log" || true
((lintian_ok)) || fail "lintian found errors"

say "contents of ${deb##*/}"
dpkg-deb --contents "$deb" | awk '{print $1, $3, $6}'
say "ok: ${deb##*/}, $(stat -c %s "$deb") bytes, installed size $(dpkg-deb --field "$deb" Installed-Size) KiB"
