#!/usr/bin/env python3
"""Tests of trace_points.py on small made-up trees."""

import io
import os
import sys
import tempfile
import unittest
from contextlib import redirect_stderr, redirect_stdout

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import trace_points  # noqa: E402

GUID = "0a1b2c3d-0001-4002-8003-000000000004"
CONSTANT = ("constexpr GUID kTraceGuid = {0x0A1B2C3D, 0x0001, 0x4002, "
            "{0x80, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04}};\n")
TMF = """// test
%s BastionSetup // SRC=x MJ= MN=
#typev x10 10 "%%0Starting" //   LEVEL=TRACE_LEVEL_INFORMATION FLAGS=kSteps FUNC=F
{
}
#typev x11 11 "%%0code %%10!u! for %%11!s!" //   LEVEL=TRACE_LEVEL_INFORMATION FLAGS=kSteps FUNC=F
{
code, ItemULong -- 10
path, ItemWString -- 11
}
""" % GUID
HEADER = """enum class StartTrace : USHORT {
  kStarting = 10,  // comment
  kCode = 11,
};
template <>
struct trace::MessageGuid<StartTrace> {
  static %s};
""" % CONSTANT.replace("kTraceGuid", "value")


class TracePointsTest(unittest.TestCase):
    def run_on(self, source, tmf=TMF, tmf_name=GUID + ".tmf", header=None):
        with tempfile.TemporaryDirectory() as root:
            os.makedirs(os.path.join(root, "Src"))
            os.makedirs(os.path.join(root, "diagnostics", "tmf"))
            if header is not None:
                with open(os.path.join(root, "diagnostics", "trace_ids.h"), "w") as f:
                    f.write(header)
            with open(os.path.join(root, "Src", "a.cc"), "w") as f:
                f.write(source)
            with open(os.path.join(root, "diagnostics", "tmf", tmf_name), "w", newline="\r\n") as f:
                f.write(tmf)
            out, err = io.StringIO(), io.StringIO()
            with redirect_stdout(out), redirect_stderr(err):
                status = trace_points.main(["--root", root, "--list"])
            return status, out.getvalue(), err.getvalue()

    def test_described_points_pass(self):
        status, out, err = self.run_on(
            CONSTANT + "void F() {\n  trace::Message(kTraceGuid, 10, trace::kSteps);\n"
            "  trace::Message(kTraceGuid, 11,\n      trace::kSteps, Code(a, b), L\"x,(\");\n}\n")
        self.assertEqual(status, 0, err)
        self.assertIn("{%s} 10 Src/a.cc:3" % GUID, out)
        self.assertIn("{%s} 11 Src/a.cc:4" % GUID, out)

    def test_missing_description_fails(self):
        status, _, err = self.run_on(CONSTANT + "trace::Message(kTraceGuid, 12, trace::kSteps);\n")
        self.assertEqual(status, 1)
        self.assertIn("{%s} 12 has no description" % GUID, err)

    def test_argument_count_must_match(self):
        status, _, err = self.run_on(CONSTANT + "trace::Message(kTraceGuid, 11, trace::kSteps, 5ul);\n")
        self.assertEqual(status, 1)
        self.assertIn("carries 1 arguments, its description 2", err)

    def test_unknown_guid_constant_fails(self):
        status, _, err = self.run_on("trace::Message(kOtherGuid, 10, trace::kSteps);\n")
        self.assertEqual(status, 1)
        self.assertIn("kOtherGuid is neither a message of trace_ids.h nor a GUID constant", err)

    def test_computed_number_needs_a_note(self):
        status, _, err = self.run_on(CONSTANT + "trace::Message(kTraceGuid, edit.trace, trace::kSteps);\n")
        self.assertEqual(status, 1)
        self.assertIn("the message is computed", err)
        status, out, err = self.run_on(
            CONSTANT + "// trace numbers: 10-12\ntrace::Message(kTraceGuid, edit.trace, trace::kSteps);\n")
        self.assertEqual(status, 1)
        self.assertIn("} 12 has no description", err)
        self.assertIn("} 10 Src/a.cc:3", out)

    def test_named_messages_resolve_through_the_header(self):
        status, out, err = self.run_on(
            "trace::Message(StartTrace::kStarting, trace::kSteps);\n"
            "// trace numbers: 10, 11\nvoid T(StartTrace m) { trace::Message(m, trace::kSteps); }\n",
            header=HEADER)
        self.assertEqual(status, 1)
        self.assertIn("{%s} 10 Src/a.cc:1" % GUID, out)
        self.assertIn("{%s} 10 Src/a.cc:3" % GUID, out)
        self.assertIn("a.cc:3: trace message {%s} 11 carries 0 arguments, its description 2" % GUID, err)
        status, _, err = self.run_on(
            "trace::Message(StartTrace::kStopping, trace::kSteps);\n",
            header=HEADER.replace("kCode = 11", "kCode = 12"))
        self.assertEqual(status, 1)
        self.assertIn("StartTrace::kStopping is not a message of trace_ids.h", err)
        self.assertIn("StartTrace::kCode {%s} 12 has no description" % GUID, err)

    def test_commented_calls_are_not_trace_points(self):
        status, out, err = self.run_on(
            CONSTANT + "// trace::Message(kTraceGuid, 99, trace::kSteps);\n"
            "/* trace::Message(kTraceGuid, 98, trace::kSteps); */\n")
        self.assertEqual(status, 0, err)
        self.assertIn("0 trace points", out)

    def test_malformed_descriptions_fail(self):
        bad_reference = TMF.replace("%11!s!", "%12!s!")
        status, _, err = self.run_on("", tmf=bad_reference)
        self.assertEqual(status, 1)
        self.assertIn("message 11 refers to [10, 12] but lists [10, 11]", err)
        status, _, err = self.run_on("", tmf_name="other.tmf")
        self.assertEqual(status, 1)
        self.assertIn("not named after its GUID", err)
        status, _, err = self.run_on("", tmf=TMF + TMF.split("\n", 2)[2])
        self.assertEqual(status, 1)
        self.assertIn("described twice", err)


if __name__ == "__main__":
    unittest.main()
