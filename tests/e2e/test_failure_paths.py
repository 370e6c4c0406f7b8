"""End-to-end failure paths that the installation tests do not reach: the
product folder, /createmsi's package edit, a WinHTTP without all its exports,
and the installer's reboot codes.
Each run checks its exit code, its standard error and its log line. Same
fixture as test_installation, without a display.

Environment: as test_installation."""
import re
import shutil
import subprocess
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import test_installation  # noqa: E402
from fixture import config_xml  # noqa: E402
from test_installation import AG_CONFIG, BUILD, CONFIG_DAT, DOWNLOAD_FAILED, VPN, E2ECase, url  # noqa: E402
from wine import WINE  # noqa: E402

CURRENT_VERSION = r"HKLM\Software\Microsoft\Windows\CurrentVersion"
PROGRAM_FILES_X86 = "ProgramFilesDir (x86)"

fx = None


def setUpModule():
    # The cases below are test_installation's, on its shared fixture.
    global fx
    test_installation.setUpModule()
    fx = test_installation.fx
    fx.agent_msi("paths.msi")


def config_xml_for(package):
    return config_xml(url("/files/" + package), AG_CONFIG, VPN)


def program_files():
    """The value, whose name has blanks that Wine.reg_query cannot parse."""
    out = subprocess.run([WINE, "reg", "query", CURRENT_VERSION, "/v", PROGRAM_FILES_X86], env=fx.wine.env,
                         timeout=120, stdin=subprocess.DEVNULL, capture_output=True, check=True).stdout
    match = re.search(r"^\s*%s\s+REG_SZ\s+(.+?)\r?$" % re.escape(PROGRAM_FILES_X86),
                      out.decode("utf-8", "replace"), re.M)
    return match.group(1) if match else None


def set_program_files(value):
    subprocess.run([WINE, "reg", "add", CURRENT_VERSION, "/v", PROGRAM_FILES_X86, "/t", "REG_SZ", "/d", value, "/f"],
                   env=fx.wine.env, timeout=120, stdin=subprocess.DEVNULL, capture_output=True, check=True)


class ProductFolder(E2ECase):
    """config.dat's folder below the program files folder, which the system
    names (Wine reads it from the registry)."""

    def run_stub(self):
        exe = fx.stub("folder", config_xml_for("paths.msi"))
        return fx.wine.run(exe)

    def assertFailedAtTheFolder(self, run, message, error=None):
        self.assertEqual((run.code, run.stderr), (1603, message))
        self.assertLoggedOnce(message, error)
        self.assertLogInOrder("BSX.msi verified")
        self.assertIsNone(fx.vpn_value())
        self.assertNothingInstalled()

    def test_a_folder_that_cannot_be_found_made_or_named(self):
        original = program_files()
        self.assertIsNotNone(original)
        # Room for the folder's own 52 characters below it is left by none
        # of these 210 characters, which still make a path.
        long_folder = fx.drive_c("pf", *(["d" * 40] * 5))
        long_folder.mkdir(parents=True, exist_ok=True)
        cases = [
            (r"C:\no such folder", "Failed to find program files folder\r\n", None),
            ("C:\\pf\\" + "\\".join(["d" * 40] * 5), "Failed to create our program files folder\r\n", None),
        ]
        try:
            for value, message, error in cases:
                with self.subTest(message=message):
                    fx.reset()
                    set_program_files(value)
                    self.assertFailedAtTheFolder(self.run_stub(), message, error)
        finally:
            set_program_files(original)
            shutil.rmtree(fx.drive_c("pf"))

    def test_a_file_in_the_folders_place_fails_for_config_dat(self):
        blocker = fx.drive_c("Program Files (x86)", "Veltrion")
        blocker.write_text("")
        try:
            run = self.run_stub()
        finally:
            blocker.unlink()
        self.assertFailedAtTheFolder(run, "Failed to create our program files folder for config.dat\r\n", "3")


