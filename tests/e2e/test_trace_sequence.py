"""The procedure's whole trace sequence for one successful installation and
for each failure, end to end under Wine. The stub is trace_runner.exe: the
product's twin whose capture sink writes every trace message of the run to
trace.txt beside it (ETW writes nothing under Wine). Same fixture as
test_installation: real server, real packages, real msiexec, no display."""
import subprocess
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import test_installation  # noqa: E402
from fixture import config_xml  # noqa: E402
from test_installation import BUILD, DOWNLOAD_FAILED, E2ECase, url  # noqa: E402

PROCEDURE = "{836579AB-A681-3146-B02F-8986F8BE98D8}"
LAUNCH = "{86C4D110-17B7-3A4F-D5F3-ED751D0C2D1F}"
BEFORE_DOWNLOAD = [12, 14, 15]
DOWNLOADED = BEFORE_DOWNLOAD + [17, 18, 19]
CONFIG_WRITTEN = DOWNLOADED + [20, 21]

fx = None


def setUpModule():
    # test_installation's shared fixture, whose E2ECase these cases use.
    global fx
    test_installation.setUpModule()
    fx = test_installation.fx


class TraceSequence(E2ECase):
    def run_traced(self, name, path, *args, hold_installer_mutex=False, env=None):
        exe = fx.stub("trace_" + name, config_xml(url(path), "<k>v</k>", "vpn"),
                      product=BUILD / "tests" / "trace_runner.exe")
        run = fx.wine.run(exe, *args, hold_installer_mutex=hold_installer_mutex, env=env)
        records = []
        for line in (exe.parent / "trace.txt").read_text(encoding="utf-8").split("\n{"):
            fields = ("{" + line.lstrip("{")).split(" ", 3)
            if len(fields) >= 2:
                records.append((fields[0], int(fields[1]), fields[3].strip() if len(fields) > 3 else ""))
        return run, records

    def procedure(self, records):
        """The procedure's own numbers, without the page's log (10)."""
        return [number for guid, number, _ in records if guid == PROCEDURE and number != 10]

    def launch(self, records):
        return [(number, args) for guid, number, args in records if guid == LAUNCH]

    def test_a_successful_installation(self):
        fx.agent_msi("trace_ok.msi")
        run, records = self.run_traced("ok", "/files/trace_ok.msi")
        self.assertEqual(run.code, 0)
        self.assertEqual(self.procedure(records), CONFIG_WRITTEN + [30, 31])
        self.assertEqual(self.launch(records), [(14, "0")])
        self.assertIn((PROCEDURE, 15, "n:" + url("/files/trace_ok.msi")), records)
        # The window side's diagnostics reach the trace through PageLog.
        self.assertTrue(any(guid == PROCEDURE and number == 10 and args.startswith("w:")
                            for guid, number, args in records))

    def test_a_second_run_traces_only_the_start(self):
        fx.agent_dir.mkdir(parents=True)
        (fx.agent_dir / "bxag.exe").write_bytes(b"MZ")
        run, records = self.run_traced("again", "/files/none.msi")
        self.assertEqual(run.code, 0)
        self.assertEqual(self.procedure(records), [12])

    def test_verify_and_create_package_modes(self):
        run, records = self.run_traced("verify", "/files/none.msi", "-v")
        self.assertEqual((run.code, self.procedure(records)), (0, BEFORE_DOWNLOAD))
        fx.agent_msi("trace_create.msi")
        run, records = self.run_traced("create", "/files/trace_create.msi", "/createmsi")
        self.assertEqual((run.code, self.procedure(records)), (0, CONFIG_WRITTEN + [22]))
        self.assertEqual(self.launch(records), [])

    def test_the_installers_failure_reaches_only_the_launch_trace(self):
        run, records = self.run_traced("failing", "/files/failing.msi")
        self.assertEqual(run.code, 1603)
        self.assertEqual(self.procedure(records), CONFIG_WRITTEN + [30, 31])
        self.assertEqual(self.launch(records), [(14, "1603")])

    def test_package_rejections_end_after_the_download(self):
        for name, path in (("unsigned", "/files/unsigned.msi"), ("status404", "/status/404")):
            with self.subTest(name):
                run, records = self.run_traced(name, path)
                self.assertEqual((run.code, self.procedure(records)), (1603, DOWNLOADED))

    def test_five_failed_attempts_end_with_33(self):
        # The suite's one run of five dropped connections without a window
        # (each costs the whole back-off): the download fails, its log line
        # is there, and the cut attempts leave nothing behind.
        run, records = self.run_traced("drop", "/drop/100000")
        self.assertEqual((run.code, run.stderr), (1603, DOWNLOAD_FAILED))
        self.assertEqual(self.procedure(records), BEFORE_DOWNLOAD + [17] * 5 + [33])
        self.assertEqual(self.requests(), ["/drop/100000"] * 5)
        self.assertLoggedOnce(DOWNLOAD_FAILED)
        self.assertNotIn("BSX.msi downloaded", fx.log_text())
        self.assertIsNone(self.config_dat())
        self.assertNothingLeftBehind()

    def test_a_staging_folder_that_cannot_be_made_ends_before_any_attempt(self):
        # The tests run as root, for whom no Unix mode denies a write; an
        # immutable folder refuses new folders to root as well.
        machine_temp = fx.drive_c("windows", "temp")
        if subprocess.run(["chattr", "+i", str(machine_temp)], capture_output=True).returncode != 0:
            self.skipTest("chattr +i is not permitted here")
        try:
            run, records = self.run_traced("nostaging", "/files/none.msi")
        finally:
            subprocess.run(["chattr", "-i", str(machine_temp)], capture_output=True)
        self.assertEqual((run.code, run.stderr), (1603, DOWNLOAD_FAILED))
        self.assertLoggedOnce(DOWNLOAD_FAILED, "5")
        # No attempt, hence no 17 and no 33.
        self.assertEqual(self.procedure(records), BEFORE_DOWNLOAD)
        self.assertEqual(self.requests(), [])

    def test_another_installation_stops_after_the_vpn_value(self):
        fx.agent_msi("trace_busy.msi")
        run, records = self.run_traced("busy", "/files/trace_busy.msi", hold_installer_mutex=True)
        self.assertEqual((run.code, self.procedure(records)), (1618, CONFIG_WRITTEN + [30]))
        self.assertEqual(self.launch(records), [])

    def test_an_installer_that_cannot_start_ends_with_32(self):
        fx.agent_msi("trace_nolaunch.msi")
        msiexec = fx.drive_c("windows", "system32", "msiexec.exe")
        hidden = msiexec.with_name("msiexec.exe.hidden")
        msiexec.rename(hidden)
        try:
            run, records = self.run_traced("nolaunch", "/files/trace_nolaunch.msi")
        finally:
            hidden.rename(msiexec)
        self.assertEqual((run.code, run.stderr), (1603, ""))
        self.assertEqual(self.procedure(records), CONFIG_WRITTEN + [30, 32])
        self.assertEqual([number for number, _ in self.launch(records)], [13])


if __name__ == "__main__":
    unittest.main()
