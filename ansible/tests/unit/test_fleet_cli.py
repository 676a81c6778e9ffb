import unittest

import collection_path  # noqa: F401  (makes the collection importable)
from ansible_collections.fieldcollector.fleet.plugins.module_utils import fleet_cli as cli

BASE = {"image": "/w/S1.2.bin", "all": True}


def report(*collectors, exit_status=0):
    return {"exit_status": exit_status, "collectors": list(collectors)}


class UpgradeCommandLine(unittest.TestCase):
    def test_unset_options_are_left_to_the_program_and_zero_is_not_unset(self):
        argv = cli.upgrade_argv("/usr/bin/collector-fleet", dict(BASE, canary=0), False)
        self.assertEqual(argv, ["/usr/bin/collector-fleet", "upgrade", "--image", "/w/S1.2.bin",
                                "--all", "--canary", "0", "--format", "json", "--progress",
                                "plain", "--yes"])

    def test_every_option_reaches_the_program(self):
        params = dict(image="/w/S1.2.bin", image_sha256="AB" * 32, interface="eth1",
                      interfaces=["eth2", "all"], subnets=["10.20.4.0/23"], targets=["10.0.0.5", "10.0.0.6=SN-6"],
                      exclude=["10.0.0.6"], parallel=4, max_failures=2, verify_timeout=120,
                      verify=False, sweeps=1, wait_ms=500, report="/w/report.json",
                      trusted_keys=["/k/a.pem", "/k/b.pem"], require_signature=True)
        argv = cli.upgrade_argv("cf", params, True, "/t/expected.txt")
        joined = " ".join(argv)
        for part in ("--image-sha256 " + "AB" * 32,
                     "--interface eth1 --interface eth2 --interface all --subnet 10.20.4.0/23",
                     "--sweeps 1 --wait 500", "--target 10.0.0.5 --target 10.0.0.6=SN-6",
                     "--exclude 10.0.0.6",
                     "--parallel 4", "--max-failures 2", "--verify-timeout 120", "--no-verify",
                     "--expect /t/expected.txt",
                     "--trusted-key /k/a.pem --trusted-key /k/b.pem", "--require-signature",
                     "--dry-run"):
            self.assertIn(part, joined)
        self.assertNotIn("--all", argv)
        real = " ".join(cli.upgrade_argv("cf", params, False))
        self.assertNotIn("--dry-run", real)
        self.assertIn("--image /w/S1.2.bin", real)
        self.assertIn("--report /w/report.json", real)

    def test_check_mode_names_the_image_and_writes_no_report_file(self):
        argv = cli.upgrade_argv("cf", dict(BASE, image_sha256="ab" * 32, report="/w/r.json"), True)
        self.assertIn("--image-name S1.2.bin --image-sha256 " + "ab" * 32, " ".join(argv))
        self.assertNotIn("--image", argv)
        self.assertNotIn("--report", argv)

    def test_numeric_options_out_of_range_are_named(self):
        self.assertEqual(cli.range_errors(dict(canary=0, parallel=1, verify_timeout=3600)), [])
        self.assertEqual(cli.range_errors(dict(parallel=0, verify_timeout=3601, wait_ms=-1)),
                         ["parallel must be at least 1, not 0",
                          "verify_timeout must be 1 to 3600, not 3601",
                          "wait_ms must be at least 0, not -1"])

    def test_fail_on_names_only_outcomes_and_reason_codes(self):
        self.assertIsNone(cli.fail_on_error(list(cli.DEFAULT_FAIL_ON) + ["refused", "E80"]))
        why = cli.fail_on_error(["failed", "broken", "E99"])
        self.assertTrue(why.startswith("fail_on names no outcome or reason code: broken, E99; "
                                       "the words are: E80, E81, "), why)

    def test_targets_are_named_exactly_one_way(self):
        self.assertIsNone(cli.target_choice_error({"targets": ["10.0.0.5"]}))
        self.assertIn("all, targets or target_file", cli.target_choice_error({"all": False}))
        self.assertIn("all and target_file",
                      cli.target_choice_error({"all": True, "target_file": "/w/t.csv"}))