class PackageEdit(E2ECase):
    """/createmsi's edit, with msi.dll replaced by a stand-in that fails the
    step named in BASTION_MSI_FAIL (tests/helpers/msi_stand_in_dll.cc)."""

    def test_each_failed_step_has_its_message(self):
        msi = fx.drive_c("windows", "system32", "msi.dll")
        original = msi.read_bytes()
        msi.write_bytes((BUILD / "tests" / "msi_stand_in.dll").read_bytes())
        try:
            for step, detail in [("view", "(View)"), ("config-commit", "(config commit)"),
                                 ("property", "(property)"), ("reconf-commit", "(reconf commit)")]:
                with self.subTest(step=step):
                    fx.reset()
                    exe = fx.stub("edit", config_xml_for("paths.msi"))
                    run = fx.wine.run(exe, "/createmsi", env={"WINEDLLOVERRIDES": "mscoree,mshtml=;msi=n",
                                                               "BASTION_MSI_FAIL": step})
                    message = "Failed to open BSX.msi for modifications%s\r\n" % detail
                    self.assertEqual((run.code, run.stderr), (1603, message))
                    self.assertLoggedOnce(message, "1627")
                    self.assertLogInOrder("config.dat saved", "Going to save config to msi")
                    self.assertIsNone(fx.vpn_value())
        finally:
            msi.write_bytes(original)


class PartialWinHttp(E2ECase):
    """winhttp.dll replaced by a stand-in that lacks most of the exports and
    ends the process with 71 when called (tests/helpers/winhttp_stand_in_dll.cc)."""

    def test_no_call_is_made_and_every_attempt_fails(self):
        winhttp = fx.drive_c("windows", "system32", "winhttp.dll")
        original = winhttp.read_bytes()
        winhttp.write_bytes((BUILD / "tests" / "winhttp_stand_in.dll").read_bytes())
        try:
            fx.reset()
            exe = fx.stub("winhttp", config_xml_for("paths.msi"))
            run = fx.wine.run(exe, env={"WINEDLLOVERRIDES": "mscoree,mshtml=;winhttp=n"})
        finally:
            winhttp.write_bytes(original)
        self.assertEqual((run.code, run.stderr), (1603, DOWNLOAD_FAILED))
        self.assertLoggedOnce(DOWNLOAD_FAILED)
        self.assertEqual(fx.log_text().count("HTTPHelper DownloadFile not connected"), 5)
        self.assertIsNone(self.config_dat())


class RebootCodes(E2ECase):
    """The installer's codes that ask for a reboot are the run's own."""

    def test_3010_from_msiexec_is_the_exit_code(self):
        fx.agent_msi("reboot.msi", schedule_reboot=True)
        exe = fx.stub("reboot", config_xml_for("reboot.msi"))
        run = fx.wine.run(exe)
        self.assertEqual((run.code, run.stderr), (3010, ""))
        self.assertEqual(self.config_dat(), CONFIG_DAT)
        self.assertTrue((fx.agent_dir / "bxag.exe").is_file())
        self.assertLogInOrder("BSX.msi verified", "config.dat saved")

    def test_1641_from_the_installer_is_the_exit_code(self):
        # Wine's msiexec never ends with 1641: a stand-in installer does.
        exe = fx.stub("restart", config_xml_for("paths.msi"))
        msiexec = fx.drive_c("windows", "system32", "msiexec.exe")
        original = msiexec.read_bytes()
        msiexec.write_bytes((BUILD / "tests" / "installer_stand_in.exe").read_bytes())
        try:
            run = fx.wine.run(exe, env={"WINEDLLOVERRIDES": "mscoree,mshtml=;msiexec.exe=n",
                                        "BASTION_INSTALLER_EXIT": "1641"})
        finally:
            msiexec.write_bytes(original)
        self.assertEqual((run.code, run.stderr), (1641, ""))
        self.assertEqual(self.config_dat(), CONFIG_DAT)
        self.assertLogInOrder("BSX.msi verified", "config.dat saved")


if __name__ == "__main__":
    unittest.main()
