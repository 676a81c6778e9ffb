#!/usr/bin/env python3
"""Checks the portable Windows zip: one top folder holding exactly the three
programs, README.txt, the Win32 screenshot it names and the JSON Schema of
collector-fleet's report (a draft 2020-12 schema of report version 1); each program is a
Windows executable for the expected processor that needs no MinGW runtime DLL,
with an icon of every size Windows asks for, a manifest (no elevation, long
paths, Windows 7 to 11) and a version resource of the one product, signed by
a certificate of CAFILE when one is given and unsigned otherwise;
README.txt opens right in any Notepad (UTF-8 with a byte order mark, CRLF
lines) and tells, Chinese first and English after, what a technician needs on
the first day, each program by the name the firewall's list shows (its
FileDescription) and whether the programs are signed.

    check_windows_zip.py ZIP OBJDUMP POINTER_SIZE [OSSLSIGNCODE CAFILE]
"""
import json
import os
import re
import subprocess
import sys
import tempfile
import zipfile

# Runtime DLLs of a dynamically linked MinGW build; none may be needed.
MINGW_RUNTIME = {"libstdc++-6.dll", "libgcc_s_seh-1.dll", "libgcc_s_dw2-1.dll",
                 "libwinpthread-1.dll"}
MACHINE = {"8": 0x8664, "4": 0x14C}  # IMAGE_FILE_MACHINE_AMD64, _I386


def is_signed(exe):
    """True when the PE's certificate table (data directory 4) is not empty."""
    pe = int.from_bytes(exe[0x3C:0x40], "little")
    optional = pe + 24
    directories = optional + (112 if exe[optional:optional + 2] == b"\x0b\x02" else 96)
    return int.from_bytes(exe[directories + 36:directories + 40], "little") > 0


def file_description(exe, name):
    """The version resource's FileDescription, or the file's name when it has
    none: what the firewall's list of programs shows."""
    key = "FileDescription\0".encode("utf-16-le")
    at = exe.find(key)
    if at < 0:
        return name
    at += len(key)
    at += -at % 4  # the value starts on a 32-bit boundary
    end = at
    while exe[end:end + 2] != b"\0\0":
        end += 2
    return exe[at:end].decode("utf-16-le")


def check_signature(name, path, signing, problems):
    if not signing:
        return
    osslsigncode, ca = signing
    verified = subprocess.run([osslsigncode, "verify", "-CAfile", ca, "-in", path],
                              capture_output=True, text=True)
    if verified.returncode != 0:
        problems.append(f"{name}: signature not verified by {ca}: {verified.stdout[-400:]}")


def check_program(name, exe, objdump, pointer_size, signing, problems):
    if exe[:2] != b"MZ":
        problems.append(f"{name} is not a Windows executable")
        return
    pe = int.from_bytes(exe[0x3C:0x40], "little")
    machine = int.from_bytes(exe[pe + 4:pe + 6], "little")
    if exe[pe:pe + 4] != b"PE\0\0" or machine != MACHINE[pointer_size]:
        problems.append(f"{name}: machine 0x{machine:x}, expected 0x{MACHINE[pointer_size]:x}")

    with tempfile.TemporaryDirectory() as folder:
        copy = os.path.join(folder, name)
        with open(copy, "wb") as f:
            f.write(exe)
        headers = subprocess.run([objdump, "-p", copy], capture_output=True, text=True).stdout
        check_signature(name, copy, signing, problems)
    if is_signed(exe) != bool(signing):
        problems.append(f"{name} is {'' if is_signed(exe) else 'not '}signed")
    dlls = {dll.lower() for dll in re.findall(r"DLL Name: (\S+)", headers)}
    if not dlls:
        problems.append(f"{name}: objdump listed no imported DLL at all")
    if dlls & MINGW_RUNTIME:
        problems.append(f"{name} needs MinGW runtime DLLs: {sorted(dlls & MINGW_RUNTIME)}")
    print(f"{name} imports:", " ".join(sorted(dlls)))
    check_resources(name, resources(exe), problems)


def resources(exe):
    """The resources of a PE file: {(type, id): bytes}, the first language of
    each; named (not numbered) resources are left out."""
    def u16(at):
        return int.from_bytes(exe[at:at + 2], "little")

    def u32(at):
        return int.from_bytes(exe[at:at + 4], "little")

    pe = u32(0x3C)
    optional = pe + 24
    directories = optional + (96 if u16(optional) == 0x10B else 112)  # PE32 or PE32+
    rsrc_rva = u32(directories + 2 * 8)  # the resource directory is the third
    section_table = optional + u16(pe + 20)
    for index in range(u16(pe + 6)):
        section = section_table + 40 * index
        address, raw = u32(section + 12), u32(section + 20)
        if address <= rsrc_rva < address + max(u32(section + 8), u32(section + 16)):
            break
    else:
        return {}
    root = raw + rsrc_rva - address

    def entries(offset):
        """(id, offset of the subdirectory or data entry) of a directory."""
        count = u16(root + offset + 12) + u16(root + offset + 14)
        for entry in range(root + offset + 16, root + offset + 16 + 8 * count, 8):
            if not u32(entry) & 0x80000000:
                yield u32(entry), u32(entry + 4) & 0x7FFFFFFF

    found = {}
    for kind, names in entries(0):
        for number, languages in entries(names):
            for _, data in entries(languages):
                start = raw + u32(root + data) - address
                found[(kind, number)] = exe[start:start + u32(root + data + 4)]
                break
    return found


RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 14, 16, 24
ICON_SIZES = {16, 32, 48, 256}  # at least; 256 is written as 0
MANIFEST_SETTINGS = ['level="asInvoker"', ">true</longPathAware>",
                     "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # Windows 7
                     "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # 8
                     "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # 8.1
                     "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"]  # 10 and 11
