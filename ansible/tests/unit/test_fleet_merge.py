import json
import os
import tempfile
import unittest

import collection_path  # noqa: F401  (makes the collection importable)
from ansible_collections.fieldcollector.fleet.plugins.module_utils import fleet_html as html
from ansible_collections.fieldcollector.fleet.plugins.module_utils import fleet_merge as merge
from ansible_collections.fieldcollector.fleet.plugins.module_utils import fleet_runs as runs

RUN = {"id": "r1", "started": "2026-12-07T14:59:00Z", "ended": None,
       "image": {"name": "S2.00.bin", "sha256": "ab" * 32}}


def site_report(exit_status, *collectors):
    return {"exit_status": exit_status, "started": "2026-12-07T15:00:00Z",
            "ended": "2026-12-07T15:01:00Z", "image": {"version": "S2.00"},
            "collectors": [dict(ip=ip, serial=serial, version_before="S1.00",
                                version_after=after, outcome=outcome, reason=reason)
                           for ip, serial, after, outcome, reason in collectors]}


class MergeSites(unittest.TestCase):
    def setUp(self):
        self.reports = {
            "north": site_report(0, ("10.0.0.10", "SN,1", "S2.00", "upgraded", "")),
            "south": site_report(1, ("10.0.0.10", "采集器7", "S2.00", "upgraded", ""),
                                 ("10.0.0.11", "SN9", None, "refused", "E80")),
            "east": None,
            "west": {},
        }

    def test_each_site_gets_a_status_counts_and_a_summary_line(self):
        self.reports["later"] = None
        self.reports["running"] = dict(site_report(0), ended=None)
        self.reports["strict"] = site_report(1, ("10.0.0.10", "SN2", None, "failed", "no_reply_query"))
        # A refused canary fails its site, which says why.
        canary = "the canary collector 10.0.0.10 (serial SN1) was not upgraded: refused, no flash"
        self.reports["gated"] = site_report(1, ("10.0.0.10", "SN1", None, "refused", "E80"),
                                            ("10.0.0.11", "SN2", None, "not_started",
                                             "canary_not_upgraded"))
        self.reports["gated"]["collectors"][1]["detail"] = "not started: " + canary
        merged = merge.merge(self.reports, RUN, reached=["east", "north", "south", "running"])
        self.assertEqual(merged["schema_version"], 1)
        self.assertEqual(merged["run"], dict(RUN, image=dict(RUN["image"], version="S2.00")))
        self.assertEqual([(s["site"], s["status"]) for s in merged["sites"]],
                         [("east", "unreachable"), ("gated", "failed"), ("later", "not_run"),
                          ("north", "complete"),
                          ("running", "incomplete"), ("south", "complete"),
                          ("strict", "failed"), ("west", "unreadable_report")])
        # A refused collector alone does not fail its site by default.
        self.assertTrue(merged["sites"][1]["summary"].endswith(
            "; 1 collector(s) not_started: " + canary), merged["sites"][1]["summary"])
        south = merged["sites"][5]
        self.assertEqual(south["counts"], {"upgraded": 1, "refused": 1})
        self.assertEqual(south["summary"],
                         "south: complete (exit 1): 2 collectors: 1 upgraded, 1 refused (E80)")
        self.assertEqual(merged["counts"],
                         {"upgraded": 2, "refused": 2, "failed": 1, "not_started": 1})
        self.assertEqual(merge.site_entry("x", site_report(130))["status"], "interrupted")
        self.assertEqual(merge.site_entry("x", dict(site_report(3), dry_run=True))["status"],
                         "planned")
        self.assertEqual(merge.site_status(self.reports["south"], fail_on=["refused"]), "failed")

    def test_csv_has_one_row_per_collector_with_its_site_quoted_where_needed(self):
        lines = merge.csv_text(merge.merge(self.reports, RUN)).splitlines()
        end = "2026-12-07T15:01:00Z"
        self.assertEqual(lines, [
            "run_id,image_version,site,collector,serial,version_before,version_after,outcome,"
            "reason,ended",
            'r1,S2.00,north,10.0.0.10,"SN,1",S1.00,S2.00,upgraded,,' + end,
            "r1,S2.00,south,10.0.0.10,采集器7,S1.00,S2.00,upgraded,," + end,
            "r1,S2.00,south,10.0.0.11,SN9,S1.00,,refused,E80," + end,
        ])

    def test_html_view_of_the_estate_escapes_what_the_reports_say(self):
        self.reports["north"]["collectors"][0]["serial"] = "<script>x</script>"
        page = html.estate_html(merge.merge(self.reports, dict(RUN, id='r"1')))
        self.assertIn("&lt;script&gt;x&lt;/script&gt;", page)
        self.assertNotIn("<script>x", page)
        self.assertIn("run</th><td>r&quot;1", page)
        self.assertIn('<td data-sort="167772170">10.0.0.10</td>', page)
        self.assertIn('title="upgraded: 2"', page)
        self.assertIn('<td class="bad">unreachable</td>', page)

    def test_csv_keeps_formula_like_cells_as_text(self):
        reports = {"x": site_report(1, ("10.0.0.10", "=HYPERLINK(1)", "+S2", "failed", "-x"),
                                    ("10.0.0.11", "@A1,B2", "\tS2", "failed", "\rx"))}
        lines = merge.csv_text(merge.merge(reports, {"id": "=r"})).split("\n")
        end = ",2026-12-07T15:01:00Z"
        self.assertEqual(lines[1], "'=r,S2.00,x,10.0.0.10,'=HYPERLINK(1),S1.00,'+S2,failed,'-x" + end)
        self.assertEqual(lines[2],
                         '\'=r,S2.00,x,10.0.0.11,"\'@A1,B2",S1.00,\'\tS2,failed,\'\rx' + end)

    def test_a_failed_step_fails_its_site_with_its_reason_and_counts_of_expected_show(self):
        with tempfile.TemporaryDirectory() as directory:
            for name, text in (("north.failed", "collector-fleet: port 23 held\nmore"),
                               ("east.unreachable", "ssh: connection refused\n"),
                               ("gone.failed", "Copy the firmware image: no space\n"),
                               ("west.unreachable", "x"), ("west.failed", "y"), ("x.json", "{}")):
                with open(os.path.join(directory, name), "w", encoding="utf-8") as f:
                    f.write(text)
            steps = merge.read_site_steps(directory)
        self.assertEqual(sorted(steps), ["east", "gone", "north", "west"])
        self.assertEqual(steps["west"], {"status": "failed", "reason": "y"})
        self.reports["south"].update(expected=3, found=2, missing=1)
        merged = merge.merge(self.reports, RUN, steps=steps)
        sites = {s["site"]: s for s in merged["sites"]}
        self.assertEqual({k: (v["status"], v.get("why")) for k, v in sites.items()}, {
            "east": ("unreachable", "ssh: connection refused"),
            "gone": ("failed", "Copy the firmware image: no space"),
            "north": ("failed", "collector-fleet: port 23 held"),
            "south": ("complete", None), "west": ("failed", "y")})
        self.assertEqual(sites["gone"]["summary"], "gone: failed: Copy the firmware image: no space")
        self.assertEqual((sites["south"]["expected"], sites["south"]["found"],
                          sites["south"]["missing"]), (3, 2, 1))
        self.assertTrue(sites["south"]["summary"].endswith("; expected 3, found 2, missing 1"))
        self.assertNotIn("expected", sites["north"])
        self.assertIn("<td>3</td><td>2</td><td>1</td>", html.estate_html(merged))
        # A site failed by its report says why too.
        strict = merge.site_entry("x", site_report(1, ("10.0.0.10", "SN2", None, "failed", "e")))
        self.assertEqual(strict["why"], "1 collector(s) failed")
        self.assertTrue(strict["summary"].endswith("; 1 collector(s) failed"))

    def test_reads_a_directory_of_reports_and_lists_expected_sites_without_one(self):
        with tempfile.TemporaryDirectory() as directory:
            with open(os.path.join(directory, "north.json"), "w", encoding="utf-8") as f:
                json.dump(self.reports["north"], f)
            with open(os.path.join(directory, "west.json"), "w", encoding="utf-8") as f:
                f.write("{ half a rep")
            reports = merge.read_site_reports(directory, ["north", "east"])
            self.assertEqual(reports, {"north": self.reports["north"], "west": {}, "east": None})

    def test_written_files_replace_the_old_ones_whole(self):
        with tempfile.TemporaryDirectory() as directory:
            path = os.path.join(directory, "out", "merged.csv")
            merge.write_atomically(path, "old")
            merge.write_atomically(path, "new")
            with open(path, encoding="utf-8") as f:
                self.assertEqual(f.read(), "new")
            self.assertEqual(os.listdir(os.path.dirname(path)), ["merged.csv"])


