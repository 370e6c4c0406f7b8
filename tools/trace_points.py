#!/usr/bin/env python3
"""Lists the trace points of the program and checks that each has a format
description.

A trace point is a call trace::Message(S::kName, F, args...) where S is a set
of named messages in diagnostics/trace_ids.h (an enum class followed by its
trace::MessageGuid specialisation), or trace::Message(G, N, F, args...) where
G names a constexpr GUID defined in the same source file and N is a literal
message number. A computed message (a variable declared with a set's type, or
a computed N) needs a comment "trace numbers: 23-29" just before the call. The
descriptions are the .tmf files below diagnostics/tmf, one per message GUID,
named after it; each named message must have one.

Exit status 1 when a trace point has no description, when its argument count
differs from the description's, when its GUID or number cannot be resolved, or
when a .tmf file is malformed.
"""

import argparse
import os
import re
import sys

SOURCE_FOLDERS = ["Src", "diagnostics", "platform", "verification", "msi", "ui"]
SOURCE_SUFFIXES = (".cc", ".h", ".cpp")
TRACE_IDS = os.path.join("diagnostics", "trace_ids.h")

GUID_VALUE = (r"\{\s*0x([0-9A-Fa-f]{1,8})\s*,\s*0x([0-9A-Fa-f]{1,4})\s*,"
              r"\s*0x([0-9A-Fa-f]{1,4})\s*,\s*\{([^}]*)\}\s*\}")
GUID_CONSTANT = re.compile(r"constexpr\s+GUID\s+(\w+)\s*=\s*" + GUID_VALUE)
MESSAGE_SET = re.compile(r"enum\s+class\s+(\w+)\s*:\s*USHORT\s*\{([^}]*)\}")
ENUMERATOR = re.compile(r"(\w+)\s*=\s*(\d+)")
SET_GUID = re.compile(r"MessageGuid\s*<\s*(\w+)\s*>\s*\{[^{]*?constexpr\s+GUID\s+value\s*=\s*"
                      + GUID_VALUE)
NAMED = re.compile(r"^(\w+)\s*::\s*(\w+)$")
CALL = re.compile(r"\btrace\s*::\s*Message\s*\(")
NUMBERS_NOTE = re.compile(r"trace numbers?:\s*(\d+(?:\s*(?:-|to|,)\s*\d+)*)", re.IGNORECASE)
NUMBER_RANGE = re.compile(r"(\d+)(?:\s*(?:-|to)\s*(\d+))?")
TMF_GUID_LINE = re.compile(r"^([0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12})\s+\S+")
TMF_MESSAGE = re.compile(r'^#typev\s+\S+\s+(\d+)\s+"(.*)"')
TMF_ITEM = re.compile(r"^\s*(\w+)\s*,\s*(Item\w+)\s*--\s*(\d+)\s*$")
TMF_REFERENCE = re.compile(r"%(\d+)!")


def blank_comments(text):
    """The text with comments replaced by blanks (line breaks kept), so that
    positions and line numbers still match; strings are kept."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            end = text.find("\n", i)
            end = n if end < 0 else end
            out.append(" " * (end - i))
            i = end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            out.append(re.sub(r"[^\n]", " ", text[i:end]))
            i = end
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            out.append(text[i:j + 1])
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


def call_arguments(text, start):
    """The top-level arguments of the call whose "(" is at start - 1."""
    args, depth, current, i = [], 0, [], start
    while i < len(text):
        c = text[i]
        if c in "\"'":
            j = i + 1
            while j < len(text) and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            current.append(text[i:j + 1])
            i = j + 1
            continue
        if c in "([{":
            depth += 1
        elif c in ")]}":
            if depth == 0:
                args.append("".join(current).strip())
                return args
            depth -= 1
        elif c == "," and depth == 0:
            args.append("".join(current).strip())
            current = []
            i += 1
            continue
        current.append(c)
        i += 1
    return None


def guid_text(data1, data2, data3, data4):
    tail = [int(b, 16) for b in re.findall(r"0x([0-9A-Fa-f]{1,2})", data4)]
    if len(tail) != 8:
        return None
    return "%08x-%04x-%04x-%02x%02x-%s" % (
        int(data1, 16), int(data2, 16), int(data3, 16), tail[0], tail[1],
        "".join("%02x" % b for b in tail[2:]))


def read_message_sets(root):
    """({set name: (guid, {enumerator: number})}, [errors]) from trace_ids.h."""
    path = os.path.join(root, TRACE_IDS)
    if not os.path.exists(path):
        return {}, []
    with open(path, encoding="utf-8") as f:
        code = blank_comments(f.read())
    guids = {m.group(1): guid_text(*m.group(2, 3, 4, 5)) for m in SET_GUID.finditer(code)}
    sets, errors = {}, []
    for m in MESSAGE_SET.finditer(code):
        if m.group(1) not in guids:
            errors.append("%s: %s has no message GUID" % (TRACE_IDS, m.group(1)))
            continue
        sets[m.group(1)] = (guids[m.group(1)], {k: int(n) for k, n in ENUMERATOR.findall(m.group(2))})
    return sets, errors


def parse_number(text):
    try:
        return int(text.rstrip("uUlL"), 0)
    except ValueError:
        return None


def noted_numbers(lines, line):
    """The numbers of a "trace numbers: A-B, C" comment on the call's line or the one before."""
    note = NUMBERS_NOTE.search("\n".join(lines[max(0, line - 2):line]))
    if not note:
        return None
    return [n for first, last in NUMBER_RANGE.findall(note.group(1))
            for n in range(int(first), int(last or first) + 1)]