VERSION_TEXTS = ["ProductName", "采集器程序升级工具", "LegalCopyright",
                 "Copyright © 2026 the Collector Upgrade developers"]


def check_resources(name, found, problems):
    groups = [data for (kind, _), data in found.items() if kind == RT_GROUP_ICON]
    if not groups:
        problems.append(f"{name} has no icon")
    for group in groups:
        count = int.from_bytes(group[4:6], "little")
        sizes = {group[6 + 14 * i] or 256 for i in range(count)}
        if not ICON_SIZES <= sizes:
            problems.append(f"{name}'s icon holds {sorted(sizes)}, not all of {sorted(ICON_SIZES)}")
    manifest = found.get((RT_MANIFEST, 1), b"").decode("utf-8", errors="replace")
    for setting in MANIFEST_SETTINGS:
        if setting not in manifest:
            problems.append(f"{name}'s manifest lacks {setting}")
    version = found.get((RT_VERSION, 1), b"")
    for text in VERSION_TEXTS:
        if text.encode("utf-16-le") not in version:
            problems.append(f"{name}'s version resource lacks {text!r}")


# What README.txt must tell in each part: unpacking and unblocking the zip
# first, the first start (SmartScreen, and the firewall on a collector
# network, which is unidentified and so public; the prompt's rules deleted
# before the allow rule is added), the installer, which zip fits Windows on
# ARM, restoring a quarantined program after checking its SHA-256, the
# screenshot, and collector-fleet.exe's exit statuses; and whether the
# programs are signed.
COMMON_PARTS = ["delete rule name=", "msiexec /i", "ARM", "certutil -hashfile", "SHA256SUMS"]
README_PARTS = {"Chinese": ["更多信息", "仍要运行", "专用网络", "公用网络", "未识别的网络",
                            "允许其他应用", "入站", "解除锁定", "先解压", "隔离"] + COMMON_PARTS,
                "English": ["More info", "Run anyway", "Private networks", "Public networks",
                            "Unidentified network", "Allow another app", "inbound UDP rule",
                            "Unblock", "unpack the zip before", "quarantine"] + COMMON_PARTS}
SIGNED_PARTS = {True: {"Chinese": "程序带有数字签名", "English": "The programs are signed"},
                False: {"Chinese": "没有数字签名", "English": "are not signed"}}


def check_readme(raw, names, signed, problems):
    if not raw.startswith(b"\xef\xbb\xbf") or raw.count(b"\n") != raw.count(b"\r\n"):
        problems.append("README.txt is not UTF-8 with a byte order mark and CRLF lines")
    chinese, _, english = raw.decode("utf-8-sig", errors="replace").partition("ENGLISH")
    for part, body in (("Chinese", chinese), ("English", english)):
        for word in README_PARTS[part] + names + [SIGNED_PARTS[signed][part],
                                                   "docs\\screenshot-win32.png"]:
            if word not in body:
                problems.append(f"README.txt's {part} part does not mention {word!r}")
        statuses = re.findall(r"^\s+(\d+)\s{2,}", body, re.MULTILINE)
        if statuses != ["0", "3", "1", "2", "130"]:
            problems.append(f"README.txt's {part} part lists exit statuses {statuses}")
        if SIGNED_PARTS[not signed][part] in body or "{signed}" in body or "{unsigned}" in body:
            problems.append(f"README.txt's {part} part keeps the text of the other signing")


SCHEMA = "docs/report.schema.json"


def check_schema(raw, problems):
    schema = json.loads(raw.decode("utf-8"))
    if (schema.get("$schema") != "https://json-schema.org/draft/2020-12/schema"
            or schema.get("properties", {}).get("schema_version", {}).get("const") != 1):
        problems.append(f"{SCHEMA} is not the report's schema of version 1")


def main(path, objdump, pointer_size, osslsigncode=None, ca=None):
    signing = (osslsigncode, ca) if ca else None
    problems = []
    programs = ["CollectorUpgrade.exe", "CollectorFleetWindow.exe", "collector-fleet.exe"]
    with zipfile.ZipFile(path) as archive:
        names = [n for n in archive.namelist() if not n.endswith("/")]
        stem = os.path.basename(path)[:-len(".zip")]
        expected = {f"{stem}/{p}" for p in programs}
        expected |= {f"{stem}/README.txt", f"{stem}/docs/screenshot-win32.png",
                     f"{stem}/{SCHEMA}"}
        if set(names) != expected:
            problems.append(f"entries {sorted(names)}, expected {sorted(expected)}")
        executables = {p: archive.read(f"{stem}/{p}") for p in programs
                       if f"{stem}/{p}" in names}
        readme = archive.read(f"{stem}/README.txt") if f"{stem}/README.txt" in names else b""
        shot = f"{stem}/docs/screenshot-win32.png"
        picture = archive.read(shot) if shot in names else b""
        schema = archive.read(f"{stem}/{SCHEMA}") if f"{stem}/{SCHEMA}" in names else b"{}"
    check_schema(schema, problems)
    names = [file_description(exe, name) for name, exe in executables.items()]
    print("firewall names:", ", ".join(names))
    check_readme(readme, names, bool(signing), problems)
    if not picture.startswith(b"\x89PNG\r\n\x1a\n"):
        problems.append("docs/screenshot-win32.png is not a PNG picture")
    for name, exe in executables.items():
        check_program(name, exe, objdump, pointer_size, signing, problems)
    return problems


if __name__ == "__main__":
    found = main(*sys.argv[1:6])
    for problem in found:
        print("FAIL:", problem)
    sys.exit(1 if found else 0)
