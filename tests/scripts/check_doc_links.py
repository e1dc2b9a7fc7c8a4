#!/usr/bin/env python3
"""Every reference in the documentation must lead somewhere: in README.md, the top-level
*.md files and docs/*.md, each relative markdown link or picture names a file or folder
that exists (and, with a #fragment, a heading of that markdown file), and each source
path written in backquotes outside code blocks (`src/...`, `tests/...`, `scripts/...`,
...) exists from the top of the tree.

  check_doc_links.py [TOP]      TOP: the source tree, by default this script's ../..
  check_doc_links.py --self-test

Prints one line per broken reference and exits 1 when there is one.
"""
import re
import sys
import tempfile
from pathlib import Path

LINK = re.compile(r"!?\[[^\]]*\]\(([^)\s]+)(?:\s+\"[^\"]*\")?\)")
CODE_SPAN = re.compile(r"`([^`\n]+)`")
# Folders of the tree whose paths the text names; build/ and dist/ are outputs.
TREE_PATH = re.compile(r"^(?:src|tests|tools|scripts|docs|examples|cmake|bench|fuzz)/\S*$")


def slug(heading):
    """The anchor GitHub gives a heading."""
    text = re.sub(r"[^\w\- ]", "", heading.strip().lower())
    return text.replace(" ", "-")


def headings(path):
    anchors, fenced = set(), False
    for line in path.read_text(encoding="utf-8").splitlines():
        if line.startswith("```"):
            fenced = not fenced
        elif not fenced and line.startswith("#"):
            anchors.add(slug(line.lstrip("#")))
    return anchors


def prose(text):
    """The lines outside fenced code blocks, with their numbers."""
    fenced = False
    for number, line in enumerate(text.splitlines(), 1):
        if line.startswith("```"):
            fenced = not fenced
        elif not fenced:
            yield number, line


def check_file(top, path):
    problems = []
    where = path.relative_to(top).as_posix()
    for number, line in prose(path.read_text(encoding="utf-8")):
        for target in LINK.findall(line):
            if re.match(r"^[a-z][a-z0-9+.-]*:", target):
                continue  # https:, mailto:
            name, _, fragment = target.partition("#")
            resolved = (path.parent / name).resolve() if name else path
            if not resolved.exists():
                problems.append(f"{where}:{number}: link to {target}: no such file")
            elif fragment and resolved.suffix == ".md" and fragment not in headings(resolved):
                problems.append(f"{where}:{number}: link to {target}: no such heading")
        for span in CODE_SPAN.findall(line):
            words = span.split()
            if not words:
                continue
            candidate = words[0].split(":")[0]
            if not TREE_PATH.match(candidate) or re.search(r"[<>*]", candidate):
                continue
            if not (top / candidate).exists():
                problems.append(f"{where}:{number}: path {candidate}: no such file")
    return problems


def documents(top):
    return sorted(top.glob("*.md")) + sorted((top / "docs").glob("*.md"))


def check(top):
    problems = []
    for path in documents(top):
        problems += check_file(top, path)
    return problems


def self_test():
    """The checker finds what it should on a small tree, and passes a sound one."""
    with tempfile.TemporaryDirectory() as work:
        top = Path(work)
        (top / "docs").mkdir()
        (top / "src").mkdir()
        (top / "src" / "a.cpp").write_text("")
        (top / "docs" / "b.md").write_text("# Title\n\n## The link: UDP (ports)\n")
        good = ("# Top\n[b](docs/b.md) [h](docs/b.md#the-link-udp-ports) [s](#top)\n"
                "![p](src/a.cpp) [w](https://example.org/x) `src/a.cpp:12` "
                "`src/a.cpp --flag` `build/win32/bin/x.dll` `fuzz/corpus/<target>/`\n"
                "```\n[not checked](nowhere.md) `src/nowhere.cpp`\n```\n")
        (top / "README.md").write_text(good)
        found = check(top)
        assert found == [], found
        (top / "README.md").write_text(
            good + "[x](docs/missing.md) [y](docs/b.md#nothing) `src/gone.cpp --flag`\n")
        found = check(top)
        assert len(found) == 3, found
        assert "docs/missing.md: no such file" in found[0], found
        assert "docs/b.md#nothing: no such heading" in found[1], found
        assert "path src/gone.cpp: no such file" in found[2], found
    print("self-test passed")


def main(args):
    if args == ["--self-test"]:
        self_test()
        return 0
    top = Path(args[0]).resolve() if args else Path(__file__).resolve().parent.parent.parent
    problems = check(top)
    for problem in problems:
        print(problem)
    names = ", ".join(p.relative_to(top).as_posix() for p in documents(top))
    print(f"{len(problems)} broken reference(s) in {names}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
