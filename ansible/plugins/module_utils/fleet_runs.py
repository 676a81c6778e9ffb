# -*- coding: utf-8 -*-
# One collector-fleet at a time on a host, and the reports of earlier runs
# that the controller may never have received (its connection dropped while
# the program went on). Plain functions, tested without Ansible.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

import errno
import fcntl
import json
import os
import time

# The ports 8000 and 23 belong to the whole host, whatever adapter a run
# names: one lock file for the host. /run/lock is writable by every user.
DEFAULT_LOCK_FILE = "/run/lock/collector-fleet.lock"


def hold_host_lock(path, timeout, create=True, sleep=time.sleep):
    """Waits up to `timeout` seconds for the host's lock and returns its open
    file, held until the file is closed or the process ends. None when
    another run held it all that time. Without `create` (check mode) a
    missing lock file means nobody runs and nothing is created: returns "".
    The file is opened for reading only (flock needs no more), so that
    runs as other users can take the lock of a file root created."""
    try:
        fd = os.open(path, os.O_RDONLY | os.O_CREAT if create else os.O_RDONLY, 0o644)
    except OSError as error:
        if error.errno == errno.ENOENT and not create:
            return ""
        raise
    deadline = time.monotonic() + timeout
    while True:
        try:
            fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
            return os.fdopen(fd, "r")
        except OSError as error:
            if error.errno not in (errno.EAGAIN, errno.EACCES):
                os.close(fd)
                raise
        if time.monotonic() >= deadline:
            os.close(fd)
            return None
        sleep(1)


def take_host_lock(module, params):
    """The host's lock for an Ansible module (params lock_file and
    lock_timeout), waited for; fails the task when it cannot be had."""
    try:
        lock = hold_host_lock(params["lock_file"], params["lock_timeout"],
                              create=not module.check_mode)
    except OSError as error:
        module.fail_json(msg="cannot open the host's lock %s: %s" % (params["lock_file"], error))
    if lock is None:
        module.fail_json(msg="another collector-fleet on this host still runs after %d s (%s)"
                         % (params["lock_timeout"], params["lock_file"]))
    return lock


def previous_runs(report_path, run_id):
    """The reports that earlier runs left beside this run's report, each
    {"run_id", "report"}, oldest first by name: a run's report is named
    <run id>.json in a directory of the site's own, and the playbook moves
    it out once the controller has it, so what is left never came home. A
    report that is not JSON comes as {} (the merge calls it unreadable).
    Read while the host's lock is held, so none of them is being written."""
    directory = os.path.dirname(os.path.abspath(report_path))
    own = os.path.basename(report_path)
    try:
        names = sorted(os.listdir(directory))
    except OSError:
        return []
    runs = []
    for name in names:
        if not name.endswith(".json") or name == own:
            continue
        try:
            with open(os.path.join(directory, name), encoding="utf-8") as f:
                report = json.load(f)
        except (OSError, ValueError):
            report = {}
        runs.append({"run_id": name[:-len(".json")],
                     "report": report if isinstance(report, dict) else {}})
    return runs


def write_expected(directory, lines):
    """Writes the expected list (serials, IP=SERIAL lines or a discover CSV,
    one line each, as given) for --expect into `directory` and returns its
    path; None when the list is empty."""
    if not lines:
        return None
    path = os.path.join(directory, "expected.txt")
    with open(path, "w", encoding="utf-8") as f:
        f.write("".join("%s\n" % line for line in lines))
    return path
