#!/usr/bin/env python3
"""The release archive, made twice from the built DLL by scripts/release --package (the
second time a second later and in another time zone), must come out byte-identical and
hold what an integrator needs: the stripped DLL linked to its debug file, README.txt
(docs/install.md with Windows line ends), the example profile, LICENSE when the sources
have one, and SHA256SUMS over them. The version resources of the archive's DLL, the
built DLL and hostsim.exe are read straight from the files (PE sections and resource
tree, no Windows API) and must hold the project's version.

--stage FOLDER TESTS...: afterwards the archive's DLL and debug file are unpacked into
FOLDER with copies of the named test programs (stripped_<name>.exe), which ctest then
runs against the stripped DLL.
"""
import argparse
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile
import zlib
from pathlib import Path

ARGS = None


class Pe:
    """The sections of a PE file, enough to find the version resource."""

    def __init__(self, data):
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        assert data[pe:pe + 4] == b"PE\0\0", "not a PE file"
        (_, count, self.timestamp, symbols, nsymbols, optional, _) = struct.unpack_from(
            "<HHIIIHH", data, pe + 4)
        strings = symbols + nsymbols * 18  # the COFF string table holds long section names
        self.sections = {}
        for i in range(count):
            header = pe + 24 + optional + 40 * i
            raw_name = data[header:header + 8].rstrip(b"\0").decode()
            if raw_name.startswith("/"):
                start = strings + int(raw_name[1:])
                raw_name = data[start:data.index(b"\0", start)].decode()
            vsize, rva, size, offset = struct.unpack_from("<IIII", data, header + 8)
            self.sections[raw_name] = (rva, data[offset:offset + min(size, vsize or size)])

    def version_info(self):
        rva, rsrc = self.sections[".rsrc"]

        def entries(offset):
            named, ids = struct.unpack_from("<HH", rsrc, offset + 12)
            for i in range(named + ids):
                yield struct.unpack_from("<II", rsrc, offset + 16 + 8 * i)

        def child(offset, wanted=None):
            for name, target in entries(offset):
                if wanted is None or name == wanted:
                    return target & 0x7FFFFFFF
            raise AssertionError(f"no resource entry {wanted}")

        RT_VERSION = 16
        language = child(child(child(0, RT_VERSION)))  # type, then first name and language
        data_rva, size = struct.unpack_from("<II", rsrc, language)
        return parse_block(rsrc[data_rva - rva:data_rva - rva + size], 0)[0]


def parse_block(data, offset):
    """One VS_VERSIONINFO-style block: (key, value, children), length."""
    length, value_length, text = struct.unpack_from("<HHH", data, offset)
    end = offset + 6
    while data[end:end + 2] != b"\0\0":
        end += 2
    key = data[offset + 6:end].decode("utf-16-le")
    pos = (end + 2 + 3) & ~3
    size = value_length * 2 if text else value_length
    value = data[pos:pos + size]
    if text:
        value = value.decode("utf-16-le").rstrip("\0")
    pos = (pos + size + 3) & ~3
    children = {}
    while pos < offset + length:
        (k, v, c), n = parse_block(data, pos)
        children[k] = (v, c)
        pos = (pos + n + 3) & ~3
    return (key, value, children), length


def version_parts(text):
    parts = [int(p) for p in text.split(".")]
    return parts + [0] * (4 - len(parts))


