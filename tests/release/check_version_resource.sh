#!/usr/bin/env bash
# The version resources of built files read back without running anything: windres
# decompiles them from each file's resource section. What version_resource_tests reads
# through Windows, for machines where no 32-bit Windows program can start.
#   check_version_resource.sh WINDRES VERSION COMMIT FILE FILETYPE [FILE FILETYPE]...
# FILETYPE: 1 for a program, 2 for a DLL.
set -uo pipefail
windres=$1 version=$2 commit=$3
shift 3
IFS=. read -r a b c d <<<"$version"
commas="${a:-0}, ${b:-0}, ${c:-0}, ${d:-0}"
passed=0 failed=0
while [ $# -ge 2 ]; do
  file=$1 type=$2
  shift 2
  name=$(basename "$file")
  rc=$("$windres" -i "$file" -O rc 2>&1) || { echo "FAIL: $name: windres cannot read it: $rc"; failed=$((failed + 1)); continue; }
  for want in " FILEVERSION $commas" " PRODUCTVERSION $commas" " FILETYPE 0x$type" \
      "VALUE \"FileVersion\", \"$version\"" "VALUE \"ProductVersion\", \"$version\"" \
      "VALUE \"ProductName\", \"tallymark\"" "VALUE \"OriginalFilename\", \"$name\"" \
      "VALUE \"Comments\", \"commit $commit\""; do
    if grep -qxF "$want" <<<"$(sed 's/^ *VALUE/VALUE/' <<<"$rc")"; then
      passed=$((passed + 1))
    else
      echo "FAIL: $name: no line '$want' in its version resource"
      failed=$((failed + 1))
    fi
  done
  if grep -qE '^ *VALUE "FileDescription", "[^"]+"$' <<<"$rc"; then
    passed=$((passed + 1))
  else
    echo "FAIL: $name: no FileDescription"
    failed=$((failed + 1))
  fi
done
echo "$passed passed, $failed failed"
[ $failed = 0 ]
