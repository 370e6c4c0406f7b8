#!/usr/bin/env python3
"""Turns the UTF-8 progress page into its resource form.

Usage: make_page_resource.py IN.html OUT. The output is UTF-16LE without a
byte-order mark, with CR LF line ends and one closing NUL code unit, so the
program can use the locked resource in place as a terminated wide string.
"""
import sys


def convert(text):
    if text.startswith("\ufeff"):
        text = text[1:]
    if "\0" in text:
        raise ValueError("the page must not contain NUL characters")
    lines = text.replace("\r\n", "\n").replace("\r", "\n")
    return (lines.replace("\n", "\r\n") + "\0").encode("utf-16-le")


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    with open(argv[1], encoding="utf-8") as source:
        data = convert(source.read())
    with open(argv[2], "wb") as target:
        target.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
