# Checks of the release archives, shared by the Linux leg (.ci/run) and the Windows leg
# (.ci/windows.sh), which source this file. Every check that fails ends the calling script with
# status 1, wherever it is called from (an `exit`, never a status that `set -e` may overlook).
# Run from the top of the repository.

archive_fail() {
  echo "!! ARCHIVE CHECK FAILED: $*" >&2
  exit 1
}

# The example catalogue as the repository holds it: the names of the files of examples/.
mapfile -t ARCHIVE_EXAMPLE_FILES < <(cd examples && ls -A)
[ ${#ARCHIVE_EXAMPLE_FILES[@]} -gt 0 ] || archive_fail "examples/ holds no file"

# The version that CMake gave the project in BUILD_DIR, which names the archives.
archive_project_version() {
  local version
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$1/CMakeCache.txt")
  [ -n "$version" ] || archive_fail "no project version in $1/CMakeCache.txt"
  ARCHIVE_VERSION=$version
}

# archive_expect_listing ARCHIVE LISTING_FILE NAME...: the archive, whose entries LISTING_FILE
# holds one a line, holds exactly the files NAME... (folder entries aside) and nothing else.
archive_expect_listing() {
  local archive=$1 listing=$2
  shift 2
  local expected actual
  expected=$(printf '%s\n' "$@" | LC_ALL=C sort)
  actual=$(grep -v '/$' "$listing" | LC_ALL=C sort) || true
  if [ "$actual" != "$expected" ]; then
    echo "!! $archive holds:" >&2
    sed 's/^/     /' "$listing" >&2
    echo "!! but should hold exactly:" >&2
    sed 's/^/     /' <<<"$expected" >&2
    archive_fail "wrong contents of $archive"
  fi
  echo "   $archive holds exactly: $(tr '\n' ' ' <<<"$expected")"
}

# archive_expect_documents DIR: the README and the example files in DIR, unpacked from an
# archive, are those of the repository byte for byte.
archive_expect_documents() {
  local dir=$1 name
  cmp -s README.md "$dir/README.md" || archive_fail "$dir/README.md is not the README"
  for name in "${ARCHIVE_EXAMPLE_FILES[@]}"; do
    cmp -s "examples/$name" "$dir/$name" || archive_fail "$dir/$name is not examples/$name"
  done
}

# archive_expect_plain_readme DIR BUILD_DIR: README.txt in DIR, unpacked from an archive, is the
# one that the build in BUILD_DIR made from README.md, and plain text as Notepad shows it: printable
# ASCII in lines that all end with CR LF, and no Markdown table row, backtick, link or heading mark
# left.
archive_expect_plain_readme() {
  local text=$1/README.txt made=$2/README.txt
  [ -s "$made" ] || archive_fail "the build in $2 made no README.txt"
  cmp -s "$made" "$text" || archive_fail "$text is not the README.txt that the build made"
  local lf cr crlf
  lf=$(tr -cd '\n' <"$text" | wc -c)
  cr=$(tr -cd '\r' <"$text" | wc -c)
  crlf=$(LC_ALL=C grep -c $'\r$' "$text") || true
  [ "$lf" -eq "$cr" ] && [ "$cr" -eq "$crlf" ] && [ -z "$(tail -c 1 "$text" | tr -d '\n')" ] ||
    archive_fail "$text has line ends other than CR LF"
  ! LC_ALL=C grep -q $'[^[:print:]\r]' "$text" ||
    archive_fail "$text holds bytes other than printable ASCII"
  ! grep -q '^ *|' "$text" || archive_fail "$text holds a Markdown table row"
  ! grep -q '`' "$text" || archive_fail "$text holds a backtick"
  ! grep -q '\](' "$text" || archive_fail "$text holds a Markdown link"
  ! grep -q '^#' "$text" || archive_fail "$text holds a Markdown heading mark"
  echo "   $text is the photographer's part as plain text with CR LF line ends"
}

# archive_run_example RUN_DIR DOC_DIR COMMAND...: copies the example files from DOC_DIR (as
# unpacked from an archive) into RUN_DIR, which must not exist yet, starts COMMAND there as an
# operator would (Yes at the map, Enter at the end) and checks the console and the files left.
archive_run_example() {
  local run_dir=$1 doc_dir=$2
  shift 2
  local name status=0
  mkdir "$run_dir" || archive_fail "cannot make $run_dir"
  for name in "${ARCHIVE_EXAMPLE_FILES[@]}"; do
    cp "$doc_dir/$name" "$run_dir/" || archive_fail "cannot copy $doc_dir/$name"
  done
  (cd "$run_dir" && printf 'Yes\r\n\r\n' | timeout -k 10 180 "$@" >"$run_dir.out" 2>"$run_dir.err") ||
    status=$?
  local banner=$' 1 February, 2014 Version 1.0 - Move individuals to species folders\r'
  local header='Individual                Species'
  local done_line=$' All individuals moved to species, AllPictures.txt created\r'
  local problem=
  if [ "$status" -ne 0 ]; then
    problem="exit status $status"
  elif ! grep -qxF "$banner" "$run_dir.out"; then
    problem="no banner line on standard output"
  elif ! grep -qF "$header" "$run_dir.out"; then
    problem="no map table header on standard output"
  elif ! grep -qxF "$done_line" "$run_dir.out"; then
    problem="the run did not complete"
  elif ! cmp -s "$doc_dir/AllPictures.txt" "$run_dir/AllPicturesIndiv.txt"; then
    problem="AllPicturesIndiv.txt is not the example's picture list"
  fi
  if [ -n "$problem" ]; then
    echo "!! standard output:" >&2
    sed 's/^/     /' "$run_dir.out" >&2
    echo "!! standard error:" >&2
    sed 's/^/     /' "$run_dir.err" >&2
    archive_fail "run of $* on the example: $problem"
  fi
  echo "   $* ran on the example: banner, map table and completion on standard output"
}

# archive_expect_windows_resources EXE VERSION: the .exe, unpacked from the zip, carries the
# version resource that Explorer shows under Properties > Details (product name, description,
# VERSION, the project's copyright line) and the application manifest (run as the invoking user,
# Windows 7 to 11, long paths, the system's code page kept).
archive_expect_windows_resources() {
  local exe=$1 version=$2 objdump=x86_64-w64-mingw32-objdump
  command -v "$objdump" >/dev/null 2>&1 || archive_fail "no $objdump to read $exe with"
  local types
  types=$("$objdump" -p "$exe" | sed -n '/^The .rsrc Resource Directory/,/^$/p' |
    sed -n 's/^[0-9a-f]*   Entry: ID: 0x0*\([0-9a-f]*\),.*/\1/p' | tr '\n' ' ')
  [ "$types" = "10 18 " ] ||
    archive_fail "$exe has resources of the types '$types', not a version (10) and a manifest (18)"
  # The version strings are UTF-16, each value on the line after its name.
  local words value name expected
  words=$(strings -el "$exe")
  for name in ProductName FileDescription FileVersion ProductVersion LegalCopyright; do
    value=$(grep -A1 -x "$name" <<<"$words" | sed -n 2p)
    case $name in
      ProductName) expected='move-to-species' ;;
      FileDescription) expected='[A-Z].*' ;;
      FileVersion | ProductVersion) expected=${version//./\\.} ;;
      LegalCopyright) expected='Copyright (C) [0-9]\{4\} the move-to-species developers' ;;
    esac
    grep -qx -- "$expected" <<<"$value" ||
      archive_fail "$exe: version resource's $name is '$value', not '$expected'"
  done
  local manifest
  manifest=$(strings "$exe" | sed -n '/<assembly /,/<\/assembly>/p')
  local part
  for part in 'level="asInvoker"' '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}' \
    '{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}' '{1f676c76-80e1-4239-95bb-83d0f6d0da78}' \
    '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}' '>true</longPathAware>'; do
    grep -qF -- "$part" <<<"$manifest" || archive_fail "$exe: the manifest lacks $part"
  done
  ! grep -q 'activeCodePage' <<<"$manifest" || archive_fail "$exe: the manifest sets a code page"
  echo "   $exe carries its version resource ($version) and application manifest"
}