def find_trace_points(root, sets):
    """([(guid, number, argument count, "file:line")], [errors])"""
    points, errors = [], []
    for folder in SOURCE_FOLDERS:
        for directory, _, files in os.walk(os.path.join(root, folder)):
            for name in sorted(files):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                path = os.path.join(directory, name)
                with open(path, encoding="utf-8", errors="replace") as f:
                    original = f.read()
                code = blank_comments(original)
                constants = {m.group(1): guid_text(*m.group(2, 3, 4, 5))
                             for m in GUID_CONSTANT.finditer(code)}
                lines = original.split("\n")
                for m in CALL.finditer(code):
                    line = code.count("\n", 0, m.start()) + 1
                    where = "%s:%d" % (os.path.relpath(path, root), line)
                    args = call_arguments(code, m.end())
                    if args is None or len(args) < 2:
                        errors.append("%s: cannot read the trace call" % where)
                        continue
                    named = NAMED.match(args[0])
                    declared = re.findall(r"\b(\w+)\s+%s\b" % re.escape(args[0]), code[:m.start()])
                    declared = [t for t in declared if t in sets]
                    if named and named.group(1) in sets:
                        guid, enumerators = sets[named.group(1)]
                        if named.group(2) not in enumerators:
                            errors.append("%s: %s is not a message of trace_ids.h" % (where, args[0]))
                            continue
                        numbers, fixed = [enumerators[named.group(2)]], 2
                    elif declared:
                        guid, fixed = sets[declared[-1]][0], 2
                        numbers = noted_numbers(lines, line)
                    elif args[0] in constants and len(args) >= 3:
                        guid, fixed = constants[args[0]], 3
                        number = parse_number(args[1])
                        numbers = [number] if number is not None else noted_numbers(lines, line)
                    else:
                        errors.append("%s: %s is neither a message of trace_ids.h nor a GUID "
                                      "constant of this file" % (where, args[0]))
                        continue
                    if numbers is None:
                        errors.append("%s: the message is computed; add a comment "
                                      "\"trace numbers: A-B\"" % where)
                        continue
                    for n in numbers:
                        points.append((guid, n, len(args) - fixed, where))
    return points, errors


def read_descriptions(folder):
    """({(guid, number): argument count}, [errors])"""
    descriptions, errors = {}, []
    if not os.path.isdir(folder):
        return descriptions, ["no format descriptions in %s" % folder]
    for name in sorted(os.listdir(folder)):
        if not name.endswith(".tmf"):
            continue
        path = os.path.join(folder, name)
        with open(path, encoding="utf-8") as f:
            lines = [l.rstrip("\r\n") for l in f]
        guid, message, items = None, None, None

        def close(where):
            refs = {int(r) for r in TMF_REFERENCE.findall(message[1])}
            indices = sorted(items)
            if indices != list(range(10, 10 + len(indices))):
                errors.append("%s: items of message %d are not numbered from 10" % (where, message[0]))
            elif refs != set(indices):
                errors.append("%s: message %d refers to %s but lists %s"
                              % (where, message[0], sorted(refs), indices))
            key = (guid, message[0])
            if key in descriptions:
                errors.append("%s: message %d described twice" % (where, message[0]))
            descriptions[key] = len(indices)

        for number, line in enumerate(lines, 1):
            where = "%s:%d" % (name, number)
            if line.startswith("//") or not line.strip():
                continue
            if guid is None:
                m = TMF_GUID_LINE.match(line)
                if not m:
                    errors.append("%s: expected the message GUID line" % where)
                    break
                guid = m.group(1)
                if name != guid + ".tmf":
                    errors.append("%s: file is not named after its GUID %s" % (where, guid))
                continue
            m = TMF_MESSAGE.match(line)
            if m and message is None:
                message, items = (int(m.group(1)), m.group(2)), None
            elif line.strip() == "{" and message is not None and items is None:
                items = []
            elif line.strip() == "}" and items is not None:
                close(where)
                message, items = None, None
            elif items is not None and TMF_ITEM.match(line):
                items.append(int(TMF_ITEM.match(line).group(3)))
            else:
                errors.append("%s: unexpected line: %s" % (where, line))
        if message is not None:
            errors.append("%s: message %d not closed" % (name, message[0]))
    return descriptions, errors


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--root", default=os.path.dirname(here), help="repository root")
    parser.add_argument("--tmf", help="folder of the .tmf files (default: ROOT/diagnostics/tmf)")
    parser.add_argument("--list", action="store_true", help="print every (GUID, number) found")
    options = parser.parse_args(argv)
    tmf = options.tmf or os.path.join(options.root, "diagnostics", "tmf")

    sets, errors = read_message_sets(options.root)
    points, point_errors = find_trace_points(options.root, sets)
    descriptions, tmf_errors = read_descriptions(tmf)
    errors += point_errors + tmf_errors
    for name, (guid, enumerators) in sorted(sets.items()):
        for enumerator, number in sorted(enumerators.items()):
            if (guid, number) not in descriptions:
                errors.append("%s: %s::%s {%s} %d has no description"
                              % (TRACE_IDS, name, enumerator, guid, number))
    for guid, number, count, where in points:
        described = descriptions.get((guid, number))
        if options.list:
            print("{%s} %d %s" % (guid, number, where))
        if described is None:
            errors.append("%s: trace message {%s} %d has no description" % (where, guid, number))
        elif described != count:
            errors.append("%s: trace message {%s} %d carries %d arguments, its description %d"
                          % (where, guid, number, count, described))
    for error in errors:
        print(error, file=sys.stderr)
    print("%d trace points, %d descriptions, %d problems"
          % (len(points), len(descriptions), len(errors)))
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
