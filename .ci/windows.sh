#!/usr/bin/env bash
# The Windows leg: cross-builds the .exe with MinGW-w64, packs and checks the zip, runs the .exe
# from the zip on the example under Wine, and runs the end-to-end scenarios against the .exe under
# Wine, from a native build of the test executables (MTS_PROGRAM points them at the .exe), and the
# I/O fault matrix against the .exe under Wine.
# Without a cross compiler or Wine this leg fails; it is never skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

cross_dir=${MTS_WINDOWS_BUILD_DIR:-build-win}
native_dir=${MTS_WINDOWS_NATIVE_BUILD_DIR:-build-winhost}

fail() {
  echo "!! WINDOWS LEG FAILED: $*" >&2
  exit 1
}

# --- tools -------------------------------------------------------------------------------------
have_cross() {
  command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 ||
    command -v x86_64-w64-mingw32-g++ >/dev/null 2>&1
}
need=()
have_cross || need+=(g++-mingw-w64-x86-64-posix)
command -v wine >/dev/null 2>&1 && command -v wineserver >/dev/null 2>&1 || need+=(wine wine64)
command -v unzip >/dev/null 2>&1 || need+=(unzip)
for package in cmake make g++ libgtest-dev; do
  dpkg -s "$package" >/dev/null 2>&1 || need+=("$package")
