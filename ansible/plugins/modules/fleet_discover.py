#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright 2026 the Collector Upgrade developers.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: fleet_discover
short_description: List the collectors of one site with collector-fleet
description:
  - Runs C(collector-fleet discover) on the site host and returns the collectors it found, also as
    the fact C(fleet_collectors). Changes nothing, so it runs in check mode too (it still sweeps).
  - It waits for the host's lock (O(lock_file)) as M(fieldcollector.fleet.fleet_upgrade) does, since
    the sweep needs the host's ports 8000 and 23.
  - With O(expected), an expected collector that does not answer makes the program exit 1; the
    task then still succeeds with what was found and RV(complete) false.
options:
  command:
    description: Path or name of the collector-fleet program on the site host.
    type: str
    default: collector-fleet
  interface:
    description: Adapter to sweep, by name. Mutually exclusive with O(address).
    type: str
  address:
    description: Adapter to sweep, by its IPv4 address. Mutually exclusive with O(interface).
    type: str
  sweeps:
    description: Sweeps of the subnet at least (at least 1; more while new collectors answer), replies merged.
    type: int
  wait_ms:
    description: Milliseconds to wait for replies after a sweep.
    type: int
  expected:
    description: The collectors expected, passed as C(--expect) in a file of one line each (serials,
      C(IP=SERIAL) lines or the CSV that discover writes).
    type: list
    elements: str
    default: []
  lock_file:
    description: The host's lock, shared with M(fieldcollector.fleet.fleet_upgrade); not created in
      check mode.
    type: path
    default: /run/lock/collector-fleet.lock
  lock_timeout:
    description: Seconds to wait for another collector-fleet on the same host to end.
    type: int
    default: 3600
attributes:
  check_mode:
    description: Can run in check mode; it sweeps as in a real run.
    support: full
author:
  - the Collector Upgrade developers (!UNKNOWN)
"""

EXAMPLES = r"""
- name: List the site's collectors
  fieldcollector.fleet.fleet_discover:
    interface: eth1
  register: site_collectors
"""

RETURN = r"""
collectors:
  description: Each collector found, with ip, serial, version and conflict.
  returned: always
  type: list
  elements: dict
  sample: [{"ip": "10.0.0.5", "serial": "SN5", "version": "S1.00", "conflict": false}]
ansible_facts:
  description: The same list as the fact C(fleet_collectors).
  returned: success
  type: dict
  contains:
    fleet_collectors:
      description: Each collector found.
      type: list
      elements: dict
      returned: success
      sample: [{"ip": "10.0.0.5", "serial": "SN5", "version": "S1.00", "conflict": false}]
rc:
  description: Exit status of collector-fleet.
  returned: always
  type: int
  sample: 0
complete:
  description: Whether the sweep found every expected collector (exit status 0).
  returned: success
  type: bool
  sample: true
error:
  description: The program's first error line.
  returned: on failure, when the program printed one
  type: str
  sample: "collector-fleet: local port 23 is already in use"
"""

import os

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.fieldcollector.fleet.plugins.module_utils.fleet_cli import (
    discover_argv, discover_failure, error_line, error_text, parse_json)
from ansible_collections.fieldcollector.fleet.plugins.module_utils.fleet_runs import (
    DEFAULT_LOCK_FILE, take_host_lock, write_expected)


def main():
    module = AnsibleModule(
        argument_spec=dict(
            command=dict(type="str", default="collector-fleet"),
            interface=dict(type="str"),
            address=dict(type="str"),
            sweeps=dict(type="int"),
            wait_ms=dict(type="int"),
            expected=dict(type="list", elements="str", default=[]),
            lock_file=dict(type="path", default=DEFAULT_LOCK_FILE),
            lock_timeout=dict(type="int", default=3600),
        ),
        mutually_exclusive=[("interface", "address")],
        supports_check_mode=True,
    )
    params = module.params
    if (params["sweeps"] is not None and params["sweeps"] < 1) or \
            (params["wait_ms"] is not None and params["wait_ms"] < 0):
        module.fail_json(msg="sweeps must be at least 1 and wait_ms at least 0")
    command = module.get_bin_path(params["command"]) if "/" not in params["command"] \
        else params["command"]
    if not command or not os.access(command, os.X_OK):
        module.fail_json(msg="collector-fleet is not installed here: %s" % params["command"])
    lock = take_host_lock(module, params)
    argv = discover_argv(command, params, write_expected(module.tmpdir, params["expected"]))
    rc, out, err = module.run_command(argv)
    if lock:
        lock.close()
    collectors = parse_json(out)
    why = discover_failure(rc, collectors, bool(params["expected"]))
    if why:
        error = error_line(err)
        module.fail_json(msg="%s: %s" % (why, error_text(err)) if error else why, error=error,
                         rc=rc, cmd=argv, stderr=err, collectors=[])
    module.exit_json(changed=False, rc=rc, cmd=argv, collectors=collectors, complete=rc == 0,
                     ansible_facts={"fleet_collectors": collectors})


if __name__ == "__main__":
    main()
