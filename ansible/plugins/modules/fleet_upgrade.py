#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright 2026 the Collector Upgrade developers.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: fleet_upgrade
short_description: Upgrade the collectors of one site with collector-fleet
description:
  - Runs C(collector-fleet upgrade) on the site host and returns its report as data.
  - The task is changed only when a collector took the image, and fails when the program's exit
    status says so (anything but 0, done, or 3, nothing to do).
  - In check mode the program sweeps and plans (C(--dry-run)) and sends no upgrade; changed then
    says whether a collector would be upgraded, and the task fails when a target would not be
    (refused "V", not found, in conflict, another serial at its address).
options:
  command:
    description: Path or name of the collector-fleet program on the site host.
    type: str
    default: collector-fleet
  image:
    description: Firmware image on the site host; its name begins with S.
    type: path
    required: true
  image_sha256:
    description: SHA-256 of the image (64 hex digits, either case). When set, an image with another
      digest is refused before anything is sent (exit status 2).
    type: str
  interface:
    description: Adapter to work on, by name. Mutually exclusive with O(address).
    type: str
  address:
    description: Adapter to work on, by its IPv4 address. Mutually exclusive with O(interface).
    type: str
  all:
    description: Every collector the sweep finds. Name the collectors one way only.
    type: bool
  targets:
    description: Collector IPv4 addresses, each optionally as C(IP=SERIAL) to upgrade it only while
      that serial answers there.
    type: list
    elements: str
  target_file:
    description: File on the site host with one IP a line, or the CSV that discover writes (each IP
      then pinned to its serial; another collector answering there is left alone).
    type: path
  exclude:
    description: Collector IPv4 addresses left alone.
    type: list
    elements: str
    default: []
  canary:
    description: Collectors upgraded and verified first (0 for none); the program's default when unset.
    type: int
  parallel:
    description: Sessions at once; the program's default (all) when unset.
    type: int
  max_failures:
    description: Start no new session once this many have failed.
    type: int
  verify_timeout:
    description: Seconds to wait for a collector's new version after it completed.
    type: int
  verify:
    description: Probe the version again after completion.
    type: bool
    default: true
  sweeps:
    description: Sweeps of the subnet, replies merged.
    type: int
  wait_ms:
    description: Milliseconds to wait for replies after a sweep.
    type: int
  report:
    description: Where the program also writes its JSON report on the site host. Removed before the run, so
      a report found afterwards is this run's.
    type: path
attributes:
  check_mode:
    description: Can run in check mode and then says which collectors would be upgraded.
    support: full
    details: Runs the program with C(--dry-run).
author:
  - the Collector Upgrade developers (!UNKNOWN)
"""

EXAMPLES = r"""
- name: Upgrade every collector of the site, one canary first
  fieldcollector.fleet.fleet_upgrade:
    command: /usr/bin/collector-fleet
    image: /var/lib/collector-fleet/S1.2.bin
    image_sha256: 9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08
    interface: eth1
    all: true
    verify_timeout: 120
    report: /var/lib/collector-fleet/report.json
  register: site_upgrade
"""

RETURN = r"""
rc:
  description: Exit status of collector-fleet.
  returned: always
  type: int
report:
  description: The program's report (tool, adapter, image, times, exit_status, and collectors, each
    with ip, serial, versions, plan, outcome, reason, stage).
  returned: when the program printed one
  type: dict
counts:
  description: Collectors per outcome.
  returned: always
  type: dict
summary:
  description: "One line, for example C(3 collectors: 2 upgraded, 1 refused (E80))."
  returned: always
  type: str
"""

import os

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.fieldcollector.fleet.plugins.module_utils.fleet_cli import (
    outcome_counts, parse_json, summary_text, target_choice_error, upgrade_argv,
    upgrade_result)


def main():
    module = AnsibleModule(
        argument_spec=dict(
            command=dict(type="str", default="collector-fleet"),
            image=dict(type="path", required=True),
            image_sha256=dict(type="str"),
            interface=dict(type="str"),
            address=dict(type="str"),
            all=dict(type="bool"),
            targets=dict(type="list", elements="str"),
            target_file=dict(type="path"),
            exclude=dict(type="list", elements="str", default=[]),
            canary=dict(type="int"),
            parallel=dict(type="int"),
            max_failures=dict(type="int"),
            verify_timeout=dict(type="int"),
            verify=dict(type="bool", default=True),
            sweeps=dict(type="int"),
            wait_ms=dict(type="int"),
            report=dict(type="path"),
        ),
        mutually_exclusive=[("interface", "address")],
        supports_check_mode=True,
    )
    params = module.params
    why = target_choice_error(params)
    if why:
        module.fail_json(msg=why)
    command = module.get_bin_path(params["command"]) if "/" not in params["command"] \
        else params["command"]
    if not command or not os.access(command, os.X_OK):
        module.fail_json(msg="collector-fleet is not installed here: %s" % params["command"])
    if not os.path.isfile(params["image"]):
        module.fail_json(msg="no firmware image at %s" % params["image"])
    if params["report"] and os.path.exists(params["report"]):
        os.unlink(params["report"])

    argv = upgrade_argv(command, params, module.check_mode)
    rc, out, err = module.run_command(argv)
    report = parse_json(out)
    result = upgrade_result(rc, report, module.check_mode)
    result.update(rc=rc, cmd=argv, stderr=err, counts=outcome_counts(report),
                  summary=summary_text(report))
    if report is not None:
        result["report"] = report
    if result.pop("failed"):
        module.fail_json(**result)
    module.exit_json(**result)


if __name__ == "__main__":
    main()
