#!/usr/bin/env python3
"""The DLL must load on the oldest Windows it supports: every function its import table
names must be on the list of the functions we use (tests/win32/windows_functions.txt)
with a minimum Windows no newer than the oldest supported one, and the PE header must not
ask for a newer system than that. Reads the DLL with MinGW-w64's objdump; no Windows runs.

  check_windows_versions.py OBJDUMP DLL LIST [--oldest xpsp3]
  check_windows_versions.py --self-test LIST   the check's own cases, on made-up tables
"""
import argparse
import re
import subprocess
import sys

# Oldest first. The PE header's "operating system" and "subsystem" versions of each.
WINDOWS = ["2000", "xp", "xpsp2", "xpsp3", "vista", "7", "8", "10"]
PE_VERSION = {"2000": (5, 0), "xp": (5, 1), "xpsp2": (5, 1), "xpsp3": (5, 1), "vista": (6, 0),
              "7": (6, 1), "8": (6, 2), "10": (10, 0)}


def read_list(path):
    """{(dll, function): minimum} from the list file."""
    functions = {}
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        line = line.split("#", 1)[0].split()
        if not line:
            continue
        if len(line) != 3 or line[2] not in WINDOWS:
            sys.exit(f"{path}:{number}: expected '<dll> <function> <{'|'.join(WINDOWS)}>'")
        functions[(line[0].lower(), line[1])] = line[2]
    return functions


def parse_objdump(text):
    """The imported (dll, function) pairs and the header's OS and subsystem versions."""
    imports, dll, header = [], None, {}
    for line in text.splitlines():
        m = re.match(r"^(Major|Minor)(OSystem|Subsystem)Version\s+(\d+)", line)
        if m:
            header[m.group(1) + m.group(2)] = int(m.group(3))
            continue
        m = re.match(r"^\tDLL Name: (\S+)", line)
        if m:
            dll = m.group(1).lower()
            continue
        if line.startswith("\tvma:") or not dll:
            continue
        # "\t<vma>\t<hint> <name>", or an import by ordinal ("<vma>\t<ordinal>" alone)
        m = re.match(r"^\t[0-9a-f]+\t\s*(\d+)(?:\s+(\S+))?\s*$", line)
        if m:
            imports.append((dll, m.group(2) or "ordinal " + m.group(1)))
        elif not line.strip():
            continue
        elif not line.startswith("\t"):
            dll = None  # the next import directory entry, or the end of the table
    return imports, header


def problems(imports, header, functions, oldest):
    """One line per fault, each naming what is wrong."""
    faults = []
    limit = WINDOWS.index(oldest)
    for dll, function in imports:
        minimum = functions.get((dll, function))
        if minimum is None:
            faults.append(f"{dll} {function}: imported but not in the list; look up its "
                          "minimum supported client and add it")
        elif WINDOWS.index(minimum) > limit:
            faults.append(f"{dll} {function}: needs Windows {minimum}, newer than {oldest}; "
                          "look it up at run time with a fallback")
    want = PE_VERSION[oldest]
    for kind in ("OSystem", "Subsystem"):
        got = (header.get("Major" + kind, 99), header.get("Minor" + kind, 99))
        if got > want:
            faults.append(f"PE header: {kind} version {got[0]}.{got[1]} is newer than "
                          f"{oldest} ({want[0]}.{want[1]}), which then refuses the DLL")
    return faults


def self_test(list_path):
    functions = read_list(list_path)
    table = ("MajorOSystemVersion\t4\nMinorOSystemVersion\t0\n"
             "MajorSubsystemVersion\t{}\nMinorSubsystemVersion\t0\n"
             "\tDLL Name: KERNEL32.dll\n\tvma:  Hint/Ord Member-Name Bound-To\n"
             "\t1234\t  100  CloseHandle\n{}\n")
    cases = [
        ("a clean table passes", table.format(4, ""), []),
        ("a Vista import fails naming it", table.format(4, "\t1240\t  200  GetTickCount64"),
         ["GetTickCount64: needs Windows vista"]),
        ("an import missing from the list fails naming it",
         table.format(4, "\t1240\t  200  CreateThreadpoolWork"), ["CreateThreadpoolWork: imported"]),
        ("an import by ordinal fails", table.format(4, "\t1240\t  17"), ["ordinal 17"]),
        ("a subsystem version of Vista fails", table.format(6, ""), ["Subsystem version 6.0"]),
    ]
    failed = 0
    for name, text, expected in cases:
        imports, header = parse_objdump(text)
        faults = problems(imports, header, functions, "xpsp3")
        ok = len(faults) == len(expected) and all(e in f for e, f in zip(expected, faults))
        print(("ok    " if ok else "FAIL  ") + name + ("" if ok else f": {faults}"))
        failed += not ok
    print(f"{len(cases) - failed} passed, {failed} failed")
    return 1 if failed else 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--self-test", action="store_true")
    parser.add_argument("--oldest", default="xpsp3", choices=WINDOWS)
    parser.add_argument("paths", nargs="+")
    args = parser.parse_args()
    if args.self_test:
        return self_test(args.paths[0])
    objdump, dll, list_path = args.paths
    functions = read_list(list_path)
    text = subprocess.run([objdump, "-p", dll], check=True, capture_output=True, text=True).stdout
    imports, header = parse_objdump(text)
    if not imports:
        print(f"FAIL: no imports read from {dll}")
        return 1
    faults = problems(imports, header, functions, args.oldest)
    for fault in faults:
        print("FAIL: " + fault)
    print(f"{dll}: {len(imports)} imports, {len(faults)} newer than {args.oldest} or unlisted")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
