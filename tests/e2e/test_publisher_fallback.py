"""The stub in its publisher fallback, end to end: a product code-signed with
a pinned publisher key where the system refuses the chain. Wine's
WinVerifyTrust refuses no chain, so these runs use a copy of the test prefix
whose WINTRUST.dll is a stand-in answering "untrusted root" for every file
(packages included: no package passes there). The module takes port 443
from the shared fixture's server and gives it back at the end.

Environment: as test_installation."""
import shutil
import subprocess
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from fixture import Fixture, config_xml, shared_fixture  # noqa: E402
from test_installation import (AG_CONFIG, BUILD, DOWNLOAD_FAILED, SOURCE, VERIFY_FAILED,  # noqa: E402
                               WORK, url)

AUTH_FAILED = "Failed to authenticate BastionSetup!\r\n"
STAND_IN = {"WINEDLLOVERRIDES": "mscoree,mshtml=;wintrust=n"}

shared = None
fx = None
product = None


def setUpModule():
    global shared, fx, product
    shared = shared_fixture(SOURCE, BUILD, WORK)
    shared.stop_server()
    work = WORK / "fallback"
    prefix = work / "prefix"
    if prefix.exists():
        subprocess.run(["wineserver", "-k"], env=dict(shared.wine.env, WINEPREFIX=str(prefix)),
                       capture_output=True)
        shutil.rmtree(prefix)
    work.mkdir(parents=True, exist_ok=True)
    # cp -a keeps dosdevices' links as links.
    subprocess.run(["cp", "-a", str(shared.wine.prefix), str(prefix)], check=True)
    shutil.copyfile(BUILD / "tests" / "wintrust_stand_in.dll", prefix / "drive_c" / "windows" / "system32" /
                    "wintrust.dll")
    fx = Fixture(SOURCE, BUILD, work, shared.pki, prefix=prefix)
    # The tested product re-signed by pinned publisher 1, then given its
    # unconfigured region.
    unsigned, signed = work / "unsigned.exe", work / "publisher1.exe"
    product = work / "product.exe"
    for made in (unsigned, signed, product):
        made.unlink(missing_ok=True)  # osslsigncode overwrites nothing
    subprocess.run(["osslsigncode", "remove-signature", "-in", str(shared.product), "-out", str(unsigned)],
                   check=True, capture_output=True)
    subprocess.run(["osslsigncode", "sign", "-certs", str(shared.pki / "publisher1.pem"), "-key",
                    str(shared.pki / "publisher1.key"), "-h", "sha256", "-n", "Bastion Setup",
                    "-in", str(unsigned), "-out", str(signed)], check=True, capture_output=True)
    subprocess.run([str(fx.stamp_tool), "prepare", str(signed), str(product)], check=True, capture_output=True)


def tearDownModule():
    fx.stop()
    fx.wine.stop()
    shared.start()


def serve(name):
    """The test server, presenting pki/<name>.pem, or its own localhost certificate."""
    fx.stop_server()
    for suffix in ("pem", "key", "der"):
        (fx.server_dir / ("server." + suffix)).unlink(missing_ok=True)
    if name is not None:
        fx.server_dir.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(shared.pki / (name + ".pem"), fx.server_dir / "server.pem")
        shutil.copyfile(shared.pki / (name + ".key"), fx.server_dir / "server.key")
        subprocess.run(["openssl", "x509", "-in", str(fx.server_dir / "server.pem"), "-outform", "DER", "-out",
                        str(fx.server_dir / "server.der")], check=True, capture_output=True)
    fx.start()


class PublisherFallback(unittest.TestCase):
    def stub(self, name, signer):
        return fx.stub(name, config_xml(url("/files/fallback.msi"), AG_CONFIG), signer=signer, product=product)

    def run_stub(self, exe, *args):
        return fx.wine.run(exe, *args, env=STAND_IN)

    def requests(self):
        return [line.split()[1] for line in fx.requests.read_text().splitlines() if line.strip()]

    def test_only_a_pinned_key_configures_and_only_its_server_serves(self):
        serve("publisher1")
        fx.agent_msi("fallback.msi")
        pinned = self.stub("pinned", "publisher1")
        verify = self.run_stub(pinned, "-v")
        self.assertEqual(verify.code, 0)
        self.assertIn("URL:\r\n" + url("/files/fallback.msi"), verify.stderr)
        # The server with the configuration's key delivers; the stand-in
        # then refuses the package's chain too.
        fx.reset()
        run = self.run_stub(pinned)
        self.assertEqual((run.code, run.stderr), (1603, VERIFY_FAILED))
        self.assertIn("BSX.msi downloaded", fx.log_text())

        unpinned = self.stub("unpinned", "codesign")
        for args in (("-v",), ()):
            run = self.run_stub(unpinned, *args)
            self.assertEqual((run.code, run.stderr), (1603, AUTH_FAILED), args)
        self.assertEqual(self.requests(), ["/files/fallback.msi"])

    def test_a_server_without_the_configurations_pinned_key_is_refused(self):
        pinned = self.stub("pinned", "publisher1")
        # The other pinned key, which did not sign this configuration, and
        # a key that is not pinned at all.
        for server in ("publisher2", None):
            with self.subTest(server=server):
                serve(server)
                fx.reset()
                run = self.run_stub(pinned)
                self.assertEqual((run.code, run.stderr), (1603, DOWNLOAD_FAILED))
                self.assertNotIn("BSX.msi downloaded", fx.log_text())


if __name__ == "__main__":
    unittest.main()
