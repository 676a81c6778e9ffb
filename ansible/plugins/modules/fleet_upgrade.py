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
  - The task is changed when any collector received blocks, also in a session that then failed or
    was interrupted (its flash may have been written). Exit status 3 (nothing to do) is a success.
    Which outcomes fail the task is chosen by O(fail_on); usage errors, an unconfirmed run, no
    collector found and no report always fail it. The program's exit status is returned as
    RV(fleet_exit_status), not as C(rc).
  - In check mode the program still sweeps the subnet (a broadcast probe, which changes no
    collector) and plans from the image's file name and O(image_sha256), so the image need not be on
    the host yet; it sends no upgrade and the module creates, copies and deletes no file on the
    host, the last real report included. changed then says whether a collector would be upgraded.
  - One collector-fleet at a time runs on a host (its ports 8000 and 23 are the host's, whatever
    the adapter); a run started while another holds the host's lock (O(lock_file)) waits up to
    O(lock_timeout) seconds for it. Run as an C(async) task, the program goes on and writes its
    report when the connection to the controller drops; the next run returns that report in
    RV(previous_runs).
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
  trusted_keys:
    description: Public keys (PEM) on the site host trusted to sign the image, besides those in
      C(/etc/collector-upgrade/trusted-keys/). The image's signature file C(IMAGE.sig) beside it is
      checked before anything is sent; a signature by an unknown key, or one that does not match
      the image, fails the site (exit status 2).
    type: list
    elements: path
    default: []
  require_signature:
    description: Refuse an image without a signature by a trusted key, also where the site's
      C(policy) file does not ask for one (exit status 2, nothing sent).
    type: bool
    default: false
  interface:
    description: Adapter to work on, by name. Mutually exclusive with O(address).
    type: str
  address:
    description: Adapter to work on, by its IPv4 address. Mutually exclusive with O(interface).
    type: str
  interfaces:
    description: More adapters to work on in the same run, by name, each /24 swept from its own
      adapter, with one report; V(all) takes every adapter that is up with an IPv4 address that is
      neither loopback nor self-assigned (virtual ones only when named as well). Two adapters on
      one /24 are refused. Mutually exclusive with O(address).
    type: list
    elements: str
  subnets:
    description: Routed subnets (CIDR, /24 or wider) to sweep as well, each /24 from the adapter
      whose route leads there; at most 16 /24s a run. Nothing is sent outside them and the
      adapters' own /24s.
    type: list
    elements: str
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
    description: Sweeps of the subnet at least (more while new collectors answer), replies merged.
    type: int
  wait_ms:
    description: Milliseconds to wait for replies after a sweep.
    type: int
  report:
    description: Where the program also writes its JSON report on the site host (not in check
      mode); its directory is created when missing.
    type: path
  run_id:
    description: Names this run. With O(report) named C(<run_id>.json) in a directory of the site's
      own, every other C(*.json) there is an earlier run's report that the controller may never
      have received, returned in RV(previous_runs); whoever keeps a report moves it out of there.
    type: str
    default: ""
  lock_file:
    description: The host's lock, held while the program runs; one file for every run on the host.
      In check mode it is not created.
    type: path
    default: /run/lock/collector-fleet.lock
  lock_timeout:
    description: Seconds to wait for another collector-fleet on the same host to end.
    type: int
    default: 3600
  expected:
    description: The collectors the run expects, passed as C(--expect) in a file of one line each
      (serials, C(IP=SERIAL) lines or the CSV that discover writes). Each one that does not answer
      the sweep is reported C(not_found); the report's head counts expected, found and missing.
    type: list
    elements: str
    default: []
  fail_on:
    description: Outcomes or reason codes (as the report names them) that fail the task when any
      collector ends with one. C(refused) and C(already_current) are left out by default; a site
      whose canary did not end upgraded (C(not_started), C(canary_not_upgraded)) fails, whatever
      the canary's own outcome. A word that is neither an outcome nor a reason code fails the
      task, naming the words there are.
    type: list
    elements: str
    default: [not_verified, failed, interrupted, conflict, not_started, not_found, canary_not_upgraded, serial_mismatch]
attributes:
  check_mode:
    description: Can run in check mode and then says which collectors would be upgraded.
    support: full
    details: Sweeps and plans with C(--dry-run --image-name); nothing is sent to a collector but
      the sweep's probe and nothing on the host changes.
  diff_mode:
    description: Shows each collector's version before and after.
    support: full
    details: Each collector's version before and after (or as planned).
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
fleet_exit_status:
  description: Exit status of collector-fleet (0 done, 1 not everything upgraded, 2 usage, 3 nothing
    to do, 4 not confirmed, 130 interrupted).
  returned: always
  type: int
  sample: 3
