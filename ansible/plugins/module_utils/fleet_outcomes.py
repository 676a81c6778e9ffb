# -*- coding: utf-8 -*-
# The plans, outcomes and reason codes of collector-fleet's report, and the
# words that fail a site by default. Written from the program's own table
# (fleet/session/outcomes.cpp) by tools/fleet_outcomes/check_outcomes.py --write; the
# build's test fleet_outcome_lists fails when the two differ.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

PLANS = (
    "upgrade",
    "already_current",
    "refused_v",
    "not_in_subnet",
    "address_conflict",
    "not_found",
    "unexpected",
)

OUTCOMES = (
    "upgraded",
    "not_verified",
    "refused",
    "already_current",
    "failed",
    "interrupted",
    "conflict",
    "not_started",
    "planned",
    "in_progress",
    "not_found",
)

REASONS = (
    "E80",
    "E81",
    "no_reply_request",
    "bad_reply_request",
    "no_reply_query",
    "bad_reply_query",
    "pass_limit",
    "wrong_version",
    "timeout_verify",
    "interrupted",
    "canary_not_upgraded",
    "failure_limit",
    "not_in_subnet",
    "no_sweep_reply",
    "address_conflict",
    "serial_mismatch",
    "not_confirmed",
    "version_v",
    "version_not_s",
    "already_current",
    "unexpected",
    "serial_on_two_adapters",
)

# Outcomes or reason codes that fail a site unless fail_on says otherwise.
DEFAULT_FAIL_ON = (
    "not_verified",
    "failed",
    "interrupted",
    "conflict",
    "not_started",
    "not_found",
    "canary_not_upgraded",
    "serial_mismatch",
)
