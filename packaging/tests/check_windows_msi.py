#!/usr/bin/env python3
"""Installs, upgrades and uninstalls the Windows installer silently under
wine, in a fresh prefix of the package's architecture (win64 for the x64
package, win32 for the x86 one), from the installer that build_msi.py makes
of ZIP at its version and at the next patch version:

- `msiexec /i ... /qn`: the zip's files in Program Files, both Start-menu
  entries, one Add/Remove Programs entry with the publisher and the version;
- the next version over it: still one entry, of the new version;
- `msiexec /x ... /qn`: no file, registry key or Start-menu entry that the
  installation made is left.

wine's firewall does nothing, so the firewall's custom actions are checked
against the documentation instead: every netsh command the package runs,
with the installation folder filled in, stands in DOC as it is.

    check_windows_msi.py ZIP WINE_STATE DOC
"""
import os
import re
import subprocess
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "packaging", "windows"))
import build_msi  # noqa: E402

WINE_RUN = os.path.join(ROOT, "scripts", "wine-run.sh")
INSTALLED = r"C:\Program Files\CollectorUpgrade" + "\\"
START_MENU = "采集器程序升级工具"
SHORTCUTS = {"采集器程序升级工具.lnk": "CollectorUpgrade.exe",
             "采集器批量升级.lnk": "CollectorFleetWindow.exe"}
UNINSTALL = r"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"


def table(msi, name):
    lines = subprocess.run(["msiinfo", "export", msi, name], check=True, capture_output=True,
                           text=True).stdout.splitlines()
    columns = lines[0].split("\t")
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]


def firewall_problems(msi, doc):
    """The netsh commands of the package that DOC does not show verbatim."""
    files = {row["File"]: row["FileName"] for row in table(msi, "File")}
    with open(doc, encoding="utf-8") as f:
        text = f.read()
    problems = []
    # Type 50: the program a property names (NETSH), with these arguments.
    actions = [row for row in table(msi, "CustomAction") if int(row["Type"]) & 63 == 50]
    if len(actions) != 9:
        problems.append(f"{len(actions)} netsh actions, expected 9 (delete, add, remove x 3)")
    for row in actions:
        command = "netsh " + re.sub(r"\[#(\w+\.exe)\]", lambda m: INSTALLED + files[m.group(1)],
                                    row["Target"])
        if command not in text:
            problems.append(f"{row['Action']} runs `{command}`, which {doc} does not show")
    return problems


class Prefix:
    """A fresh wine prefix of one architecture, made by wine-run.sh in STATE."""

    def __init__(self, state, arch):
        self.state, self.arch = state, arch
        subprocess.run([WINE_RUN, "--end", state], check=True)

    def msiexec(self, action, msi):
        """msiexec ACTION MSI /qn; MSI by its path on wine's drive Z:."""
        package = "Z:" + os.path.abspath(msi).replace("/", "\\")
        done = subprocess.run([WINE_RUN, self.state, "msiexec", action, package, "/qn"],
                              env=dict(os.environ, WINE_ARCH=self.arch), capture_output=True)
        path = self.path()
        subprocess.run(["wineserver", "-w"], env=dict(os.environ, WINEPREFIX=path))
        return done.returncode

    def path(self):
        found = [entry for entry in os.listdir(self.state)
                 if entry.startswith(f"prefix-{self.arch}-")]
        return os.path.join(self.state, found[0])

    def files(self):
        """Every file and folder under drive_c, but wine's temporary ones."""
        found = set()
        root = os.path.join(self.path(), "drive_c")
        for folder, folders, names in os.walk(root):
            for name in folders + names:
                relative = os.path.relpath(os.path.join(folder, name), root)
                if not re.search(r"(^|/)(Temp|temp|Installer)(/|$)", relative):
                    found.add(relative)
        return found

    def keys(self):
        """{key: text of its values} of the machine's and the user's registry;
        keys without a value (containers that Windows Installer keeps) are
        left out."""
        found = {}
        for hive in ("system.reg", "user.reg"):
            with open(os.path.join(self.path(), hive), encoding="utf-8", errors="replace") as f:
                for section in f.read().split("\n\n["):
                    name, _, body = section.partition("]")
                    if re.search(r'^["@]', body, re.MULTILINE):
                        found[hive + ":" + name.lstrip("[")] = body
        return found