report:
  description: The program's report (tool, adapter, image, times, exit_status, and collectors, each
    with ip, serial, versions, plan, outcome, reason, stage, blocks_sent).
  returned: when the program printed one
  type: dict
  sample: {"exit_status": 0, "started": "2026-12-07T15:00:00Z", "ended": "2026-12-07T15:01:10Z",
           "collectors": [{"ip": "10.0.0.5", "serial": "SN5", "version_before": "S1.00",
                           "version_after": "S2.00", "outcome": "upgraded", "reason": ""}]}
counts:
  description: Collectors per outcome.
  returned: always
  type: dict
  sample: {"upgraded": 3, "refused": 1}
summary:
  description: "One line, for example C(3 collectors: 2 upgraded, 1 refused (E80))."
  returned: always
  type: str
  sample: "4 collectors: 3 upgraded, 1 refused (E80)"
previous_runs:
  description: The reports that earlier runs left beside O(report), each with its run id (the file's
    name), oldest first; the controller may never have received them.
  returned: when there are some (not in check mode)
  type: list
  elements: dict
  sample: [{"run_id": "20261207T150000Z-4d2a", "report": {"exit_status": 0, "collectors": []}}]
previous_run:
  description: The newest of RV(previous_runs).
  returned: when there is one (not in check mode)
  type: dict
  sample: {"run_id": "20261207T150000Z-4d2a", "report": {"exit_status": 0, "collectors": []}}
error:
  description: The program's first error line, when it could not run (exit status 2, for example)
    or printed no report.
  returned: when the program failed so
  type: str
  sample: "collector-fleet: local port 8000 is already in use"
"""

import os

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.fieldcollector.fleet.plugins.module_utils.fleet_cli import (
    DEFAULT_FAIL_ON, fail_on_error, outcome_counts, parse_json, range_errors, summary_text,
    target_choice_error, upgrade_argv, upgrade_result, version_diff)
from ansible_collections.fieldcollector.fleet.plugins.module_utils.fleet_runs import (
    DEFAULT_LOCK_FILE, previous_runs, take_host_lock, write_expected)


def main():
    module = AnsibleModule(
        argument_spec=dict(
            command=dict(type="str", default="collector-fleet"),
            image=dict(type="path", required=True),
            image_sha256=dict(type="str"),
            trusted_keys=dict(type="list", elements="path", default=[], no_log=False),
            require_signature=dict(type="bool", default=False),
            interface=dict(type="str"),
            interfaces=dict(type="list", elements="str"),
            subnets=dict(type="list", elements="str"),
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
            run_id=dict(type="str", default=""),
            lock_file=dict(type="path", default=DEFAULT_LOCK_FILE),
            lock_timeout=dict(type="int", default=3600),
            expected=dict(type="list", elements="str", default=[]),
            fail_on=dict(type="list", elements="str", default=list(DEFAULT_FAIL_ON)),
        ),
        mutually_exclusive=[("interface", "address"), ("interfaces", "address")],
        required_by={"max_failures": "parallel"},
        supports_check_mode=True,
    )
    params = module.params
    why = target_choice_error(params) or "; ".join(range_errors(params)) or \
        fail_on_error(params["fail_on"])
    if module.check_mode and not params["image_sha256"]:
        why = why or "check mode plans from the image's name and needs image_sha256"
    if why:
        module.fail_json(msg=why)
    command = module.get_bin_path(params["command"]) if "/" not in params["command"] \
        else params["command"]
    if not command or not os.access(command, os.X_OK):
        module.fail_json(msg="collector-fleet is not installed here: %s" % params["command"])
    if not module.check_mode and not os.path.isfile(params["image"]):
        module.fail_json(msg="no firmware image at %s" % params["image"])

    result = {}
    report_path = params["report"]
    lock = take_host_lock(module, params)
    if report_path and not module.check_mode:
        try:
            os.makedirs(os.path.dirname(os.path.abspath(report_path)), exist_ok=True)
        except OSError as error:
            module.fail_json(msg="cannot create the report's directory: %s" % error)
        if params["run_id"] and os.path.basename(report_path) == params["run_id"] + ".json":
            earlier = previous_runs(report_path, params["run_id"])
            if earlier:
                result.update(previous_runs=earlier, previous_run=earlier[-1])

    argv = upgrade_argv(command, params, module.check_mode,
                        write_expected(module.tmpdir, params["expected"]))
    rc, out, err = module.run_command(argv)
    if lock:
        lock.close()
    report = parse_json(out)
    result.update(upgrade_result(rc, report, module.check_mode, params["fail_on"], err))
    result.update(cmd=argv, stderr=err, counts=outcome_counts(report),
                  summary=summary_text(report))
    if report is not None:
        result["report"] = report
        if module._diff:
            image_version = (report.get("image") or {}).get("version")
            result["diff"] = version_diff(report, module.check_mode, image_version)
    if result["failed"]:
        module.fail_json(**result)
    module.exit_json(**result)


if __name__ == "__main__":
    main()
