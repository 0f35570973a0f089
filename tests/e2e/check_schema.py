"""Checks a document of cardlift --json against the published schema.

Usage: check_schema.py <schema> <document>. Prints each violation with where
it is and exits 1 when there is any; run with Debian's python3, whose
python3-jsonschema ./test.sh installs.
"""
import json
import sys

from jsonschema import Draft202012Validator


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        schema = json.load(f)
    Draft202012Validator.check_schema(schema)
    with open(sys.argv[2], encoding="utf-8") as f:
        document = json.load(f)
    errors = sorted(Draft202012Validator(schema).iter_errors(document), key=lambda e: list(e.absolute_path))
    for error in errors:
        where = "/".join(str(part) for part in error.absolute_path) or "(the document)"
        print(f"{where}: {error.message}")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
