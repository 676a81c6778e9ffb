#!/usr/bin/env python3
"""Checks collector-fleet reports against the report's JSON Schema.

    check_report.py SCHEMA REPORT...

Prints each violation with its place in the report and exits 1 when there is
any; 0 when every report is valid.
"""
import json
import sys

import jsonschema


def main(schema_path, *reports):
    with open(schema_path, encoding="utf-8") as f:
        schema = json.load(f)
    validator_class = jsonschema.validators.validator_for(schema)
    validator_class.check_schema(schema)
    validator = validator_class(schema)
    problems = 0
    for path in reports:
        with open(path, encoding="utf-8") as f:
            report = json.load(f)
        for error in validator.iter_errors(report):
            place = "/".join(str(part) for part in error.absolute_path) or "(top)"
            print(f"{path}: {place}: {error.message}")
            problems += 1
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