done
if [ ${#need[@]} -gt 0 ]; then
  echo "== windows: installing ${need[*]}"
  apt-get update -qq || fail "apt-get update failed"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" ||
    fail "cannot install ${need[*]}: the Windows build cannot be tested on this machine"
fi
have_cross || fail "no MinGW-w64 cross compiler after the install"
command -v wine >/dev/null 2>&1 || fail "no wine after the install"
command -v wineserver >/dev/null 2>&1 || fail "no wineserver after the install"

# --- builds --------------------------------------------------------------------------------------
echo "== windows: cross build of the .exe ($cross_dir)"
cmake -S . -B "$cross_dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DMTS_BUILD_TESTS=OFF -DMTS_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$cross_dir" -j2

echo "== windows: zip of the cross build (cpack -G ZIP in $cross_dir)"
. .ci/archive-checks.sh
archive_project_version "$cross_dir"
zip_name=move-to-species-$ARCHIVE_VERSION-win64.zip
rm -f "$cross_dir"/move-to-species-*.zip
(cd "$cross_dir" && cpack -G ZIP >/dev/null) || fail "cpack -G ZIP"
zip="$cross_dir/$zip_name"
[ -f "$zip" ] || fail "cpack made no $zip"
zip_scratch=$(mktemp -d "${TMPDIR:-/tmp}/mts-zip-XXXXXX")
trap 'rm -rf "$zip_scratch"' EXIT
unzip -Z1 "$zip" >"$zip_scratch/listing" || fail "unzip cannot list $zip"
# The .exe, the README (also as plain text) and the example side by side at the top; no test
# stand-in.
archive_expect_listing "$zip" "$zip_scratch/listing" move-to-species.exe README.md README.txt \
  "${ARCHIVE_EXAMPLE_FILES[@]}"
unzip -q "$zip" -d "$zip_scratch/unpacked" || fail "unzip cannot unpack $zip"
archive_expect_documents "$zip_scratch/unpacked"
archive_expect_plain_readme "$zip_scratch/unpacked" "$cross_dir"
archive_expect_windows_resources "$zip_scratch/unpacked/move-to-species.exe" "$ARCHIVE_VERSION"

echo "== windows: native build of the end-to-end tests ($native_dir)"
# A native build that CI has made already (MTS_WINDOWS_NATIVE_BUILD_DIR) is used as it is
# configured; otherwise this leg configures its own.
if [ -z "${MTS_WINDOWS_NATIVE_BUILD_DIR:-}" ]; then
  cmake -S . -B "$native_dir" -DMTS_BUILD_TESTS=ON -DMTS_WARNINGS_AS_ERRORS=ON >/dev/null
fi
mapfile -t e2e_targets < <(cd tests && ls -- *_e2e_test.cpp windows/*_e2e_test.cpp |
  sed 's|.*/||; s|\.cpp$||')
cmake --build "$native_dir" -j2 --target "${e2e_targets[@]}" fault_matrix_test

program=$(cat "$cross_dir/mts-program.txt")
case "$program" in
  */*wine*" "*.exe) ;;
  *) fail "the cross build names no Wine to start the .exe with: '$program'" ;;
esac
[[ "$program" != *"  "* && $(wc -w <<<"$program") -eq 2 ]] ||
  fail "the path of the .exe must not hold blanks: '$program'"

# --- Wine ------------------------------------------------------------------------------------------
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/mts-wine-XXXXXX")
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
wine_log="$WINEPREFIX.log"
stop_wine() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX" "$wine_log" "$WINEPREFIX.matrix.log" "$zip_scratch"
}
trap stop_wine EXIT

# A persistent server, and a prefix made before the tests: otherwise every test pays for both.
# Wine's helper processes outlive the command that starts them, so their output goes to a file
# and never into a pipe that someone waits on.
echo "== windows: fresh Wine prefix $WINEPREFIX"
wineserver -p </dev/null >>"$wine_log" 2>&1
wine cmd.exe /c exit </dev/null >>"$wine_log" 2>&1 || {
  cat "$wine_log" >&2
  fail "wine cannot start a Windows program"
}
# The test-only sort stand-in goes on Wine's PATH for these runs only.
# A fresh prefix maps drive Z: to the root of the Unix file system.
standin_dir=$(cd "$cross_dir/tests/windows" && pwd)
[ -f "$standin_dir/sort.exe" ] || fail "the cross build made no sort stand-in"
WINEPATH="Z:${standin_dir//\//\\}"
export WINEPATH MTS_HOST=windows MTS_PROGRAM="timeout -k 10 180 $program"

# The .exe as a user gets it, from the zip, on the example as the zip holds it. The sort stand-in
# takes the place of the sort command of a real Windows machine, so the run goes to its end.
echo "== windows: the .exe from the zip on the example, under Wine"
archive_run_example "$zip_scratch/run" "$zip_scratch/unpacked" wine \
  "$zip_scratch/unpacked/move-to-species.exe"

# Scenarios left out here are the ones that show only a POSIX host: its built-in copy, sort and
# del (their messages, byte order and permission bits; the WindowsHost tests show the same
# stages with the host's commands), the error numbers of Linux devices and /proc files, a file
# size limit, kill -9 in the middle of the built-ins, and the rule for symbolic links that other
# users made (Windows keeps such links to privileged accounts, and Wine follows Unix links as the
# host does). Everything else runs on both legs.
posix_only='^(ShellCommands\.|CrashSafety\.|Links\.'
posix_only+='|RunFrame\.UnwritableStandardOutputIsFatalAtTheBanner$'
posix_only+='|RelabellingFaults\.(OutputNameTakenByADirectory|FileSizeLimitReachedWhileWriting'
posix_only+='|MapThatFailsToReadIsFatalBeforeAnythingIsShown)$)'

echo "== windows: end-to-end scenarios under Wine ($program)"
ctest --test-dir "$native_dir" -L e2e -E "$posix_only" --output-on-failure -j2 --timeout 900 ||
  fail "end-to-end scenarios of the Windows build"

# Every write, flush, truncation, open, rename and delete of the catalogue's files, failed in turn
# in each process of a run: the .exe, the interpreter's commands, the sort stand-in and Wine's
# server. The test makes a prefix of its own and starts a server of its own for every run, with
# the preload library in its environment; the server above takes no part. It runs on its own, not
# through ctest, whose time limit for the fault tests (600 s) leaves it too little room on a busy
# machine, and it must pass, not skip.
echo "== windows: the I/O fault matrix of the .exe under Wine"
matrix_log="$WINEPREFIX.matrix.log"
"$native_dir/tests/fault/fault_matrix_test" \
  --gtest_filter='FaultMatrix.WindowsBuildUnderWineEveryFileCallWithLeftoversOfAnEarlierRun' |
  tee "$matrix_log" || fail "fault matrix of the Windows build"
grep -q '^\[  PASSED  \] 1 test' "$matrix_log" ||
  fail "the fault matrix of the Windows build did not run"
rm -f "$matrix_log"
echo "== windows: passed"