class HostRuns(unittest.TestCase):
    def test_one_run_holds_the_host_and_check_mode_creates_no_lock(self):
        with tempfile.TemporaryDirectory() as directory:
            path = os.path.join(directory, "collector-fleet.lock")
            self.assertEqual(runs.hold_host_lock(path, 5, create=False), "")
            self.assertFalse(os.path.exists(path))
            held = runs.hold_host_lock(path, 0)
            # flock locks belong to the open file: a second open of the same
            # file waits as another process would, here until its timeout.
            waits = []
            self.assertIsNone(runs.hold_host_lock(path, 0.05, sleep=waits.append))
            self.assertTrue(waits)
            held.close()
            with runs.hold_host_lock(path, 0, create=False) as again:
                self.assertIsNotNone(again)

    def test_reports_left_beside_this_runs_report_are_earlier_runs(self):
        with tempfile.TemporaryDirectory() as directory:
            own = os.path.join(directory, "r3.json")
            self.assertEqual(runs.previous_runs(own, "r3"), [])
            for name, text in (("r2.json", json.dumps(site_report(0))), ("r1.json", "{ half"),
                               ("r3.json", "{}"), ("r4.json.tmp", "{}")):
                with open(os.path.join(directory, name), "w", encoding="utf-8") as f:
                    f.write(text)
            self.assertEqual(runs.previous_runs(own, "r3"),
                             [{"run_id": "r1", "report": {}},
                              {"run_id": "r2", "report": site_report(0)}])


if __name__ == "__main__":
    unittest.main()
