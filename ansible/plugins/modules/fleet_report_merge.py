#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright 2026 the Collector Upgrade developers.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: fleet_report_merge
short_description: Merge the reports of many sites into one JSON and one CSV file
description:
  - Reads every C(<site>.json) report that collector-fleet wrote and the controller fetched, and
    writes one merged JSON document (schema_version, a run header, estate and per-site counts per
    outcome, sites and collectors), one CSV file (run_id, image_version, site, collector, serial,
    version_before, version_after, outcome, reason, ended) and, when O(html_path) is set, one
    self-contained HTML page. Run it on the controller.
  - A site without a report is C(unreachable) when it is in O(reached) (its batch ran) and
    C(not_run) otherwise; a report without an end time is C(incomplete).
  - A file C(<site>.failed) or C(<site>.unreachable) in O(reports_dir), whose first line is the
    reason, records a step that failed before the site's report came home (discovery, the program
    ending with exit status 2, the report not fetched, the site host not reached). The site then has
    that status and reason, whatever else is there.
  - A site whose report counts expected collectors (C(--expect)) shows C(expected), C(found) and
    C(missing).
  - The files are replaced atomically, so it can run after every site of a batch. changed says
    whether the merged JSON document changed.
options:
  reports_dir:
    description: Directory of the fetched per-site reports, one C(<site>.json) each.
    type: path
    required: true
  sites:
    description: Sites expected; those without a report are listed as C(unreachable) or C(not_run).
      Unset, the sites of the merged JSON file already there.
    type: list
    elements: str
    default: []
  reached:
    description: Sites whose batch ran. Unset, those of the merged JSON file already there (when
      O(sites) is unset too), else every site.
    type: list
    elements: str
  run:
    description: The run's header, kept as given (id, dry_run, started, ended, and image with name
      and sha256); the image's version is added from the reports. Unset, the header of the merged
      JSON file already there.
    type: dict
    default: {}
  fail_on:
    description: Outcomes or reason codes that make a site C(failed), as in fleet_upgrade. A word
      that is neither fails the task, naming the words there are.
    type: list
    elements: str
    default: [not_verified, failed, interrupted, conflict, not_started, not_found, canary_not_upgraded, serial_mismatch]
  json_path:
    description: The merged JSON file.
    type: path
    required: true
  csv_path:
    description: The merged CSV file.
    type: path
    required: true
  html_path:
    description: The merged report as one HTML page.
    type: path
attributes:
  check_mode:
    description: Can run in check mode.
    support: full
    details: Writes nothing in check mode and returns the merged report. A playbook that keeps the
      plan of a check-mode run on the controller sets C(check_mode=false) on the task.
  diff_mode:
    description: Shows no difference.
    support: none
author:
  - the Collector Upgrade developers (!UNKNOWN)
"""

EXAMPLES = r"""
- name: Merge the reports of every site
  fieldcollector.fleet.fleet_report_merge:
    reports_dir: fleet-reports/20261207T150000Z-4d2a/sites
    sites: "{{ ansible_play_hosts_all }}"
    run:
      id: 20261207T150000Z-4d2a
      started: "2026-12-07T15:00:00Z"
      image: {name: S2.00.bin, sha256: 9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08}
    json_path: fleet-reports/20261207T150000Z-4d2a/merged.json
    csv_path: fleet-reports/20261207T150000Z-4d2a/merged.csv
    html_path: fleet-reports/20261207T150000Z-4d2a/merged.html
  delegate_to: localhost
"""

RETURN = r"""
merged:
  description: The merged report as written (schema_version, run, counts, sites, collectors).
  returned: always
  type: dict
  sample: {"schema_version": 1, "run": {"id": "20261207T150000Z-4d2a"}, "counts": {"upgraded": 3},
           "sites": [], "collectors": []}
sites:
  description: Per site its status (complete, failed, interrupted, incomplete, planned,
    unreachable, not_run, unreadable_report), counts per outcome, exit status, summary, why a
    failed or unreachable site is so (C(why)), and expected, found and missing when its report
    has them.
  returned: always
  type: list
  elements: dict
  sample: [{"site": "site1", "status": "complete", "counts": {"upgraded": 3}, "exit_status": 0,
            "summary": "site1: complete (exit 0): 3 collectors: 3 upgraded"}]
summary:
  description: One line per site.
  returned: always
  type: list
  elements: str
  sample: ["site1: complete (exit 0): 3 collectors: 3 upgraded", "site2: not run"]
site_lines:
  description: The summary line of each site, by site.
  returned: always
  type: dict
  sample: {"site1": "site1: complete (exit 0): 3 collectors: 3 upgraded"}
"""

import json

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.fieldcollector.fleet.plugins.module_utils.fleet_cli import (
    DEFAULT_FAIL_ON, fail_on_error)
from ansible_collections.fieldcollector.fleet.plugins.module_utils.fleet_html import estate_html
from ansible_collections.fieldcollector.fleet.plugins.module_utils.fleet_merge import (
    csv_text, merge, read_report, read_site_reports, read_site_steps, write_atomically)


def main():
    module = AnsibleModule(
        argument_spec=dict(
            reports_dir=dict(type="path", required=True),
            sites=dict(type="list", elements="str", default=[]),
            reached=dict(type="list", elements="str"),
            run=dict(type="dict", default={}),
            json_path=dict(type="path", required=True),
            csv_path=dict(type="path", required=True),
            html_path=dict(type="path"),
            fail_on=dict(type="list", elements="str", default=list(DEFAULT_FAIL_ON)),
        ),
        supports_check_mode=True,
    )
    params = module.params
    why = fail_on_error(params["fail_on"])
    if why:
        module.fail_json(msg=why)
    # Merged again later (a report that came home late), a run keeps its
    # header, its sites and which of them were reached.
    earlier = read_report(params["json_path"]) or {}
    earlier_sites = [s for s in earlier.get("sites") or [] if isinstance(s, dict)]
    sites = params["sites"] or [s.get("site") for s in earlier_sites]
    reached = params["reached"]
    if reached is None and not params["sites"] and earlier_sites:
        reached = [s.get("site") for s in earlier_sites if s.get("status") != "not_run"]
    merged = merge(read_site_reports(params["reports_dir"], sites), params["run"] or
                   earlier.get("run"), reached, params["fail_on"],
                   read_site_steps(params["reports_dir"]))
    document = json.dumps(merged, indent=2, ensure_ascii=False) + "\n"
    changed = read_report(params["json_path"]) != json.loads(document)
    if not module.check_mode:
        try:
            write_atomically(params["json_path"], document)
            write_atomically(params["csv_path"], csv_text(merged))
            if params["html_path"]:
                write_atomically(params["html_path"], estate_html(merged))
        except OSError as error:
            module.fail_json(msg="cannot write the merged report: %s" % error)
    summary = [site["summary"] for site in merged["sites"]]
    module.exit_json(changed=changed, merged=merged, sites=merged["sites"], summary=summary,
                     site_lines={site["site"]: site["summary"] for site in merged["sites"]})


if __name__ == "__main__":
    main()
