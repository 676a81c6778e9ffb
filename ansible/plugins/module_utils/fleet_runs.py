# -*- coding: utf-8 -*-
# One upgrade at a time on an adapter, and the report of an earlier run that
# the controller may never have received (its connection dropped while the
# program went on). Plain functions, tested without Ansible.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

import errno
import fcntl
import json
import os
import re
import time


def adapter_lock_path(report_path, params):
    """The lock file beside the report, one per adapter."""
    adapter = params.get("interface") or params.get("address") or "default"
    safe = re.sub(r"[^A-Za-z0-9_.-]", "_", adapter)
    return os.path.join(os.path.dirname(os.path.abspath(report_path)),
                        ".collector-fleet-%s.lock" % safe)


def hold_adapter_lock(path, timeout, create=True, sleep=time.sleep):
    """Waits up to `timeout` seconds for the adapter's lock and returns its
    open file, held until the file is closed or the process ends. None when
    another run held it all that time. Without `create` (check mode) a
    missing lock file means nobody runs and nothing is created: returns ""."""
    try:
        fd = os.open(path, os.O_RDWR | os.O_CREAT if create else os.O_RDONLY, 0o640)
    except OSError as error:
        if error.errno == errno.ENOENT and not create:
            return ""
        raise
    lock = fcntl.LOCK_EX if create else fcntl.LOCK_SH
    deadline = time.monotonic() + timeout
    while True:
        try:
            fcntl.flock(fd, lock | fcntl.LOCK_NB)
            return os.fdopen(fd, "r+" if create else "r")
        except OSError as error:
            if error.errno not in (errno.EAGAIN, errno.EACCES):
                os.close(fd)
                raise
        if time.monotonic() >= deadline:
            os.close(fd)
            return None
        sleep(1)


def run_marker_path(report_path):
    return report_path + ".run"


def previous_run(report_path, run_id):
    """{"run_id", "report"} of the last run that wrote this report, when it
    was another run than this one; None otherwise."""
    try:
        with open(run_marker_path(report_path), encoding="utf-8") as f:
            previous_id = f.read().strip()
        with open(report_path, encoding="utf-8") as f:
            report = json.load(f)
    except (OSError, ValueError):
        return None
    if not previous_id or previous_id == run_id or not isinstance(report, dict):
        return None
    return {"run_id": previous_id, "report": report}


def mark_run(report_path, run_id):
    """Records which run writes the report next."""
    with open(run_marker_path(report_path), "w", encoding="utf-8") as f:
        f.write(run_id + "\n")
