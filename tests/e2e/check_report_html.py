#!/usr/bin/env python3
"""Checks a page of `collector-fleet upgrade --report-html`: it parses, its
collector table has the expected number of rows, and it refers to nothing
outside itself. Prints what is wrong and exits 1; prints the rows' IPs and
exits 0 when all is well.

usage: check_report_html.py FILE ROWS
"""
import re
import sys
from html.parser import HTMLParser

# A reference that leaves the file: a scheme or a network path.
OUTSIDE = re.compile(r"^\s*(https?:|//|ftp:|file:)", re.IGNORECASE)
CSS_OUTSIDE = re.compile(r"@import|url\s*\(", re.IGNORECASE)
SCRIPT_NETWORK = re.compile(r"fetch\s*\(|XMLHttpRequest|import\s*\(|WebSocket|\.src\s*=")


class ReportPage(HTMLParser):
    def __init__(self):
        super().__init__()
        self.problems, self.rows, self.stack = [], [], []
        self.in_table = False

    def handle_starttag(self, tag, attrs):
        self.stack.append(tag)
        for name, value in attrs:
            if name in ("src", "href", "action", "poster") and value and OUTSIDE.match(value):
                self.problems.append("<%s %s=%r> refers outside the file" % (tag, name, value))
            if name == "style" and value and CSS_OUTSIDE.search(value):
                self.problems.append("<%s style=%r> loads from elsewhere" % (tag, value))
        if tag in ("link", "iframe", "img", "object", "embed"):
            self.problems.append("<%s> element" % tag)
        if tag == "table" and ("id", "collectors") in attrs:
            self.in_table = True
        if tag == "tr" and self.in_table and "tbody" in self.stack:
            self.rows.append([])

    def handle_endtag(self, tag):
        while self.stack and self.stack.pop() != tag:
            pass
        if tag == "table":
            self.in_table = False

    def handle_data(self, data):
        inside = self.stack[-1] if self.stack else ""
        if inside == "style" and CSS_OUTSIDE.search(data):
            self.problems.append("<style> loads from elsewhere")
        if inside == "script" and SCRIPT_NETWORK.search(data):
            self.problems.append("<script> reaches the network")
        if inside == "td" and self.rows:
            self.rows[-1].append(data)


def main(path, rows):
    page = ReportPage()
    with open(path, encoding="utf-8") as f:
        page.feed(f.read())
    page.close()
    if len(page.rows) != rows:
        page.problems.append("%d collector rows, expected %d" % (len(page.rows), rows))
    if page.problems:
        print("\n".join(page.problems))
        return 1
    print(" ".join(row[0] for row in page.rows if row))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], int(sys.argv[2])))