def decoded(text):
    """A wine registry value's text with its \\xNNNN escapes decoded."""
    return re.sub(r"\\x([0-9a-fA-F]{4})", lambda m: chr(int(m.group(1), 16)), text)


def uninstall_entries(prefix):
    return {key: decoded(body) for key, body in prefix.keys().items()
            if key.startswith("system.reg:" + UNINSTALL) and START_MENU in decoded(body)}


def installed_problems(prefix, stage, version):
    problems = []
    folder = os.path.join(prefix.path(), "drive_c", "Program Files", "CollectorUpgrade")
    for root, _, names in os.walk(stage):
        for name in names:
            relative = os.path.relpath(os.path.join(root, name), stage)
            with open(os.path.join(root, name), "rb") as a:
                expected = a.read()
            try:
                with open(os.path.join(folder, relative), "rb") as b:
                    if b.read() != expected:
                        problems.append(f"{relative} differs from the zip's")
            except FileNotFoundError:
                problems.append(f"{relative} is not installed")
    # wine's msi puts the entries in the user's Start menu, Windows in all users'.
    menus = [path for path in prefix.files()
             if path.endswith(os.path.join("Start Menu", "Programs", START_MENU))]
    links = {name: open(os.path.join(prefix.path(), "drive_c", menu, name), "rb").read()
             for menu in menus for name in os.listdir(os.path.join(prefix.path(), "drive_c", menu))}
    for name, target in SHORTCUTS.items():
        if target.encode("utf-16-le") not in links.get(name, b"") and \
                target.encode() not in links.get(name, b""):
            problems.append(f"no Start-menu entry {name} for {target} (found {sorted(links)})")
    entries = uninstall_entries(prefix)
    if len(entries) != 1:
        problems.append(f"{len(entries)} Add/Remove Programs entries, expected 1")
    for body in entries.values():
        for value in (f'"DisplayVersion"="{version}"', '"Publisher"="Field Collector Tools"',
                      f'"DisplayName"="{START_MENU}"'):
            if value not in body:
                problems.append(f"the Add/Remove Programs entry lacks {value}")
    return problems


def main(zip_path, state, doc):
    arch = "win64" if zip_path.endswith("-win64.zip") else "win32"
    version = re.search(r"-(\d+\.\d+\.\d+)-win", zip_path).group(1)
    major, minor, patch = version.split(".")
    newer = f"{major}.{minor}.{int(patch) + 1}"
    problems = []
    with tempfile.TemporaryDirectory() as folder:
        with zipfile.ZipFile(zip_path) as archive:
            archive.extractall(folder)
        stage = os.path.join(folder, os.path.basename(zip_path)[:-len(".zip")])
        first, second = os.path.join(folder, "first.msi"), os.path.join(folder, "second.msi")
        build_msi.build(zip_path, first)
        build_msi.build(zip_path, second, newer)
        problems += firewall_problems(first, doc)

        prefix = Prefix(state, arch)
        prefix.msiexec("/i", os.devnull)  # makes the prefix, installs nothing
        files, keys = prefix.files(), set(prefix.keys())
        for msi, at in ((first, version), (second, newer)):
            status = prefix.msiexec("/i", msi)
            if status != 0:
                problems.append(f"msiexec /i of version {at} exited {status}")
            problems += [f"version {at}: {p}" for p in installed_problems(prefix, stage, at)]
        status = prefix.msiexec("/x", second)
        if status != 0:
            problems.append(f"msiexec /x exited {status}")
        left = sorted(prefix.files() - files) + sorted(set(prefix.keys()) - keys)
        if left:
            problems.append(f"left behind after uninstalling: {left[:10]}")
        subprocess.run([WINE_RUN, "--end", state], check=True)
    return problems


if __name__ == "__main__":
    found = main(*sys.argv[1:4])
    for problem in found:
        print("FAIL:", problem)
    print(f"{len(found)} problems")
    sys.exit(1 if found else 0)
