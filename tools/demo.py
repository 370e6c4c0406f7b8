#!/usr/bin/env python3
"""`make demo`: one real installation by the stamped stub under Wine, with its
window on an Xvfb screen, against the HTTPS test server on 127.0.0.1.

  demo.py SOURCE BUILD_WIN64 DEMO_DIR        the demo (a second run finds the agent)
  demo.py --reset SOURCE BUILD_WIN64 DEMO_DIR  forget the demo prefix

DEMO_DIR/prefix is the demo's Wine prefix; DEMO_DIR/screen.png the screenshot."""
import os
import shutil
import struct
import subprocess
import sys
import threading
import time
import zlib
from pathlib import Path

SOURCE = Path(sys.argv[-3]).resolve()
sys.path.insert(0, str(SOURCE / "tests" / "e2e"))
from fixture import Fixture, config_xml  # noqa: E402
from wine import WINE  # noqa: E402

AG_CONFIG = '<Site name="Demo site"/><Key>demo-key-1</Key>'
VPN = "demo-vpn-profile"


def say(text):
    print("\033[1m==> %s\033[0m" % text if sys.stdout.isatty() else "==> " + text, flush=True)


def xwd_to_png(xwd: bytes) -> bytes:
    """The Xvfb frame buffer (an XWD image, 24-bit TrueColor, 32 bits a pixel) as a PNG."""
    fields = struct.unpack(">25I", xwd[:100])
    header_size, width, height = fields[0], fields[4], fields[5]
    byte_order, bits_per_pixel, bytes_per_line, ncolors = fields[7], fields[11], fields[12], fields[19]
    if bits_per_pixel != 32:
        raise ValueError("unexpected %d bits a pixel" % bits_per_pixel)
    data = xwd[header_size + 12 * ncolors:]
    red, green, blue = (2, 1, 0) if byte_order == 0 else (1, 2, 3)
    rows = bytearray()
    for y in range(height):
        line = data[y * bytes_per_line:y * bytes_per_line + 4 * width]
        rows.append(0)
        rgb = bytearray(3 * width)
        rgb[0::3] = line[red::4]
        rgb[1::3] = line[green::4]
        rgb[2::3] = line[blue::4]
        rows += rgb

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(bytes(rows), 6)) + chunk(b"IEND", b""))


def free_display():
    for number in range(90, 140):
        if not Path("/tmp/.X%d-lock" % number).exists() and not Path("/tmp/.X11-unix/X%d" % number).exists():
            return number
    raise RuntimeError("no free X display number")


