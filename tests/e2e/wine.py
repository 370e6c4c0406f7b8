"""Runs Windows programs under wine64 for the end-to-end tests and the demo."""
import os
import re
import subprocess
from dataclasses import dataclass
from pathlib import Path

WINE = "/usr/lib/wine/wine64"


@dataclass
class Run:
    code: int      # the full Windows exit code
    stdout: str
    stderr: str    # as the program wrote it, CR LF line ends included


class Wine:
    """One Wine prefix with a warm wineserver."""

    def __init__(self, prefix: Path, helpers: Path):
        self.prefix = Path(prefix)
        self.helpers = Path(helpers)  # folder of exit_code_runner.exe
        self.env = {k: v for k, v in os.environ.items() if k not in ("http_proxy", "https_proxy", "DISPLAY")}
        self.env.update(WINEPREFIX=str(self.prefix), WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")

    def start(self):
        if not (self.prefix / "system.reg").exists():
            # Wine's services outlive wineboot and keep the handles they
            # inherit: give them none to keep.
            subprocess.run([WINE, "wineboot", "--init"], env=self.env, timeout=300,
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            subprocess.run(["wineserver", "-w"], env=self.env, timeout=120)
        subprocess.run(["wineserver", "-p600"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run([WINE, "cmd", "/c", "exit"], env=self.env, timeout=120,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    @staticmethod
    def path(unix_path) -> str:
        """The Windows name of a Linux path (drive Z: is the Linux root)."""
        return "Z:" + str(Path(unix_path).resolve()).replace("/", "\\")

    @property
    def drive_c(self) -> Path:
        return self.prefix / "drive_c"

    def run(self, exe, *args, env=None, timeout=600, display=None, hold_installer_mutex=False) -> Run:
        """Runs `exe` with `args` through exit_code_runner.exe (which prints the
        child's full exit code, holding the installer's mutex on request) and
        returns that code and the output."""
        run_env = dict(self.env)
        run_env.update(env or {})
        if display:
            run_env["DISPLAY"] = display
        # Wine quotes an argument with blanks when it builds the command line.
        hold = ["--hold-installer-mutex"] if hold_installer_mutex else []
        line = [WINE, str(self.helpers / "exit_code_runner.exe"), *hold, self.path(exe), *args]
        p = subprocess.run(line, env=run_env, timeout=timeout, stdin=subprocess.DEVNULL,
                           capture_output=True)
        out = p.stdout.decode("utf-8", "replace")
        m = re.search(r"\[exit (\d+)\]\s*$", out)
        if not m:
            raise RuntimeError("no exit code from %s (wine64 exited %d): %r %r" % (exe, p.returncode, out, p.stderr))
        return Run(int(m.group(1)), out[:m.start()], p.stderr.decode("utf-8", "replace"))

    def reg_query(self, key: str, value: str):
        """The data of a registry value as text, or None."""
        p = subprocess.run([WINE, "reg", "query", key, "/v", value], env=self.env, timeout=120,
                           stdin=subprocess.DEVNULL, capture_output=True)
        for line in p.stdout.decode("utf-8", "replace").splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) == 3 and parts[0] == value:
                return parts[2]
        return None

    def reg_delete(self, key: str):
        subprocess.run([WINE, "reg", "delete", key, "/f"], env=self.env, timeout=120,
                       stdin=subprocess.DEVNULL, capture_output=True)

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True)
