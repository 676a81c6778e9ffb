import json
import os
import tempfile
import unittest

import collection_path  # noqa: F401  (makes the collection importable)
from ansible_collections.fieldcollector.fleet.plugins.module_utils import fleet_merge as merge


def site_report(exit_status, *collectors):
    return {"exit_status": exit_status, "started": "2026-12-07T15:00:00Z",
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

    def test_each_site_gets_a_status_and_a_summary_line(self):
        merged = merge.merge(self.reports)
        self.assertEqual([(s["site"], s["status"]) for s in merged["sites"]],
                         [("east", "no_report"), ("north", "complete"), ("south", "failed"),
                          ("west", "unreadable_report")])
        self.assertEqual(merged["sites"][2]["summary"],
                         "south: failed (exit 1): 2 collectors: 1 upgraded, 1 refused (E80)")
        self.assertEqual(merge.site_entry("x", site_report(130))["status"], "interrupted")
        self.assertEqual(merge.site_entry("x", dict(site_report(3), dry_run=True))["status"],
                         "planned")

    def test_csv_has_one_row_per_collector_with_its_site_quoted_where_needed(self):
        lines = merge.csv_text(merge.merge(self.reports)).splitlines()
        self.assertEqual(lines, [
            "site,collector,serial,version_before,version_after,outcome,reason",
            'north,10.0.0.10,"SN,1",S1.00,S2.00,upgraded,',
            "south,10.0.0.10,采集器7,S1.00,S2.00,upgraded,",
            "south,10.0.0.11,SN9,S1.00,,refused,E80",
        ])

    def test_csv_keeps_formula_like_cells_as_text(self):
        reports = {"x": site_report(1, ("10.0.0.10", "=HYPERLINK(1)", "+S2", "failed", "-x"),
                                    ("10.0.0.11", "@A1,B2", "\tS2", "failed", "\rx"))}
        lines = merge.csv_text(merge.merge(reports)).split("\n")
        self.assertEqual(lines[1], "x,10.0.0.10,'=HYPERLINK(1),S1.00,'+S2,failed,'-x")
        self.assertEqual(lines[2], 'x,10.0.0.11,"\'@A1,B2",S1.00,\'\tS2,failed,\'\rx')

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


if __name__ == "__main__":
    unittest.main()