class Screen:
    """An Xvfb server whose frame buffer is a file the demo can read."""

    def __init__(self, folder: Path):
        self.folder = folder
        self.folder.mkdir(parents=True, exist_ok=True)
        self.number = free_display()
        self.process = subprocess.Popen(["Xvfb", ":%d" % self.number, "-screen", "0", "1024x768x24",
                                         "-fbdir", str(self.folder), "-nolisten", "tcp"],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        deadline = time.time() + 20
        while not Path("/tmp/.X11-unix/X%d" % self.number).exists():
            if self.process.poll() is not None or time.time() > deadline:
                raise RuntimeError("Xvfb did not start")
            time.sleep(0.1)

    @property
    def display(self):
        return ":%d" % self.number

    def screenshot(self, png: Path):
        png.write_bytes(xwd_to_png((self.folder / "Xvfb_screen0").read_bytes()))

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()


def read_lines(path: Path):
    return path.read_text(encoding="utf-8", errors="replace").splitlines() if path.exists() else []


def follow(path: Path, stop: threading.Event, prefix: str, old: set):
    """Prints lines of `path` not in `old` as they appear, until `stop` is
    set. (The log rotates, so positions would not do; its lines carry
    millisecond times.)"""
    seen = set(old)
    while True:
        done = stop.is_set()
        for line in read_lines(path):
            if line not in seen:
                seen.add(line)
                print("   %s %s" % (prefix, line), flush=True)
        if done:
            return
        time.sleep(0.2)


def wine_file(fx: Fixture, windows_path: str):
    """The file a C:\\ path names in the prefix, matched without case as
    Windows does; None when missing."""
    path = fx.drive_c()
    for part in windows_path.split("\\")[1:]:
        matches = [p for p in path.iterdir() if p.name.lower() == part.lower()] if path.is_dir() else []
        if not matches:
            return None
        path = matches[0]
    return path


def reset(fx: Fixture, work: Path):
    subprocess.run(["wineserver", "-k"], env=fx.wine.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    shutil.rmtree(work / "prefix", ignore_errors=True)
    say("demo prefix removed: the next `make demo` installs again")


def main():
    build, work = Path(sys.argv[-2]).resolve(), Path(sys.argv[-1]).resolve()
    started = time.monotonic()
    pki = work / "pki"
    fx = Fixture(SOURCE, build, work, build.parent / "pki", codesign=pki)
    if "--reset" in sys.argv:
        reset(fx, work)
        return 0

    say("demo PKI (root CA and code-signing certificate for the agent package) in %s" % pki)
    subprocess.run([str(SOURCE / "tools" / "make_test_pki.sh"), str(pki)], check=True)
    # Wine's desktop process, started by the first run, owns the screen all
    # later windows go to: it must start with the Xvfb display already set.
    # With the agent already installed the run shows a message box, which on
    # a screen nobody can click would wait for ever: that run gets no display,
    # so Wine can show no box and the run ends at once.
    subprocess.run(["wineserver", "-k"], env=fx.wine.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    second = (fx.agent_dir / "bxag.exe").exists()
    screen = None if second else Screen(work / "screen")
    if screen is not None:
        fx.wine.env["DISPLAY"] = screen.display
    say("Wine prefix %s on %s, HTTPS server on 127.0.0.1:443 (address: localhost)"
        % (fx.wine.prefix, "Xvfb display " + screen.display if screen else "no display"))
    try:
        fx.start(slow_seconds=8)
        say("demo agent package: bxag.exe into C:\\Program Files (x86)\\Veltrion\\Bastion Security Agent\\"
            "Bastion Common\\bin, signed by the demo code-signing certificate")
        fx.agent_msi("BSX.msi")
        # The server cuts its first answer halfway, as a VPN or hotel link may:
        # the run resumes where the file ends.
        server_url = "https://localhost/cutonce/slowfiles/BSX.msi"
        say("demo configuration: server %s, VPN value %r, signed by the pinned publisher 1 key" % (server_url, VPN))
        exe = fx.stub("demo", config_xml(server_url, AG_CONFIG, VPN))
        subprocess.run([str(fx.stamp_tool), "show", str(exe), str(build.parent / "pki" / "publisher1.pem"),
                        str(build.parent / "pki" / "publisher2.pem")])
        say("stamped stub: %s" % exe)
        say("running BastionSetup.exe under Wine%s" % (
            " without a display: the agent is installed (`make demo-reset` forgets it)" if second else
            " on Xvfb display " + screen.display))
        fx.requests.write_text("")
        stop = threading.Event()
        old_log = set(read_lines(fx.log_path))
        followers = [threading.Thread(target=follow, args=(fx.log_path, stop, "log:", old_log)),
                     threading.Thread(target=follow, args=(fx.requests, stop, "server:", set()))]
        for thread in followers:
            thread.start()
        result = {}
        runner = threading.Thread(target=lambda: result.update(run=fx.wine.run(exe, timeout=300)))
        run_started = time.monotonic()
        runner.start()
        png = work / "screen.png"
        # The package comes slowly (4 s to the cut, 4 s for the rest): the
        # window is up during the download.
        while runner.is_alive() and "GET" not in fx.requests.read_text() and time.monotonic() - run_started < 60:
            time.sleep(0.2)
        if screen is not None:
            time.sleep(3)
            screen.screenshot(png)
        runner.join()
        stop.set()
        for thread in followers:
            thread.join()
        run = result["run"]
        say("finished in %.1f s" % (time.monotonic() - run_started))

        say("standard error:")
        for line in run.stderr.splitlines() or ["(nothing)"]:
            print("   " + line)
        say("exit code: %d" % run.code)
        say("log tail (%s):" % fx.log_path)
        for line in [line for line in read_lines(fx.log_path) if line not in old_log][-12:]:
            print("   " + line)
        log = [line for line in read_lines(fx.log_path) if line not in old_log]
        resumed = [line for line in log if "Resuming BSX.msi at byte" in line]
        say("resume after the cut: %s" % (resumed[0] if resumed else "(none)"))
        installer_log = [line.split("Installer log: ", 1)[1].rsplit(" [", 1)[0] for line in log
                         if "Installer log: " in line]
        if installer_log:
            windows_path = installer_log[0]
            found = wine_file(fx, windows_path)
            say("installer's own log: %s (%s)" % (windows_path, "%d bytes" % found.stat().st_size if found
                                                  else "missing"))
        else:
            say("installer's own log: (none)")
        say("last log line: %s" % (log[-1] if log else "(none)"))
        config = fx.agent_dir / "config.dat"
        say("config.dat: %s" % (config.read_text(encoding="utf-8") if config.exists() else "(none)"))
        say("registry HKLM\\SOFTWARE\\Veltrion\\Bastion Security VPNConfig = %s" % fx.vpn_value())
        say("installed files in %s:" % fx.agent_dir)
        for path in sorted(fx.agent_dir.glob("*")) if fx.agent_dir.exists() else []:
            print("   %s (%d bytes)" % (path.name, path.stat().st_size))
        if screen is not None:
            say("screenshot of the Xvfb screen during the download: %s" % png)
    finally:
        fx.stop()
        subprocess.run(["wineserver", "-k"], env=fx.wine.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if screen is not None:
            screen.stop()
        say("server stopped")
    say("demo wall time %.1f s" % (time.monotonic() - started))
    return 0


if __name__ == "__main__":
    sys.exit(main())
