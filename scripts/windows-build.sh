#!/usr/bin/env bash
# The Windows build: cross-compiles everything outside src/ui/ (the Win32 window src/win/ included)
# with Debian's mingw-w64 (the -posix compilers, static linking) into build-win/ (or $BUILD_DIR)
# and runs the tests under wine, the window's with wine's null graphics driver (no X server).
# Installs the cross compilers and wine when they are missing. GoogleTest is built from Debian's
# own source package (/usr/src/googletest) by the same toolchain; nothing is downloaded. Extra
# arguments go to ctest (for example -R port_tests); TARGETS="a b" builds only those targets.
# Then it makes build-win/packages/tapster-VERSION-win64.zip (the programs, the agent images,
# README and docs in one folder; the programs stripped, as in the Debian package), runs the
# hardware check and the window's working order from a fresh unpacked copy of it under wine, and
# checks every program's imports against Windows XP. Last the 32-bit build (programs only, in
# build-win/win32; WIN32=0 skips it) makes tapster-VERSION-win32.zip beside it, import-checked:
# 32-bit programs cannot run on a kernel without 32-bit execution.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build_dir="${BUILD_DIR:-$here/build-win}"
jobs="${JOBS:-$(nproc)}"
start=$(date +%s)
say() { echo "windows-build: $* ($(( $(date +%s) - start )) s)"; }

packages=(
  cmake ninja-build
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
  wine wine64
  googletest nlohmann-json3-dev libcli11-dev
)
"$here/scripts/install-packages.sh" windows-build "${packages[@]}"

toolchain="$here/cmake/mingw-w64.cmake"
deps="$build_dir/_deps"
prefix="$deps/prefix"
mkdir -p "$build_dir"

# The wine prefix the toolchain's emulator uses; made once, in the background while GoogleTest
# builds. A wineserver kept alive for the whole run spares every test process its start-up.
export WINEPREFIX="$build_dir/wineprefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  [ -z "${pid:-}" ] || board_server_stop || true
  timeout 30 wineserver -k >/dev/null 2>&1 || true
}
trap cleanup EXIT
wine_ready() { [ -f "$WINEPREFIX/system.reg" ]; }
boot_pid=""
if ! wine_ready; then
  say "creating the wine prefix"
  ( timeout 180 wineboot -i >/dev/null 2>&1 || true ) &
  boot_pid=$!
fi

# GoogleTest for mingw, installed into a prefix the toolchain searches.
if [ ! -f "$prefix/lib/cmake/GTest/GTestConfig.cmake" ]; then
  say "building GoogleTest"
  cmake -S /usr/src/googletest -B "$deps/googletest" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON >/dev/null
  cmake --build "$deps/googletest" -j "$jobs" >/dev/null
  cmake --install "$deps/googletest" >/dev/null
