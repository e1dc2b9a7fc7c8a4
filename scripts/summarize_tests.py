#!/usr/bin/env python3
"""Counts test cases over the builds that scripts/test ran.

Each build folder holds test-results/: one GoogleTest XML report per test program and
ctest's JUnit report. A program with a GoogleTest report counts its cases; a ctest entry
without one (a script check, or a program that crashed before writing) counts as one
case with ctest's verdict; a program whose report says all passed but whose ctest entry
failed (a crash at exit, a time-out) adds one failure.
Prints one line per build, then "N passed, N failed".
"""
import sys
import xml.etree.ElementTree as ET
from pathlib import Path


def count(build: Path):
    results = build / "test-results"
    passed = failed = 0
    gtest = {}
    for report in results.glob("*.xml"):
        if report.name == "ctest-junit.xml":
            continue
        try:
            root = ET.parse(report).getroot()
        except ET.ParseError:
            continue
        cases = root.iter("testcase")
        p = f = 0
        for case in cases:
            if case.get("result") == "skipped" or case.find("skipped") is not None:
                continue
            if case.find("failure") is not None or case.find("error") is not None:
                f += 1
            else:
                p += 1
        gtest[report.stem] = (p, f)
    junit = results / "ctest-junit.xml"
    entries = []
    if junit.exists():
        for case in ET.parse(junit).getroot().iter("testcase"):
            ok = case.get("status") == "run" and case.find("failure") is None
            entries.append((case.get("name"), ok))
    for name, ok in entries:
        if name in gtest:
            p, f = gtest.pop(name)
            passed += p
            failed += f
            if not ok and f == 0:
                failed += 1
        elif ok:
            passed += 1
        else:
            failed += 1
    for p, f in gtest.values():  # reports of programs ctest did not list
        passed += p
        failed += f
    return passed, failed


def main():
    total_p = total_f = 0
    for arg in sys.argv[1:]:
        p, f = count(Path(arg))
        print(f"  {Path(arg).name}: {p} passed, {f} failed")
        total_p += p
        total_f += f
    print(f"{total_p} passed, {total_f} failed")


if __name__ == "__main__":
    main()
