"""A run under Wine with an X display (xvfb-run): the progress window exists,
but Wine has no HTML engine, so the page never shows RETRY. Against a server
that drops every connection, the run must end after five attempts and the
bounded back-off instead of waiting for a press that cannot come; the test is
bounded by its time-out. The stub is trace_runner.exe, the product's twin,
whose trace shows that the window existed and took the page calls.

Same fixture as test_installation, with the prefix's desktop process started
on the display."""
import os
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from fixture import config_xml, shared_fixture  # noqa: E402
from test_installation import AG_CONFIG, BUILD, DOWNLOAD_FAILED, SOURCE, VPN, WORK, url  # noqa: E402

fx = None


def setUpModule():
    global fx
    if not os.environ.get("DISPLAY"):
        raise unittest.SkipTest("needs an X display: run under xvfb-run")
    fx = shared_fixture(SOURCE, BUILD, WORK, display=os.environ["DISPLAY"])


class UnattendedWithAWindow(unittest.TestCase):
    def test_dropped_connections_end_the_run_although_the_window_exists(self):
        fx.reset()
        fx.requests.write_text("")
        exe = fx.stub("display_drop", config_xml(url("/drop/200000"), AG_CONFIG, VPN),
                      product=BUILD / "tests" / "trace_runner.exe")
        run = fx.wine.run(exe, timeout=300)
        self.assertEqual((run.code, run.stderr), (1603, DOWNLOAD_FAILED))
        self.assertEqual([line.split()[1] for line in fx.requests.read_text().splitlines() if line.strip()],
                         ["/drop/200000"] * 5)
        # The page log reaches the trace only through a window's RunCommand.
        trace = (exe.parent / "trace.txt").read_text(encoding="utf-8")
        self.assertIn(", ForceRetry, 0) called", trace)


if __name__ == "__main__":
    unittest.main()
