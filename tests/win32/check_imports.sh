#!/usr/bin/env bash
# The plug-in must be a single file: it may import only DLLs that every Windows has.
# Also checks that the export table holds exactly the names the host looks up.
set -euo pipefail
objdump=$1
dll=$2
def=$3

imports=$("$objdump" -p "$dll" | sed -n 's/^[ \t]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
allowed='^(kernel32|user32|gdi32|comctl32|ole32|oleaut32|ws2_32|advapi32|shell32|msvcrt|uxtheme|comdlg32|api-ms-win-[a-z0-9-]+)\.dll$'
bad=$(echo "$imports" | grep -v -E "$allowed" || true)
echo "imports: $(echo $imports)"
if [ -n "$bad" ]; then
  echo "FAIL: imports non-system DLLs: $bad"
  exit 1
fi

# Names from the .def file: the exported name is the part before any " = ".
want=$(sed -n '/^EXPORTS/,$p' "$def" | tail -n +2 | sed 's/=.*//; s/^[ \t]*//; s/[ \t]*$//' | sed '/^$/d' | sort)
have=$("$objdump" -p "$dll" | awk '/\[Ordinal\/Name Pointer\] Table/{f=1;next} f&&/^[ \t]*\[/{print $NF} f&&/^$/{f=0}' | sort)
if [ "$want" != "$have" ]; then
  echo "FAIL: export table differs from TALLY_MARK.def"
  diff <(echo "$want") <(echo "$have") || true
  exit 1
fi
echo "exports: $(echo $have | wc -w) names as listed"
echo "1 passed, 0 failed"
