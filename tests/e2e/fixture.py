"""The end-to-end fixture: a Wine prefix of its own, the HTTPS test server on
127.0.0.1:443 serving test packages, and product copies stamped with signed
configurations. Shared by the end-to-end tests and the demo."""
import atexit
import os
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

from packages import build_agent_msi, sign
from wine import WINE, Wine

PROGRAM_FILES = ("Program Files (x86)",)
AGENT_DIR = ("Program Files (x86)", "Veltrion", "Bastion Security Agent", "Bastion Common", "bin")
VPN_KEY = r"HKLM\SOFTWARE\Veltrion\Bastion Security"
LOG = ("users", "root", "AppData", "Local", "Veltrion", "BastionClientUI", "tiny.log")


def config_xml(url, ag_config, vpn=None, fqdn="localhost"):
    vpn_part = "<VPN_CONFIG>%s</VPN_CONFIG>" % vpn if vpn is not None else ""
    return ('<?xml version="1.0" encoding="UTF-8"?><BASTION><AG_CONFIG>%s</AG_CONFIG><URL>%s</URL>'
            '<server fqdn="%s" port="443"></server>%s</BASTION>' % (ag_config, url, fqdn, vpn_part))


class Fixture:
    """`build`: the win64 build tree; `work`: a folder the fixture owns."""

    def __init__(self, source: Path, build: Path, work: Path, pki: Path, prefix: Path = None,
                 product: Path = None, stamp: Path = None, server_python=sys.executable, codesign: Path = None,
                 display: str = None):
        self.source = Path(source)
        self.build = Path(build)
        self.work = Path(work)
        self.pki = Path(pki)  # the pinned publishers' keys sign configurations
        self.codesign = Path(codesign or pki)  # codesign-chain.pem and codesign.key sign packages
        self.helpers = self.build / "tests"
        self.product = Path(product) if product else self.build / "BastionSetup.exe"
        self.stamp_tool = Path(stamp) if stamp else self.build / "host-tools" / "bastion_stamp"
        self.wine = Wine(prefix or self.work / "prefix", self.helpers)
        # Windows go to the X display that the prefix's desktop process
        # started with: with a display, that process is started afresh on it,
        # and stopped at the end so that later runs without one start anew.
        self.display = display
        if display:
            self.wine.env["DISPLAY"] = display
        self.files = self.work / "served"
        self.server_dir = self.work / "server"
        self.server = None
        self.server_python = server_python

    # The prefix and the server.
    def start(self, slow_seconds=5):
        self.work.mkdir(parents=True, exist_ok=True)
        self.files.mkdir(exist_ok=True)
        self.server_dir.mkdir(exist_ok=True)
        if self.display:
            self.wine.stop()
        self.wine.start()
        self.bring_up_desktop()
        cert = self.server_dir / "server.pem"
        key = self.server_dir / "server.key"
        if not cert.exists():
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", str(key),
                            "-out", str(cert), "-days", "3650", "-sha256", "-subj", "/CN=localhost",
                            "-addext", "subjectAltName=DNS:localhost"], check=True, capture_output=True)
            subprocess.run(["openssl", "x509", "-in", str(cert), "-outform", "DER", "-out",
                            str(self.server_dir / "server.der")], check=True, capture_output=True)
        trust = self.wine.run(self.helpers / "trust_root_cert.exe", self.wine.path(self.server_dir / "server.der"),
                              timeout=120)
        if trust.code != 0:
            raise RuntimeError("could not trust the server certificate: %r" % (trust,))
        self.requests = self.server_dir / "requests.log"
        self.requests.write_text("")
        env = {k: v for k, v in os.environ.items() if k not in ("http_proxy", "https_proxy")}
        self.server_out = open(self.server_dir / "server.out", "w")
        self.server = subprocess.Popen(
            [self.server_python, str(self.source / "tools" / "test_https_server.py"), "--cert", str(cert),
             "--key", str(key), "--log", str(self.requests), "--files", str(self.files),
             "--slow-seconds", str(slow_seconds), "--lifetime", "1800"],
            stdin=subprocess.DEVNULL, stdout=self.server_out, stderr=subprocess.STDOUT, env=env,
            start_new_session=True)
        deadline = time.time() + 70
        while "ready" not in (self.server_dir / "server.out").read_text():
            if self.server.poll() is not None or time.time() > deadline:
                self.stop_server()
                raise RuntimeError("test server did not start: " + (self.server_dir / "server.out").read_text())
            time.sleep(0.1)

    def bring_up_desktop(self):
        """Wine's WinVerifyTrust starts Wine's desktop process, which keeps the
        standard handles it inherits: a later run's output pipes would never
        end. A product run with none brings it up first."""
        subprocess.run([WINE, str(self.product), "-v"], env=self.wine.env,
                       timeout=120, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def stop_server(self):
        if self.server is None:
            return
        self.server.send_signal(signal.SIGTERM)
        try:
            self.server.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.server.kill()
            self.server.wait(timeout=10)
        self.server = None
        self.server_out.close()

    def stop(self):
        self.stop_server()
        if self.display:
            self.wine.stop()

    # Packages and stubs.
    def agent_msi(self, name, signed=True, fail_condition=False, extra_bytes=0, signer=None,
                  schedule_reboot=False) -> Path:
        """A package installing bxag.exe into the agent folder, served as
        /files/<name>; `signer` (certificate, key) replaces the stub's own."""
        staging = self.work / "msi" / name
        staging.mkdir(parents=True, exist_ok=True)
        extra = None
        if extra_bytes:
            # Random bytes: the cabinet cannot shrink them.
            extra = staging / "bulk.bin"
            with open(extra, "wb") as out:
                for offset in range(0, extra_bytes, 1 << 20):
                    out.write(os.urandom(min(1 << 20, extra_bytes - offset)))
        msi = build_agent_msi(staging / "agent.msi", self.helpers / "bxag.exe", fail_condition=fail_condition,
                              extra=extra, schedule_reboot=schedule_reboot)
        if signed:
            sign(msi, *(signer or (self.codesign / "codesign-chain.pem", self.codesign / "codesign.key")))
        served = self.files / name
        shutil.copyfile(msi, served)
        return served

    def stub(self, name, xml: str, signer="publisher1", product: Path = None, appended=False) -> Path:
        """A copy of the product (or of `product`), alone in its own folder,
        stamped with `xml` signed by a pinned publisher key (`appended`: in
        the layout with the configuration after the signature)."""
        folder = self.work / "stubs" / name
        if folder.exists():
            shutil.rmtree(folder)
        folder.mkdir(parents=True)
        (folder / "config.xml").write_text(xml, encoding="utf-8")
        subprocess.run([str(self.stamp_tool), "sign", str(self.pki / (signer + ".pem")),
                        str(self.pki / (signer + ".key")), str(folder / "config.xml"), str(folder / "config.p7")],
                       check=True, capture_output=True)
        exe = folder / "bin" / "BastionSetup.exe"
        exe.parent.mkdir()
        layout = ["--appended"] if appended else []
        subprocess.run([str(self.stamp_tool), "stamp", *layout, str(product or self.product), str(folder / "config.p7"),
                        str(exe)],
                       check=True, capture_output=True)
        (folder / "config.p7").unlink()
        return exe

    # The prefix's state.
    def drive_c(self, *parts) -> Path:
        return self.wine.drive_c.joinpath(*parts)

    @property
    def agent_dir(self) -> Path:
        return self.drive_c(*AGENT_DIR)

    @property
    def log_path(self) -> Path:
        return self.drive_c(*LOG)

    def log_text(self) -> str:
        return self.log_path.read_text(encoding="utf-8", errors="replace") if self.log_path.exists() else ""

    def vpn_value(self):
        return self.wine.reg_query(VPN_KEY, "VPNConfig")

    def reset(self):
        """No agent, no VPN value, no log, a writable product folder."""
        top = self.drive_c("Program Files (x86)", "Veltrion")
        if top.exists():
            subprocess.run(["chattr", "-R", "-i", str(top)], capture_output=True)
            for path in [top, *top.rglob("*")]:
                path.chmod(0o755 if path.is_dir() else 0o644)
            shutil.rmtree(top)
        self.wine.reg_delete(VPN_KEY)
        if self.log_path.exists():
            self.log_path.unlink()


_shared = None


def shared_fixture(source: Path, build: Path, work: Path, display: str = None) -> "Fixture":
    """The one started fixture of a test run, shared by its test modules, with
    the packages they all use; stopped when the run ends. BASTION_E2E_PRODUCT
    names the stub to run, BASTION_E2E_PUBLISHERS a folder with the keys of
    its pins (publisher1/2.pem and .key) and BASTION_E2E_CODESIGN one with
    codesign-chain.pem and codesign.key for the packages; by default the
    build's product and the test PKI."""
    global _shared
    if _shared is None:
        env = os.environ.get
        pki = Path(env("BASTION_E2E_PUBLISHERS") or build.parent / "pki")
        _shared = Fixture(source, build, work, pki, product=env("BASTION_E2E_PRODUCT") or None,
                          codesign=env("BASTION_E2E_CODESIGN") or None, display=display)
        _shared.start()
        atexit.register(_shared.stop)
        _shared.agent_msi("unsigned.msi", signed=False)
        _shared.agent_msi("failing.msi", fail_condition=True)
    return _shared
