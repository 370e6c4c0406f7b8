"""End-to-end runs of the stamped product under Wine: a real HTTPS server on
127.0.0.1:443, real signed packages, real msiexec, a Wine prefix of the
tests' own. Run without a display: no window can be made, so the download's
back-off is the no-window one and no message box can wait for a click.

Environment: BASTION_SOURCE_DIR, BASTION_BUILD_DIR (the win64 build tree),
BASTION_E2E_DIR (a folder the tests own)."""
import os
import subprocess
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from fixture import config_xml, shared_fixture  # noqa: E402
from wine import WINE  # noqa: E402

SOURCE = Path(os.environ.get("BASTION_SOURCE_DIR", Path(__file__).resolve().parents[2]))
BUILD = Path(os.environ.get("BASTION_BUILD_DIR", SOURCE / "build" / "win64"))
WORK = Path(os.environ.get("BASTION_E2E_DIR", BUILD / "e2e"))

AG_CONFIG = '<Site name="Zürich Øst"/><Key>k1</Key>'
CONFIG_DAT = ("<?xml version='1.0' encoding='UTF-8'?><AG_CONFIG>" + AG_CONFIG + "</AG_CONFIG>").encode("utf-8")
VPN = "vpn-profile-e2e"
DOWNLOAD_FAILED = "Failed to download Windows Installer package (BSX.msi)!\r\n"
VERIFY_FAILED = "Failed to download or verify Windows Installer package (BSX.msi)!\r\n"

fx = None


def setUpModule():
    global fx
    fx = shared_fixture(SOURCE, BUILD, WORK)


def set_user_environment(name, value):
    subprocess.run([WINE, "reg", "add", r"HKCU\Environment", "/v", name, "/t", "REG_EXPAND_SZ", "/d", value, "/f"],
                   env=fx.wine.env, timeout=120, stdin=subprocess.DEVNULL, capture_output=True, check=True)


def url(path):
    return "https://localhost" + path


class E2ECase(unittest.TestCase):
    def setUp(self):
        fx.reset()
        fx.requests.write_text("")

    def requests(self):
        return [line.split()[1] for line in fx.requests.read_text().splitlines() if line.strip()]

    def config_dat(self):
        path = fx.agent_dir / "config.dat"
        return path.read_bytes() if path.exists() else None

    def assertLogInOrder(self, *fragments):
        log = fx.log_text()
        position = 0
        for fragment in fragments:
            found = log.find(fragment, position)
            self.assertNotEqual(found, -1, "%r missing (in order) from the log:\n%s" % (fragment, log))
            position = found + len(fragment)

    def assertNothingInstalled(self):
        self.assertFalse((fx.agent_dir / "bxag.exe").exists())