class UpgradeResult(unittest.TestCase):
    upgraded = {"ip": "a", "plan": "upgrade", "outcome": "upgraded", "reason": ""}
    current = {"ip": "b", "plan": "already_current", "outcome": "already_current", "reason": ""}
    refused = {"ip": "c", "plan": "upgrade", "outcome": "refused", "reason": "E80"}

    def test_fail_on_decides_failure_and_blocks_sent_decide_change(self):
        sent = dict(self.upgraded, blocks_sent=3)
        cases = [
            (0, report(sent, self.current), False, True),
            # Nothing to do is a success, in check mode too.
            (3, report(self.current), False, False),
            # A refused collector is reported but fails nobody by default.
            (1, report(sent, self.refused, exit_status=1), False, True),
            (1, report(dict(self.refused, outcome="failed", reason="no_reply_query",
                            blocks_sent=2), exit_status=1), True, True),
            (1, report(dict(self.current, outcome="not_started", reason="serial_mismatch"),
                       exit_status=1), True, False),
            (1, report(dict(self.current, outcome="conflict"), exit_status=1), True, False),
            # Interrupted after sending blocks: its flash may have changed.
            (130, report(dict(sent, outcome="interrupted"), exit_status=130), True, True),
            (4, report(dict(self.current, outcome="not_started"), exit_status=4), True, False),
            (1, report(exit_status=1), True, False),  # no collector found
            (2, None, True, False),
        ]
        for rc, rep, failed, changed in cases:
            with self.subTest(rc=rc, report=rep):
                result = cli.upgrade_result(rc, rep, False)
                self.assertEqual((result["failed"], result["changed"]), (failed, changed))
                self.assertEqual(result["fleet_exit_status"], rc)
                self.assertNotIn("rc", result)
        strict = cli.upgrade_result(1, report(sent, self.refused, exit_status=1), False,
                                    ["refused"])
        self.assertTrue(strict["failed"])
        self.assertIn("fails the site: 1 collector(s) refused", strict["msg"])

    def test_a_collector_flashed_but_not_verified_is_a_change(self):
        rep = report(dict(self.upgraded, outcome="not_verified"), exit_status=1)
        self.assertTrue(cli.upgrade_result(1, rep, False)["changed"])

    def test_a_program_that_could_not_run_gives_its_first_error_line(self):
        err = "Sweeping 10.0.0.0/24\ncollector-fleet: local port 8000 is already in use\nmore\n"
        result = cli.upgrade_result(2, None, False, stderr=err)
        self.assertEqual(result["error"], "collector-fleet: local port 8000 is already in use")
        self.assertEqual(result["msg"], "collector-fleet usage error (exit status 2): "
                                        "collector-fleet: local port 8000 is already in use")
        # A run that reported speaks through its report, not its progress lines.
        failed = report(dict(self.upgraded, outcome="failed"), exit_status=1)
        self.assertNotIn("error", cli.upgrade_result(1, failed, False, stderr=err))
        self.assertEqual(cli.error_line("\n  oops \nnext"), "oops")
        self.assertEqual(cli.error_line(""), "")

    def test_failure_message_names_a_ports_holder_and_the_adapters_findings(self):
        held = ("collector-fleet: 本机端口 23 已被另一个程序占用\nlocal port 23 is already in use\n"
                "占用端口 23 的是：socat（进程号 42）\nport 23 is held by socat (pid 42)\n")
        self.assertTrue(cli.upgrade_result(2, None, False, stderr=held)["msg"].endswith(
            "\nport 23 is held by socat (pid 42)"))
        empty = ("Sweeping 10.0.0.0/24 from 10.0.0.1 (eth1)\ncollector-fleet: no collector answered"
                 " the sweep of 10.0.0.0/24 from eth1 (10.0.0.1/24). What the checks found (检查结果):"
                 "\n[正常 ok] 网卡 eth1\n    adapter eth1\n[问题 problem] 探测\n    probe round\n")
        result = cli.upgrade_result(1, report(exit_status=1), False, stderr=empty)
        self.assertTrue(result["failed"])
        self.assertTrue(result["msg"].endswith("\n[问题 problem] 探测\n    probe round"), result["msg"])

    def test_discovery_fails_unless_it_listed_or_only_an_expected_one_is_missing(self):
        found = [{"ip": "10.0.0.5", "serial": "SN5"}]
        cases = [(0, found, False, None), (0, [], False, None), (1, found, True, None),
                 (1, [], True, "failed (exit status 1)"), (1, found, False, "failed (exit status 1)"),
                 (2, None, True, "printed no list (exit status 2)")]
        for rc, listing, expected, why in cases:
            with self.subTest(rc=rc, listing=listing, expected=expected):
                failure = cli.discover_failure(rc, listing, expected)
                self.assertEqual(failure, why and "collector-fleet discover " + why)
        self.assertIn("--expect /t/e.txt --format json",
                      " ".join(cli.discover_argv("cf", {}, "/t/e.txt")))

    def test_success_without_a_report_is_a_failure(self):
        result = cli.upgrade_result(0, cli.parse_json("not json"), False)
        self.assertTrue(result["failed"])
        self.assertIn("no report", result["msg"])

    def test_check_mode_changes_when_the_plan_upgrades(self):
        planned = dict(self.upgraded, outcome="planned")
        self.assertTrue(cli.upgrade_result(0, report(planned, self.current), True)["changed"])
        self.assertFalse(cli.upgrade_result(3, report(self.current), True)["failed"])
        refused_v = dict(self.refused, plan="refused_v", reason="version_v")
        result = cli.upgrade_result(1, report(planned, refused_v, exit_status=1), True)
        self.assertEqual((result["failed"], result["changed"]), (False, True))

    def test_diff_shows_versions_before_and_after_or_as_planned(self):
        rep = report(dict(self.upgraded, serial="SN1", version_before="S1", version_after="S2"),
                     dict(self.refused, serial="SN2", version_before="S1", version_after=None))
        self.assertEqual(cli.version_diff(rep, False),
                         {"before": "a SN1: S1\nc SN2: S1\n", "after": "a SN1: S2\nc SN2: S1\n"})
        planned = report(dict(self.upgraded, serial="SN1", version_before="S1", version_after=None))
        self.assertEqual(cli.version_diff(planned, True, "S2")["after"], "a SN1: S2\n")

    def test_summary_counts_outcomes_with_the_reasons_of_bad_ones(self):
        rep = report(self.upgraded, dict(self.upgraded, ip="d"), self.refused,
                     dict(self.refused, ip="e", outcome="failed", reason="no_reply"))
        self.assertEqual(cli.summary_text(rep),
                         "4 collectors: 2 upgraded, 1 refused (E80), 1 failed (no_reply)")
        self.assertEqual(cli.summary_text(report()), "0 collectors")


if __name__ == "__main__":
    unittest.main()
