"""The built Debian packages: their files and dependencies, lintian's
verdict, and what their maintainer scripts do to the system, run against
stand-ins for setcap and sysctl in a private mount namespace."""
import glob
import os
import subprocess
import tempfile
import textwrap
import unittest

PACKAGES = os.environ.get("PACKAGE_DIRECTORY", "build/packages")
APP_ID = "net.fieldcollector.CollectorUpgrade"
MIB = "1048576"


def deb(package):
    found = sorted(glob.glob(os.path.join(PACKAGES, package + "_*.deb")), key=os.path.getmtime)
    if not found:
        raise unittest.SkipTest(f"no {package} package in {PACKAGES} (cpack -G DEB builds it)")
    return found[-1]


def run(*argv, **kwargs):
    return subprocess.run(argv, capture_output=True, text=True, **kwargs)


def files_of(path):
    result = run("dpkg-deb", "-c", path)
    return {line.split()[-1].lstrip(".") for line in result.stdout.splitlines()
            if not line.startswith("d")}


def dirs_of(path):
    result = run("dpkg-deb", "-c", path)
    return {line.split()[-1].lstrip(".").rstrip("/") for line in result.stdout.splitlines()
            if line.startswith("d")}


class ContentsTest(unittest.TestCase):
    def test_program_package_installs_a_desktop_application(self):
        files = files_of(deb("collector-upgrade"))
        expected = {
            "/usr/bin/CollectorUpgrade",
            f"/usr/share/applications/{APP_ID}.desktop",
            f"/usr/share/metainfo/{APP_ID}.metainfo.xml",
            "/usr/lib/sysctl.d/60-collector-upgrade.conf",
            "/usr/share/doc/collector-upgrade/copyright",
            "/usr/share/doc/collector-upgrade/changelog.gz",
            "/usr/share/man/man1/CollectorUpgrade.1.gz",
        } | {f"/usr/share/icons/hicolor/{s}x{s}/apps/{APP_ID}.png" for s in (16, 32, 48, 256)}
        self.assertLessEqual(expected, files)
        self.assertEqual([f for f in files if not f.startswith("/usr/")], [])
        self.assertNotIn("/usr/bin/collector-emulator", files)

    def test_program_package_holds_the_fleet_window_beside_the_main_window(self):
        files = files_of(deb("collector-upgrade"))
        fleet_id = "net.fieldcollector.CollectorFleet"
        expected = {
            "/usr/bin/CollectorFleet",
            "/usr/share/man/man1/CollectorFleet.1.gz",
            f"/usr/share/applications/{fleet_id}.desktop",
            f"/usr/share/metainfo/{fleet_id}.metainfo.xml",
        } | {f"/usr/share/icons/hicolor/{s}x{s}/apps/{fleet_id}.png" for s in (16, 32, 48, 256)}
        self.assertLessEqual(expected, files)

    def test_emulator_is_a_package_of_its_own(self):
        files = files_of(deb("collector-emulator"))
        self.assertIn("/usr/bin/collector-emulator", files)
        self.assertIn("/usr/share/man/man1/collector-emulator.1.gz", files)
        self.assertNotIn("/usr/bin/CollectorUpgrade", files)

    def test_fleet_is_a_package_of_its_own_without_the_window(self):
        path = deb("collector-fleet")
        files = files_of(path)
        self.assertLessEqual({"/usr/bin/collector-fleet",
                              "/usr/share/man/man1/collector-fleet.1.gz",
                              "/usr/share/doc/collector-fleet/copyright",
                              "/usr/share/doc/collector-fleet/changelog.gz",
                              "/usr/share/collector-fleet/report.schema.json"}, files)
        self.assertNotIn("/usr/bin/CollectorUpgrade", files)
        self.assertIn("/etc/collector-upgrade/trusted-keys", dirs_of(path))
        depends = run("dpkg-deb", "-f", path, "Depends").stdout
        self.assertIn("libcap2-bin", depends)
        self.assertIn("libssl3", depends)  # SHA-256 and signatures through libcrypto
        self.assertNotIn("libqt6", depends)

    def test_dependencies_name_setcap_sysctl_and_the_shared_libraries(self):
        depends = run("dpkg-deb", "-f", deb("collector-upgrade"), "Depends").stdout
        names = {item.split()[0] for item in depends.replace("|", ",").split(",") if item.strip()}
        self.assertLessEqual({"libcap2-bin", "procps", "libc6", "libqt6widgets6"}, names)

    def test_lintian_finds_no_error(self):
        for package in ("collector-upgrade", "collector-emulator", "collector-fleet"):
            with self.subTest(package=package):
                result = run("lintian", "--no-tag-display-limit", deb(package))
                tags = [line for line in result.stdout.splitlines() if line[:2] in ("E:", "W:")]
                print("\n".join(tags))  # warnings stay visible in the test log
                self.assertEqual([t for t in tags if t.startswith("E:")], [], result.stdout)