class InstallationMode(E2ECase):
    def test_installs_the_package_then_a_second_run_finds_the_agent(self):
        fx.agent_msi("install.msi")
        exe = fx.stub("install", config_xml(url("/files/install.msi"), AG_CONFIG, VPN))
        run = fx.wine.run(exe)
        self.assertEqual((run.code, run.stderr), (0, ""))
        self.assertEqual(self.requests(), ["/files/install.msi"])
        self.assertEqual(self.config_dat(), CONFIG_DAT)
        self.assertEqual(fx.vpn_value(), VPN)
        self.assertTrue((fx.agent_dir / "bxag.exe").is_file())
        self.assertLogInOrder("Starting", "Bastion Setup: Found an URL: " + url("/files/install.msi"),
                              "Temp file was generated in temp folder C:\\", "BSX.msi downloaded",
                              "BSX.msi verified", "config.dat saved")

        # The tests run without DISPLAY: Wine can make no window, so the
        # message box this run shows on an interactive station (and under
        # Wine every station looks interactive) returns at once instead of
        # waiting for a click. The run ending at all proves it did not block.
        fx.requests.write_text("")
        again = fx.wine.run(exe, timeout=120)
        self.assertEqual((again.code, again.stderr), (0, "Bastion Agent already installed!\r\n"))
        self.assertEqual(self.requests(), [])
        self.assertIn("Bastion Agent already installed!", fx.log_text())

    def test_the_installers_own_failure_code_is_the_exit_code(self):
        exe = fx.stub("failing", config_xml(url("/files/failing.msi"), AG_CONFIG, VPN))
        run = fx.wine.run(exe)
        self.assertEqual((run.code, run.stderr), (1603, ""))
        # Everything before the installer happened.
        self.assertEqual(self.config_dat(), CONFIG_DAT)
        self.assertEqual(fx.vpn_value(), VPN)
        self.assertNothingInstalled()

    def test_without_a_vpn_configuration_no_value_is_written(self):
        fx.agent_msi("novpn.msi")
        exe = fx.stub("novpn", config_xml(url("/files/novpn.msi"), AG_CONFIG))
        run = fx.wine.run(exe)
        self.assertEqual((run.code, run.stderr), (0, ""))
        self.assertIsNone(fx.vpn_value())
        self.assertTrue((fx.agent_dir / "bxag.exe").is_file())

    def test_a_stub_in_the_appended_layout_installs(self):
        # The configuration after the signature's DER, as stubs stamped with
        # --appended have it, instead of inside the carrier certificate.
        fx.agent_msi("appended.msi")
        exe = fx.stub("appended", config_xml(url("/files/appended.msi"), AG_CONFIG, VPN), appended=True)
        run = fx.wine.run(exe)
        self.assertEqual((run.code, run.stderr), (0, ""))
        self.assertEqual(self.config_dat(), CONFIG_DAT)
        self.assertTrue((fx.agent_dir / "bxag.exe").is_file())

    def test_a_temporary_folder_with_a_blank_still_installs(self):
        fx.agent_msi("blank.msi")
        exe = fx.stub("blank", config_xml(url("/files/blank.msi"), AG_CONFIG, VPN))
        blank = fx.drive_c("temp with blank")
        blank.mkdir(exist_ok=True)
        # Wine takes TEMP and TMP from the registry, not from the Linux environment.
        saved = {name: fx.wine.reg_query(r"HKCU\Environment", name) for name in ("TEMP", "TMP")}
        try:
            for name in saved:
                set_user_environment(name, r"C:\temp with blank")
            run = fx.wine.run(exe)
        finally:
            for name, value in saved.items():
                set_user_environment(name, value)
        self.assertEqual((run.code, run.stderr), (0, ""))
        self.assertLogInOrder("Temp file was generated in temp folder C:\\temp with blank\\", "BSX.msi verified")
        self.assertTrue((fx.agent_dir / "bxag.exe").is_file())


class CreatePackageMode(E2ECase):
    def test_the_configured_package_lands_beside_the_stub(self):
        fx.agent_msi("create.msi")
        exe = fx.stub("create", config_xml(url("/files/create.msi"), AG_CONFIG, VPN))
        run = fx.wine.run(exe, "/createmsi")
        folder = fx.wine.path(exe.parent) + "\\"
        self.assertEqual((run.code, run.stderr), (0, folder + "BSX.msi created\r\n"))
        package = exe.parent / "BSX.msi"
        self.assertTrue(package.is_file())
        self.assertFalse((exe.parent / "config.dat").exists())
        self.assertEqual(sorted(p.name for p in exe.parent.iterdir()), ["BSX.msi", "BastionSetup.exe"])

        # Exporting the Binary table also writes its streams into ./Binary.
        scratch = WORK / "msiinfo"
        scratch.mkdir(exist_ok=True)
        binary = subprocess.run(["msiinfo", "export", str(package), "Binary"], capture_output=True, text=True,
                                check=True, cwd=scratch).stdout
        self.assertIn("VTINSTADDEXT_config.dat", binary)
        extracted = subprocess.run(["msiinfo", "extract", str(package), "Binary.VTINSTADDEXT_config.dat"],
                                   capture_output=True, check=True).stdout
        self.assertEqual(extracted, CONFIG_DAT)
        properties = subprocess.run(["msiinfo", "export", str(package), "Property"], capture_output=True,
                                    text=True, check=True).stdout
        self.assertIn("RECONF\t1", properties.replace("\r", ""))

        self.assertIsNone(fx.vpn_value())
        self.assertNothingInstalled()
        self.assertIsNone(self.config_dat())


class VerifyMode(E2ECase):
    def test_prints_the_configuration_even_with_the_agent_installed(self):
        fx.agent_dir.mkdir(parents=True)
        (fx.agent_dir / "bxag.exe").write_bytes(b"MZ")
        exe = fx.stub("verify", config_xml(url("/files/none.msi"), AG_CONFIG, VPN))
        run = fx.wine.run(exe, "-v")
        expected = "Config Dat:\r\n%s\r\nURL:\r\n%s\r\n" % (CONFIG_DAT.decode("utf-8"), url("/files/none.msi"))
        self.assertEqual(run.code, 0)
        self.assertEqual(run.stderr.encode("utf-8", "replace"), expected.encode("utf-8"))
        self.assertEqual(self.requests(), [])
        self.assertIsNone(fx.vpn_value())


