#!/usr/bin/env python3
"""Builds the Windows installer of a Windows zip: an MSI made with Debian's
wixl from packaging/windows/installer.wxs, holding exactly the zip's files
(signed or not, README.txt as the zip has it).

    build_msi.py ZIP OUT.msi [--version X.Y.Z]

The zip's name gives the version and the architecture
(CollectorUpgrade-1.0.0-win64.zip: an x64 package into Program Files,
...-win32.zip: an x86 package); --version builds the same files as another
version (the upgrade test installs one over the other). With
COLLECTOR_SIGN_CERT and COLLECTOR_SIGN_KEY set, scripts/sign-windows.sh
signs the MSI too.

wixl writes non-ASCII text as empty strings, so the Chinese texts are
placeholders in the source; this script sets the database's code page to
936 and fills them in with msibuild, which stores them in that code page
(Windows Installer converts them to Unicode on any Windows).
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))

# One upgrade code per architecture: a new version of the same package
# replaces the old one, and the x86 and x64 packages never replace each other.
ARCHITECTURES = {
    "win64": {"Arch": "x64", "UpgradeCode": "40d04b6b-6e10-4b82-a5ea-67a06e2fcb43",
              "ProgramFiles": "ProgramFiles64Folder", "Win64": "yes",
              "SystemFolder": "System64Folder"},
    "win32": {"Arch": "x86", "UpgradeCode": "32dbba60-bbcf-47cd-81b8-e6dd9c8fa9cb",
              "ProgramFiles": "ProgramFilesFolder", "Win64": "no",
              "SystemFolder": "SystemFolder"},
}

# The three programs: the custom actions' names, the file's id in the
# package, and the firewall rule's name (the program's FileDescription, the
# name the firewall's own list shows).
PROGRAMS = [("UpgradeWindow", "CollectorUpgrade.exe", "采集器程序升级工具"),
            ("FleetWindow", "CollectorFleetWindow.exe", "采集器批量升级"),
            ("FleetCommand", "collector_fleet.exe", "采集器批量升级（命令行）")]


def firewall_commands():
    """The arguments of netsh of each custom action. Installing deletes every
    inbound rule of the program (the block rules that a cancelled firewall
    alert leaves win over any allow rule), then adds one inbound UDP allow
    rule on every profile; uninstalling deletes the program's inbound rules."""
    commands = {}
    for name, file_id, rule in PROGRAMS:
        program = f'program="[#{file_id}]"'
        delete = f"advfirewall firewall delete rule name=all dir=in {program}"
        commands[f"FirewallDelete{name}"] = delete
        commands[f"FirewallAdd{name}"] = (f'advfirewall firewall add rule name="{rule}" dir=in '
                                          f"action=allow protocol=UDP profile=any {program}")
        commands[f"FirewallRemove{name}"] = delete
    return commands


def texts():
    """Every @NAME@ placeholder of installer.wxs and its text."""
    found = {"PRODUCT": "采集器程序升级工具", "UPGRADE_WINDOW": "采集器程序升级工具",
             "FLEET_WINDOW": "采集器批量升级"}
    found.update(firewall_commands())
    return found


def run(*command, cwd=None):
    done = subprocess.run(command, capture_output=True, text=True, cwd=cwd)
    if done.returncode != 0:
        sys.exit(f"{command[0]} failed ({done.returncode}): {done.stderr.strip()}")
    return done.stdout


def fill_in_texts(msi, folder):
    """Sets the code page to 936 and replaces each @NAME@ in the tables that
    hold installer.wxs's texts."""
    codepage = os.path.join(folder, "_ForceCodepage.idt")
    with open(codepage, "w", newline="") as f:
        f.write("\r\n\r\n936\t_ForceCodepage\r\n")
    run("msibuild", msi, "-i", codepage)
    values = texts()
    used = set()
    for table in ("Property", "Directory", "Shortcut", "CustomAction"):
        lines = run("msiinfo", "export", msi, table).splitlines()
        columns, keys = lines[0].split("\t"), lines[2].split("\t")[1:]
        for line in filter(None, lines[3:]):
            row = dict(zip(columns, line.split("\t")))
            for column, value in row.items():
                filled = re.sub(r"@(\w+)@", lambda m: values[m.group(1)], value)
                if filled == value:
                    continue
                used.update(re.findall(r"@(\w+)@", value))
                where = " AND ".join(f"`{key}`='{row[key]}'" for key in keys)
                run("msibuild", msi, "-q",
                    f"UPDATE `{table}` SET `{column}`='{filled}' WHERE {where}")
    if used != set(values):
        sys.exit(f"placeholders never used in installer.wxs: {sorted(set(values) - used)}")


def build(zip_path, out, version=None):
    stem = os.path.basename(zip_path)[:-len(".zip")]
    match = re.fullmatch(r"CollectorUpgrade-(\d+\.\d+\.\d+)-(win64|win32)", stem)
    if not match:
        sys.exit(f"{zip_path}: not a CollectorUpgrade-<version>-win64|win32.zip")
    variables = dict(ARCHITECTURES[match.group(2)], Version=version or match.group(1))
    with tempfile.TemporaryDirectory() as folder:
        with zipfile.ZipFile(zip_path) as archive:
            archive.extractall(folder)
        icon = os.path.join(folder, "collector.ico")
        run(sys.executable, os.path.join(ROOT, "assets", "make_icon.py"), "--ico", icon)
        # wixl finds files only by paths relative to where it runs.
        variables.update(Stage=stem, Icon="collector.ico")
        msi = os.path.join(folder, "out", os.path.basename(out))
        os.mkdir(os.path.dirname(msi))
        defines = [part for name, value in variables.items() for part in ("-D", f"{name}={value}")]
        run("wixl", "-a", variables["Arch"], *defines, "-o", msi,
            os.path.join(HERE, "installer.wxs"), cwd=folder)
        fill_in_texts(msi, folder)
        if os.environ.get("COLLECTOR_SIGN_CERT") and os.environ.get("COLLECTOR_SIGN_KEY"):
            timestamp = [os.environ["COLLECTOR_SIGN_TIMESTAMP"]] \
                if os.environ.get("COLLECTOR_SIGN_TIMESTAMP") else []
            run(os.path.join(ROOT, "scripts", "sign-windows.sh"), os.environ["COLLECTOR_SIGN_CERT"],
                os.environ["COLLECTOR_SIGN_KEY"], *timestamp, "--folder", os.path.dirname(msi))
        os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
        shutil.copyfile(msi, out)
    print(f"wrote {out} ({variables['Arch']}, version {variables['Version']})")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("zip")
    parser.add_argument("out")
    parser.add_argument("--version")
    args = parser.parse_args()
    build(args.zip, args.out, args.version)


if __name__ == "__main__":
    main()
