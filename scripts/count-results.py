#!/usr/bin/env python3
"""Adds up the GoogleTest XML reports and extra result lines into one closing line.

Usage: count-results.py REPORT_DIR
Every *.xml below REPORT_DIR is a GoogleTest report; every *.result file holds lines
"pass NAME" or "fail NAME" from checks that are not GoogleTest programs (fuzz smoke, a report
that never got written). Prints the failures, then "N passed, N failed".
"""
import pathlib
import re
import sys
import xml.etree.ElementTree as ET


def read_report(path):
    """Parses a report whose failure messages may quote bytes that are no valid XML text."""
    text = path.read_bytes().decode("utf-8", errors="replace")
    text = re.sub(r"&#x?0*(?:[0-8bcef]|1[0-9a-f]|x[0-8bcef]|x1[0-9a-f]);", "?", text)
    text = re.sub(r"[\x00-\x08\x0b\x0c\x0e-\x1f]", "?", text)
    text = re.sub(r"^<\?xml[^>]*\?>", "", text)
    return ET.ElementTree(ET.fromstring(text))

root = pathlib.Path(sys.argv[1])
passed = failed = skipped = 0
failures = []
for report in sorted(root.rglob("*.xml")):
    tier = report.parent.name
    try:
        tree = read_report(report)
    except ET.ParseError as error:
        failed += 1
        failures.append(f"{tier}: unreadable report {report.name}: {error}")
        continue
    for case in tree.iter("testcase"):
        name = f"{tier}: {case.get('classname')}.{case.get('name')}"
        if case.find("failure") is not None or case.find("error") is not None:
            failed += 1
            failures.append(name)
        elif case.find("skipped") is not None or case.get("result") == "skipped":
            skipped += 1
        elif case.get("status", "run") == "run":
            passed += 1
for result in sorted(root.rglob("*.result")):
    for line in result.read_text().splitlines():
        verdict, _, name = line.partition(" ")
        if verdict == "pass":
            passed += 1
        elif verdict == "fail":
            failed += 1
            failures.append(f"{result.stem}: {name}")
for name in failures:
    print(f"FAILED  {name}")
line = f"{passed} passed, {failed} failed"
if skipped:
    line += f", {skipped} skipped"
print(line)
sys.exit(1 if failed else 0)
