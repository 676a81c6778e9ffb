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
    writes one merged JSON document (sites and collectors) and one CSV file (site, collector,
    serial, version_before, version_after, outcome, reason). Run it on the controller.
  - Both files are replaced atomically, so it can run after every site of a batch. It reports no
    change, since it only describes what the sites did.
options:
  reports_dir:
    description: Directory of the fetched per-site reports, one C(<site>.json) each.
    type: path
    required: true
  sites:
    description: Sites expected; those without a report are listed as C(no_report).
    type: list
    elements: str
    default: []
  json_path:
    description: The merged JSON file.
    type: path
    required: true
  csv_path:
    description: The merged CSV file.
    type: path
    required: true
attributes:
  check_mode:
    description: Can run in check mode.
    support: full
    details: Writes the files in check mode too; they describe the plan then.
author:
  - the Collector Upgrade developers (!UNKNOWN)
"""

EXAMPLES = r"""
- name: Merge the reports of every site
  fieldcollector.fleet.fleet_report_merge:
    reports_dir: fleet-reports/upgrade/sites
    sites: "{{ ansible_play_hosts_all }}"
    json_path: fleet-reports/upgrade/merged.json
    csv_path: fleet-reports/upgrade/merged.csv
  delegate_to: localhost
"""

RETURN = r"""
sites:
  description: Per site its status (complete, failed, interrupted, no_report), exit status and summary.
  returned: always
  type: list
  elements: dict
summary:
  description: One line per site.
  returned: always
  type: list
  elements: str
site_lines:
  description: The summary line of each site, by site.
  returned: always
  type: dict
"""

import json

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.fieldcollector.fleet.plugins.module_utils.fleet_merge import (
    csv_text, merge, read_site_reports, write_atomically)


def main():
    module = AnsibleModule(
        argument_spec=dict(
            reports_dir=dict(type="path", required=True),
            sites=dict(type="list", elements="str", default=[]),
            json_path=dict(type="path", required=True),
            csv_path=dict(type="path", required=True),
        ),
        supports_check_mode=True,
    )
    params = module.params
    merged = merge(read_site_reports(params["reports_dir"], params["sites"]))
    try:
        write_atomically(params["json_path"],
                         json.dumps(merged, indent=2, ensure_ascii=False) + "\n")
        write_atomically(params["csv_path"], csv_text(merged))
    except OSError as error:
        module.fail_json(msg="cannot write the merged report: %s" % error)
    summary = [site["summary"] for site in merged["sites"]]
    module.exit_json(changed=False, sites=merged["sites"], summary=summary,
                     site_lines={site["site"]: site["summary"] for site in merged["sites"]})


if __name__ == "__main__":
    main()
