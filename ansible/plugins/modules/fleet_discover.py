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
"""

import os

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.fieldcollector.fleet.plugins.module_utils.fleet_cli import (
    discover_argv, parse_json)


def main():
    module = AnsibleModule(
        argument_spec=dict(
            command=dict(type="str", default="collector-fleet"),
            interface=dict(type="str"),
            address=dict(type="str"),
            sweeps=dict(type="int"),
            wait_ms=dict(type="int"),
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
    argv = discover_argv(command, params)
    rc, out, err = module.run_command(argv)
    collectors = parse_json(out)
    if rc != 0 or not isinstance(collectors, list):
        module.fail_json(msg="collector-fleet discover failed (exit status %d): %s"
                         % (rc, err.strip()), rc=rc, cmd=argv, stderr=err, collectors=[])
    module.exit_json(changed=False, rc=rc, cmd=argv, collectors=collectors,
                     ansible_facts={"fleet_collectors": collectors})


if __name__ == "__main__":
    main()