class Release(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = Path(ARGS.build) / "release-test"
        shutil.rmtree(cls.work, ignore_errors=True)
        script = Path(ARGS.top) / "scripts" / "release"
        env = dict(os.environ)
        env.pop("SOURCE_DATE_EPOCH", None)  # the commit's time, as a real release
        try:
            commit_time = subprocess.run(["git", "-C", ARGS.top, "log", "-1", "--format=%ct"],
                                         capture_output=True, text=True).stdout.strip()
        except OSError:
            commit_time = ""
        cls.epoch = int(commit_time) if commit_time.isdigit() else 1700000000
        if not commit_time.isdigit():  # sources outside git: the time must be given
            env["SOURCE_DATE_EPOCH"] = str(cls.epoch)
        for run, zone in (("a", "UTC"), ("b", "Pacific/Kiritimati")):
            if run == "b":
                time.sleep(1.5)  # a stamp taken from the clock would now differ
            subprocess.run([sys.executable, str(script), "--package", ARGS.build,
                            str(cls.work / run)], env=dict(env, TZ=zone), check=True)
        cls.name = f"tallymark-{ARGS.version}-win32"
        cls.archive = cls.work / "a" / f"{cls.name}.zip"
        cls.zip = zipfile.ZipFile(cls.archive)

    @classmethod
    def tearDownClass(cls):
        cls.zip.close()

    def read(self, name):
        return self.zip.read(f"{self.name}/{name}")

    def test_made_twice_the_archive_is_byte_identical(self):
        self.assertEqual(self.archive.read_bytes(),
                         (self.work / "b" / self.archive.name).read_bytes())

    def test_entries_sorted_with_the_commit_time(self):
        names = [i.filename for i in self.zip.infolist()]
        want = ["README.txt", "SHA256SUMS", "TALLY_MARK.dll", "TALLY_MARK.dll.debug",
                "examples/Mach3Mill.xml"]
        want += [n for n in ("LICENSE", "LICENSE.txt", "LICENSE.md", "COPYING")
                 if (Path(ARGS.top) / n).is_file()]
        self.assertEqual(names, sorted(f"{self.name}/{n}" for n in want))
        self.assertEqual(names, sorted(names))
        stamp = max(time.gmtime(self.epoch)[:6], (1980, 1, 1, 0, 0, 0))
        for info in self.zip.infolist():
            self.assertEqual(info.date_time, (stamp[0], stamp[1], stamp[2], stamp[3], stamp[4],
                                              stamp[5] // 2 * 2), info.filename)

    def test_checksums_cover_every_other_file_and_the_archive(self):
        sums = {}
        for line in self.read("SHA256SUMS").decode("ascii").splitlines():
            digest, name = line.split("  ", 1)
            sums[name] = digest
        files = {i.filename.split("/", 1)[1] for i in self.zip.infolist()} - {"SHA256SUMS"}
        self.assertEqual(set(sums), files)
        for name, digest in sums.items():
            self.assertEqual(hashlib.sha256(self.read(name)).hexdigest(), digest, name)
        beside = (self.work / "a" / f"{self.archive.name}.sha256").read_text()
        self.assertEqual(beside, f"{hashlib.sha256(self.archive.read_bytes()).hexdigest()}  "
                                 f"{self.archive.name}\n")

    def test_dll_is_stripped_and_linked_to_its_debug_file(self):
        dll = Pe(self.read("TALLY_MARK.dll"))
        debug = self.read("TALLY_MARK.dll.debug")
        self.assertEqual([s for s in dll.sections if s.startswith(".debug")], [])
        self.assertIn(".debug_info", Pe(debug).sections)
        link = dll.sections[".gnu_debuglink"][1]
        name_end = link.index(b"\0")
        self.assertEqual(link[:name_end], b"TALLY_MARK.dll.debug")
        crc_at = (name_end + 4) & ~3
        self.assertEqual(struct.unpack_from("<I", link, crc_at)[0], zlib.crc32(debug))
        self.assertEqual(dll.timestamp, self.epoch)
        self.assertLess(len(self.read("TALLY_MARK.dll")), len(debug))

    def test_readme_and_example_profile(self):
        readme = self.read("README.txt").decode("utf-8")
        self.assertTrue(readme.startswith(f"tallymark {ARGS.version} for 32-bit Windows\r\n"))
        self.assertIn("SHA256SUMS", readme)
        self.assertIn("addr2line", readme)
        # The rest is docs/install.md as it stands, with Windows line ends.
        notes = (Path(ARGS.top) / "docs" / "install.md").read_text(encoding="utf-8")
        body = readme.split("\r\n", 2)[2]
        self.assertEqual(body, "\r\n".join(notes.splitlines()) + "\r\n")
        self.assertNotIn("\n", body.replace("\r\n", ""), "only CR LF line ends")
        self.assertEqual(self.read("examples/Mach3Mill.xml"),
                         (Path(ARGS.top) / "examples" / "Mach3Mill.xml").read_bytes())

    def test_version_resources_hold_the_project_version(self):
        bin_dir = Path(ARGS.build) / "bin"
        files = {"archive's TALLY_MARK.dll": (self.read("TALLY_MARK.dll"), "TALLY_MARK.dll", 2),
                 "built TALLY_MARK.dll": ((bin_dir / "TALLY_MARK.dll").read_bytes(),
                                          "TALLY_MARK.dll", 2),
                 "hostsim.exe": ((bin_dir / "hostsim.exe").read_bytes(), "hostsim.exe", 1)}
        for label, (data, file_name, file_type) in files.items():
            with self.subTest(label):
                key, fixed, children = Pe(data).version_info()
                self.assertEqual(key, "VS_VERSION_INFO")
                (signature, _, file_ms, file_ls, product_ms, product_ls, _, flags, _,
                 ftype) = struct.unpack_from("<10I", fixed)
                self.assertEqual(signature, 0xFEEF04BD)
                want = version_parts(ARGS.version)
                split = lambda ms, ls: [ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF]
                self.assertEqual(split(file_ms, file_ls), want)
                self.assertEqual(split(product_ms, product_ls), want)
                self.assertEqual((flags, ftype), (0, file_type))
                tables = children["StringFileInfo"][1]
                strings = {k: v for k, (v, _) in tables["040904B0"][1].items()}
                self.assertEqual(strings["FileVersion"], ARGS.version)
                self.assertEqual(strings["ProductVersion"], ARGS.version)
                self.assertEqual(strings["ProductName"], "tallymark")
                self.assertEqual(strings["OriginalFilename"], file_name)
                self.assertEqual(strings["Comments"], f"commit {ARGS.commit}")
                translation = children["VarFileInfo"][1]["Translation"][0]
                self.assertEqual(struct.unpack("<HH", translation), (0x409, 1200))


def stage(folder, tests):
    """The archive's DLL and debug file, with copies of the test programs, in `folder`."""
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    name = f"tallymark-{ARGS.version}-win32"
    with zipfile.ZipFile(Path(ARGS.build) / "release-test" / "a" / f"{name}.zip") as z:
        for member in ("TALLY_MARK.dll", "TALLY_MARK.dll.debug"):
            (folder / member).write_bytes(z.read(f"{name}/{member}"))
    for test in tests:
        shutil.copyfile(Path(ARGS.build) / "bin" / f"{test}.exe", folder / f"stripped_{test}.exe")


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for option in ("--top", "--build", "--version", "--commit"):
        parser.add_argument(option, required=True)
    parser.add_argument("--stage", nargs="+", metavar=("FOLDER", "TEST"))
    ARGS = parser.parse_args()
    result = unittest.main(argv=[sys.argv[0], "-v"], exit=False).result
    if not result.wasSuccessful():
        return 1
    if ARGS.stage:
        stage(Path(ARGS.stage[0]), ARGS.stage[1:])
    return 0


if __name__ == "__main__":
    sys.exit(main())