class FailureMatrix(E2ECase):
    def assertFailedBeforeConfig(self, run, message):
        self.assertEqual((run.code, run.stderr), (1603, message))
        self.assertIsNone(self.config_dat())
        self.assertIsNone(fx.vpn_value())
        self.assertNothingInstalled()

    def test_an_unsigned_package_is_rejected_without_retry(self):
        exe = fx.stub("unsigned", config_xml(url("/files/unsigned.msi"), AG_CONFIG, VPN))
        self.assertFailedBeforeConfig(fx.wine.run(exe), VERIFY_FAILED)
        self.assertEqual(self.requests(), ["/files/unsigned.msi"])

    def test_an_error_page_is_downloaded_then_rejected_by_the_signature_check(self):
        for status in (404, 500):
            with self.subTest(status=status):
                fx.requests.write_text("")
                exe = fx.stub("status%d" % status, config_xml(url("/status/%d" % status), AG_CONFIG, VPN))
                run = fx.wine.run(exe)
                self.assertFailedBeforeConfig(run, VERIFY_FAILED)
                self.assertEqual(self.requests(), ["/status/%d" % status])
                self.assertLogInOrder("BSX.msi downloaded")

    def test_five_dropped_connections_fail_the_download_after_the_back_off(self):
        exe = fx.stub("drop", config_xml(url("/drop/200000"), AG_CONFIG, VPN))
        started = time.monotonic()
        run = fx.wine.run(exe)
        elapsed = time.monotonic() - started
        self.assertFailedBeforeConfig(run, DOWNLOAD_FAILED)
        self.assertEqual(self.requests(), ["/drop/200000"] * 5)
        # Without a window the pauses between attempts are 1, 2, 4 and 8 s.
        self.assertGreaterEqual(elapsed, 15)
        self.assertNotIn("BSX.msi downloaded", fx.log_text())

    def test_another_installation_in_progress_ends_with_1618(self):
        fx.agent_msi("busy.msi")
        exe = fx.stub("busy", config_xml(url("/files/busy.msi"), AG_CONFIG, VPN))
        run = fx.wine.run(exe, hold_installer_mutex=True)
        self.assertEqual((run.code, run.stderr),
                         (1618, "Setup failed, since another installation is currently in progress\r\n"))
        self.assertEqual(self.config_dat(), CONFIG_DAT)
        self.assertEqual(fx.vpn_value(), VPN)
        self.assertNothingInstalled()

    def test_a_read_only_product_folder_fails_to_save_config_dat(self):
        exe = fx.stub("readonly", config_xml(url("/files/failing.msi"), AG_CONFIG, VPN))
        fx.agent_dir.mkdir(parents=True)
        # The tests run as root, for whom no Unix mode denies a write; an
        # immutable folder refuses new files to root as well.
        if subprocess.run(["chattr", "+i", str(fx.agent_dir)], capture_output=True).returncode != 0:
            self.skipTest("chattr +i is not permitted here")
        try:
            run = fx.wine.run(exe)
        finally:
            subprocess.run(["chattr", "-i", str(fx.agent_dir)], capture_output=True)
        self.assertEqual((run.code, run.stderr), (1603, "Failed to save config.dat\r\n"))
        self.assertIsNone(self.config_dat())
        self.assertIsNone(fx.vpn_value())
        self.assertNothingInstalled()


class PackageHold(E2ECase):
    def test_the_package_cannot_be_swapped_while_the_installer_runs(self):
        # The prefix's msiexec.exe is replaced by a stand-in that tries, as
        # any process of the user could, to rename, overwrite, replace and
        # delete the package it is handed, then ends with 3010 (reboot
        # required). Its read shows the installer itself can still open it.
        fx.agent_msi("hold.msi")
        exe = fx.stub("hold", config_xml(url("/files/hold.msi"), AG_CONFIG, VPN))
        msiexec = fx.drive_c("windows", "system32", "msiexec.exe")
        original = msiexec.read_bytes()
        report = fx.drive_c("users", "root", "Temp", "hold_report.txt")
        report.unlink(missing_ok=True)
        msiexec.write_bytes((BUILD / "tests" / "installer_stand_in.exe").read_bytes())
        try:
            run = fx.wine.run(exe, env={"WINEDLLOVERRIDES": "mscoree,mshtml=;msiexec.exe=n"})
        finally:
            msiexec.write_bytes(original)
        self.assertEqual((run.code, run.stderr), (3010, ""))
        self.assertEqual(report.read_text().strip(), "read=1 rename=0 overwrite=0 replace=0 delete=0")


if __name__ == "__main__":
    unittest.main()
