#!/usr/bin/env python3
"""Checks that every file carries the one version, the CMake project's:

    check_versions.py SOURCE_DIR [--build DIR] [--dist DIR]

From the source: ansible/galaxy.yml and a section of CHANGELOG.md. With
--build (a Linux build tree): the manual pages made from packaging/man and
`collector-fleet --version`. With --dist (a release folder made by
scripts/release.sh): every file's name, the Debian packages' control
fields, the version resources of the programs in the zips, the installers'
ProductVersion; and that no program or installer there carries a signature
that does not verify against the system's trusted roots (a test
certificate's).
"""
import argparse
import glob
import os
import re
import subprocess
import sys
import tempfile
import zipfile

TRUSTED = "/etc/ssl/certs/ca-certificates.crt"


def project_version(source):
    with open(os.path.join(source, "CMakeLists.txt"), encoding="utf-8") as f:
        return re.search(r"project\(\w+ VERSION (\d+\.\d+\.\d+)", f.read()).group(1)


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def output(*command):
    return subprocess.run(command, capture_output=True, text=True).stdout


def source_problems(source, version):
    problems = []
    galaxy = re.search(r"^version: (\S+)$", read(os.path.join(source, "ansible/galaxy.yml")),
                       re.MULTILINE)
    if not galaxy or galaxy.group(1) != version:
        problems.append(f"ansible/galaxy.yml: version {galaxy and galaxy.group(1)}")
    if f"\n## [{version}] - " not in read(os.path.join(source, "CHANGELOG.md")):
        problems.append(f"CHANGELOG.md has no section ## [{version}] - <date>")
    return problems


def build_problems(build, version):
    problems = []
    pages = glob.glob(os.path.join(build, "packaging", "man", "*.1"))
    if not pages:
        problems.append(f"no manual page in {build}/packaging/man")
    for page in pages:
        header = read(page).splitlines()[0]
        if f' {version}"' not in header:
            problems.append(f"{os.path.basename(page)}: {header}")
    fleet = output(os.path.join(build, "fleet", "collector-fleet"), "--version").strip()
    if fleet != f"collector-fleet {version}":
        problems.append(f"collector-fleet --version says {fleet!r}")
    return problems


def signature_problem(path):
    """None when PATH is unsigned or signed by a certificate of a trusted
    root, otherwise what is wrong."""
    verified = subprocess.run(["osslsigncode", "verify", "-CAfile", TRUSTED, "-in", path],
                              capture_output=True, text=True)
    said = verified.stdout + verified.stderr
    if verified.returncode == 0 or "No signature found" in said or "has no signature" in said:
        return None
    return f"{os.path.basename(path)} carries a signature no trusted root verifies"


def dist_problems(dist, version):
    problems = []
    names = sorted(os.listdir(dist))
    expected = {f"{p}_{version}_amd64.deb" for p in
                ("collector-upgrade", "collector-fleet", "collector-emulator")}
    expected |= {f"CollectorUpgrade-{version}-{a}.zip" for a in ("win64", "win32")}
    expected |= {f"CollectorUpgrade-{version}-{a}.msi" for a in ("x64", "x86")}
    expected |= {f"fieldcollector-fleet-{version}.tar.gz", "SHA256SUMS", "RELEASE_NOTES.md"}
    if set(names) != expected:
        problems.append(f"{dist} holds {names}, expected {sorted(expected)}")
    for name in names:
        path = os.path.join(dist, name)
        if name.endswith(".deb"):
            field = output("dpkg-deb", "-f", path, "Version").strip()
            if field != version:
                problems.append(f"{name}: Version {field}")
        elif name.endswith(".msi"):
            found = re.search(r"^ProductVersion\t(\S+)", output("msiinfo", "export", path,
                                                                 "Property"), re.MULTILINE)
            if not found or found.group(1) != version:
                problems.append(f"{name}: ProductVersion {found and found.group(1)}")
            problems.append(signature_problem(path))
        elif name.endswith(".zip"):
            with zipfile.ZipFile(path) as archive, tempfile.TemporaryDirectory() as folder:
                for entry in archive.namelist():
                    if not entry.endswith(".exe"):
                        continue
                    exe = archive.extract(entry, folder)
                    data = open(exe, "rb").read()
                    for key in ("FileVersion", "ProductVersion"):
                        # A String entry of the version resource: its type
                        # (1, text) just before its key, the value after it on
                        # a 32-bit boundary.
                        text = b"\1\0" + f"{key}\0".encode("utf-16-le")
                        at = data.find(text)
                        at += len(text) + (-(at + len(text)) % 4)
                        end = at
                        while data[end:end + 2] != b"\0\0":
                            end += 2
                        value = data[at:end].decode("utf-16-le")
                        if value != f"{version}.0":
                            problems.append(f"{name}: {entry}'s {key} is {value!r}")
                    problems.append(signature_problem(exe))
    return [problem for problem in problems if problem]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("source")
    parser.add_argument("--build")
    parser.add_argument("--dist")
    args = parser.parse_args()
    version = project_version(args.source)
    problems = source_problems(args.source, version)
    if args.build:
        problems += build_problems(args.build, version)
    if args.dist:
        problems += dist_problems(args.dist, version)
    for problem in problems:
        print("FAIL:", problem)
    print(f"version {version}: {len(problems)} problems")
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