fi
# nlohmann-json is headers only: the host's headers and package files, seen from the prefix so
# that the host's /usr/include never joins the cross build's include path.
mkdir -p "$prefix/include" "$prefix/share/cmake/nlohmann_json"
ln -sfn /usr/include/nlohmann "$prefix/include/nlohmann"
cp -u /usr/share/cmake/nlohmann_json/*.cmake "$prefix/share/cmake/nlohmann_json/"
# CLI11 (the programs' option parser) is headers only as well, found the same way.
mkdir -p "$prefix/share/cmake/CLI11"
ln -sfn /usr/include/CLI "$prefix/include/CLI"
cp -u /usr/share/cmake/CLI11/*.cmake "$prefix/share/cmake/CLI11/"

if [ -n "$boot_pid" ]; then
  wait "$boot_pid"
  wine_ready || { echo "windows-build: the wine prefix could not be created" >&2; exit 1; }
fi
# The null graphics driver: windows are made and driven without any X server.
grep -q '"Graphics"="null"' "$WINEPREFIX/user.reg" 2>/dev/null ||
  timeout 60 wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
# A fresh server that stays up, with the prefix's own processes already started, so that no test
# pays for them or holds CTest's output pipe open.
timeout 30 wineserver -k >/dev/null 2>&1 || true
timeout 30 wineserver -w >/dev/null 2>&1 || true
wineserver -p >/dev/null 2>&1 || true
timeout 60 wine cmd /c exit >/dev/null 2>&1 || true

say "configuring"
# -O2 as the host build has it: GCC 12 sees string copies that overlap where none can at -O3.
cmake -S "$here" -B "$build_dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DTAPSTER_WIN_DEPS="$prefix" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DTAPSTER_WERROR=ON \
  -DTAPSTER_GUI=OFF -DTAPSTER_BENCH=OFF >/dev/null
# The Linux tapcheck-board, the server of the window's run over the remote cable below: a host
# build of that one program, made beside the cross build.
host="$build_dir/host"
host_board="$host/src/board/tapcheck-board"
(cmake -S "$here" -B "$host" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DTAPSTER_WERROR=ON \
  -DTAPSTER_GUI=OFF -DTAPSTER_TESTS=OFF -DTAPSTER_BENCH=OFF &&
  cmake --build "$host" -j "$jobs" --target tapcheck-board) >"$build_dir/host.log" 2>&1 &
host_pid=$!
say "building"
cmake --build "$build_dir" -j "$jobs" ${TARGETS:+--target $TARGETS}
say "testing under wine"
if ! ctest --test-dir "$build_dir" --output-on-failure -j "$jobs" -LE gui --timeout 120 "$@"; then
  # Now and then wine fails to start a test process under load: it ends at once with no output.
  # The failed tests get one more run each; a real failure fails again.
  say "running the failed tests once more"
  ctest --test-dir "$build_dir" --output-on-failure --rerun-failed --timeout 120
fi

# Makes $out/$name.zip from the install of build tree $1 (one folder, the start directory).
package() {
  local tree="$1" name="$2" out="$3"
  rm -rf "${out:?}/$name" "$out/$name.zip"
  mkdir -p "$out"
  cmake --build "$tree" -j "$jobs" --target tapster_installables >/dev/null
  cmake --install "$tree" --prefix "$out/$name" --strip >/dev/null
  bash "$here/scripts/check-xp-imports.sh" "$out/$name"/*.exe
  # The programs are linked statically; a DLL here is one that must not ship (the InpOut32
  # stand-in of the tests above all).
  if find "$out/$name" -iname '*.dll' | grep -q .; then
    find "$out/$name" -iname '*.dll' >&2
    echo "windows-build: a DLL in $name" >&2
    exit 1
  fi
  (cd "$out" && cmake -E tar cf "$name.zip" --format=zip "$name")
  rm -rf "${out:?}/$name"
}

say "packaging"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build_dir/CMakeCache.txt")"
name="tapster-$version-win64"
out="$build_dir/packages"
package "$build_dir" "$name" "$out"
# The zip as a user gets it: unpacked somewhere new, the check and the window's working order run
# from inside its folder (its agent image, its start directory).
check="$out/check"
rm -rf "$check"
mkdir -p "$check"
(cd "$check" && cmake -E tar xf "../$name.zip")
(cd "$check/$name" && timeout 120 wine tapcheck-cli.exe --simulate cmdDelay) >"$check/cmdDelay.log" 2>&1 ||
  { cat "$check/cmdDelay.log"; echo "windows-build: the zip's tapcheck-cli.exe failed" >&2; exit 1; }
grep -q "^Long test result - -1" "$check/cmdDelay.log" ||
  { cat "$check/cmdDelay.log"; echo "windows-build: the check did not pass from the zip" >&2; exit 1; }
if [ -f "$build_dir/tests/win/win_window_tests.exe" ]; then
  say "the window's working order from the zip"
  (cd "$check/$name" && TAPSTER_TEST_START_DIR="$(winepath -w .)" timeout 600 \
    wine "$build_dir/tests/win/win_window_tests.exe") >"$check/window.log" 2>&1 ||
    { cat "$check/window.log"; echo "windows-build: the window failed from the zip" >&2; exit 1; }
fi
# --port=inpout from the zip: without InpOut32's DLL the claim fails and says what to install and
# where; with the test tree's stand-in (the simulated board behind Inp32/Out32) beside the
# program, the hardware check and the flash ID pass. The stand-in joins the folder after the zip
# is made and leaves it before the listing below.
standin="$build_dir/tests/win/inpout-standin/inpoutx64.dll"
if [ -f "$standin" ]; then
  say "--port=inpout from the zip"
  inpout_fail() {
    cat "$check/inpout.log"
    echo "windows-build: --port=inpout from the zip: $*" >&2
    exit 1
  }
  rc=0
  (cd "$check/$name" && timeout 120 wine tapcheck-cli.exe --port=inpout check) \
    >"$check/inpout.log" 2>&1 || rc=$?
  [ "$rc" = 1 ] || inpout_fail "exit $rc without the DLL, not 1"
  grep -q "^error: The parallel port could not be opened" "$check/inpout.log" ||
    inpout_fail "no error box without the DLL"
  grep -q "^tapcheck-cli: inpoutx64.dll was found neither beside the program nor on the system path: install InpOut32 .* next to tapcheck.exe" \
    "$check/inpout.log" || inpout_fail "no word of what to install without the DLL"
  cp "$standin" "$check/$name/"
  (cd "$check/$name" && timeout 300 wine tapcheck-cli.exe --port=inpout check flash-id) \
    >"$check/inpout.log" 2>&1 || inpout_fail "the check and the flash ID failed on the stand-in"
  for line in "Long test result - -1" "CPU type: STi5510" "Flash Manufacturer CODE 0001" \
    "Flash DEVICE CODE 2249"; do
    grep -q "^$line" "$check/inpout.log" || inpout_fail "no line '$line' on the stand-in"
  done
  rm "$check/$name/inpoutx64.dll"
fi
# The window's working order over the remote cable, the zip's folder its start directory and the
# Linux tapcheck-board the server. Every TDO answer is a round trip through wine's Winsock, so
# this run leaves out Find Free Mem (64 million clocks: 150 s over the cable even natively, some
# 25 minutes under wine) and writes and reads an 8 KiB image (kOverNetwork in
# tests/support/window_working_order.h, which derives the expected log).
if [ -f "$build_dir/tests/win/win_window_tests.exe" ]; then
  wait "$host_pid" || { cat "$build_dir/host.log"; echo "windows-build: no host tapcheck-board" >&2; exit 1; }
  say "the window's working order over the remote cable"
  fail() {
    cat "$check/remote.log" "$check/server.log" 2>/dev/null
    echo "windows-build: the window over the remote cable: $*" >&2
    exit 1
  }
  # shellcheck source=../tests/support/board_server.sh
  . "$here/tests/support/board_server.sh"
  board_server_start "$host_board" "$check"
  remote_start=$(date +%s)
  (cd "$check/$name" && TAPSTER_TEST_PORT="remote:127.0.0.1:$port" \
    TAPSTER_TEST_START_DIR="$(winepath -w .)" timeout 900 \
    wine "$build_dir/tests/win/win_window_tests.exe") >"$check/remote.log" 2>&1 || fail "failed"
  board_server_stop || true # the server ends by SIGTERM
  rm -f "$check/$name/image.bin" "$check/$name/back.bin"
  say "the window over the remote cable took $(($(date +%s) - remote_start)) s"
fi
wait "$host_pid" 2>/dev/null || true
(cd "$check" && find "$name" -type f | sort)
rm -rf "$check"
say "made $out/$name.zip ($(stat -c %s "$out/$name.zip") bytes)"

# The 32-bit programs for XP-era workbench PCs: built and import-checked only.
if [ "${WIN32:-1}" != 0 ]; then
  say "the 32-bit build"
  win32="$build_dir/win32"
  # The agent images are assembled by the 64-bit st20asm under wine.
  mkdir -p "$win32"
  cmake --build "$build_dir" --target st20asm >/dev/null
  printf '#!/bin/sh\nWINEPREFIX="%s" WINEDEBUG=-all exec wine "%s" "$@"\n' "$WINEPREFIX" \
    "$build_dir/src/st20/tools/st20asm.exe" >"$win32/st20asm-wine"
  chmod +x "$win32/st20asm-wine"
  cmake -S "$here" -B "$win32" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-i686.cmake" \
    -DTAPSTER_HOST_ST20ASM="$win32/st20asm-wine" -DTAPSTER_WIN_DEPS="$prefix" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DTAPSTER_WERROR=ON \
    -DTAPSTER_GUI=OFF -DTAPSTER_TESTS=OFF -DTAPSTER_BENCH=OFF >/dev/null
  name32="tapster-$version-win32"
  package "$win32" "$name32" "$out"
  say "made $out/$name32.zip ($(stat -c %s "$out/$name32.zip") bytes)"
fi
say "done"