FAKE_SYSCTL = """#!/bin/sh
# sysctl stand-in: values live in files named after their keys.
quiet=; write=
while [ $# -gt 0 ]; do
    case $1 in
    -n) shift; cat "$FAKE_STATE/$1"; exit 0 ;;
    -q) ;;
    -w) write=1 ;;
    *=*) [ -n "$write" ] && echo "${1#*=}" > "$FAKE_STATE/${1%%=*}"; exit 0 ;;
    esac
    shift
done
exit 1
"""

FAKE_SETCAP = """#!/bin/sh
echo "$@" >> "$FAKE_STATE/setcap-calls"
exit ${FAKE_SETCAP_STATUS:-0}
"""


@unittest.skipUnless(os.geteuid() == 0, "needs root for a private mount namespace")
class MaintainerScriptsTest(unittest.TestCase):
    """postinst and postrm from the package, each run in a mount namespace
    where a scratch folder stands in for /var/lib, with sysctl and setcap
    replaced by recording stand-ins on PATH."""

    def setUp(self):
        self.scratch = tempfile.TemporaryDirectory()
        root = self.scratch.name
        self.state = os.path.join(root, "state")
        self.varlib = os.path.join(root, "varlib")
        self.bin = os.path.join(root, "bin")
        self.control = os.path.join(root, "control")
        for folder in (self.state, self.varlib, self.bin):
            os.mkdir(folder)
        for name, text in (("sysctl", FAKE_SYSCTL), ("setcap", FAKE_SETCAP)):
            path = os.path.join(self.bin, name)
            with open(path, "w") as script:
                script.write(text)
            os.chmod(path, 0o755)
        self.assertEqual(run("dpkg-deb", "-e", deb("collector-upgrade"), self.control).returncode, 0)

    def tearDown(self):
        self.scratch.cleanup()

    def set_limits(self, rmem, wmem):
        for key, value in (("net.core.rmem_max", rmem), ("net.core.wmem_max", wmem)):
            with open(os.path.join(self.state, key), "w") as f:
                f.write(value + "\n")

    def limits(self):
        return tuple(open(os.path.join(self.state, key)).read().strip()
                     for key in ("net.core.rmem_max", "net.core.wmem_max"))

    def script(self, name, argument, setcap_status=0):
        command = textwrap.dedent(f"""\
            mount --bind '{self.varlib}' /var/lib
            exec sh '{self.control}/{name}' {argument}
            """)
        env = dict(os.environ, PATH=self.bin + ":" + os.environ["PATH"], FAKE_STATE=self.state,
                   FAKE_SETCAP_STATUS=str(setcap_status))
        return run("unshare", "--mount", "--propagation", "private", "sh", "-c", command, env=env)

    def test_install_gives_the_capability_and_raises_low_limits_removal_restores_them(self):
        self.set_limits("212992", "212992")
        self.assertEqual(self.script("postinst", "configure").returncode, 0)
        self.assertEqual(open(os.path.join(self.state, "setcap-calls")).read(),
                         "cap_net_bind_service=+ep /usr/bin/CollectorUpgrade\n")
        self.assertEqual(self.limits(), (MIB, MIB))
        self.assertEqual(self.script("postrm", "remove").returncode, 0)
        self.assertEqual(self.limits(), ("212992", "212992"))
        self.assertEqual(os.listdir(self.varlib), [])

    def test_higher_limits_are_never_lowered(self):
        self.set_limits("4194304", "524288")
        self.script("postinst", "configure")
        self.assertEqual(self.limits(), ("4194304", MIB))
        self.script("postrm", "purge")
        self.assertEqual(self.limits(), ("4194304", "524288"))

    def test_reconfiguring_keeps_the_limits_found_at_first_install(self):
        self.set_limits("212992", "212992")
        self.script("postinst", "configure")
        self.script("postinst", "configure")  # an upgrade or dpkg-reconfigure
        self.script("postrm", "remove")
        self.assertEqual(self.limits(), ("212992", "212992"))

    def test_a_limit_changed_since_installation_is_left_to_whoever_changed_it(self):
        self.set_limits("212992", "212992")
        self.script("postinst", "configure")
        with open(os.path.join(self.state, "net.core.rmem_max"), "w") as f:
            f.write("2097152\n")
        self.script("postrm", "remove")
        self.assertEqual(self.limits(), ("2097152", "212992"))

    def test_fleet_install_gives_its_program_the_capability_and_touches_no_limit(self):
        self.set_limits("212992", "212992")
        fleet_control = os.path.join(self.scratch.name, "fleet-control")
        self.assertEqual(run("dpkg-deb", "-e", deb("collector-fleet"), fleet_control).returncode, 0)
        self.control = fleet_control
        self.assertEqual(self.script("postinst", "configure").returncode, 0)
        self.assertEqual(open(os.path.join(self.state, "setcap-calls")).read(),
                         "cap_net_bind_service=+ep /usr/bin/collector-fleet\n")
        self.assertEqual(self.limits(), ("212992", "212992"))
        self.assertEqual(os.listdir(self.varlib), [])

    def test_a_failing_setcap_warns_without_failing_the_installation(self):
        self.set_limits(MIB, MIB)
        result = self.script("postinst", "configure", setcap_status=1)
        self.assertEqual(result.returncode, 0)
        self.assertIn("only root can bind port 23", result.stderr)


if __name__ == "__main__":
    unittest.main()
