#!/usr/bin/env python3
"""Installation figures; prints, asserts nothing.

  bench_install.py SOURCE BUILD_WIN64 BUILD_WIN32 WORK

1. The size of the i686 release exe against its 520,000-byte target (aim: 500,000), its sections,
   and the biggest contributors (object files and archive members, from a
   relink with a map file when the win32 tree has one).
2. The wall time of `BastionSetup.exe -v` on a stamped stub against a trivial
   exe under the same warm Wine: medians of several runs and their ratio.
3. One installation of a 100 MB package from the HTTPS test server, from
   start to the installer's end, split by stage from the log's timestamps."""
import datetime
import re
import statistics
import subprocess
import sys
import time
from pathlib import Path

SOURCE, BUILD, BUILD32, WORK = (Path(a).resolve() for a in sys.argv[1:5])
sys.path.insert(0, str(SOURCE / "tests" / "e2e"))
from fixture import Fixture, config_xml  # noqa: E402
from wine import WINE  # noqa: E402

RUNS = 9


def exe_size():
    exe = BUILD32 / "BastionSetup.exe"
    if not exe.exists():
        print("i686 exe: %s not built" % exe)
        return
    size = exe.stat().st_size
    print("i686 exe: %d bytes (target <= 520,000: %s; aim 500,000)" % (size, "met" if size <= 520_000 else "over"))
    headers = subprocess.run(["i686-w64-mingw32-objdump", "-h", str(exe)], capture_output=True, text=True).stdout
    for line in headers.splitlines():
        fields = line.split()
        if len(fields) >= 7 and fields[0].isdigit():
            print("   section %-8s %8d bytes" % (fields[1], int(fields[2], 16)))
    # The release link again, unstripped and with a map, to see what is in it.
    link = (BUILD32 / "CMakeFiles" / "BastionSetup.dir" / "link.txt").read_text().strip().splitlines()[-1]
    map_file = WORK / "BastionSetup-i686.map"
    WORK.mkdir(parents=True, exist_ok=True)
    link = link.replace(" -s ", " ").replace("-o BastionSetup.exe", "-o %s -Wl,-Map=%s" % (
        WORK / "BastionSetup-i686-map.exe", map_file))
    if subprocess.run(link, shell=True, cwd=BUILD32, capture_output=True).returncode != 0:
        print("   (no map: the relink failed)")
        return
    text = map_file.read_text(errors="replace")
    text = text[text.index("Linker script and memory map"):]  # kept sections only
    owners, libraries = {}, {}
    for match in re.finditer(r"^ \.(?:text|rdata|data|xdata|pdata|eh_frame|gcc_except_table)\S*\s+0x[0-9a-f]+"
                             r"\s+0x([0-9a-f]+)\s+(\S+)$", text, re.M):
        owner = re.sub(r".*/", "", match.group(2))
        size = int(match.group(1), 16)
        owners[owner] = owners.get(owner, 0) + size
        library = owner.split("(")[0]
        libraries[library] = libraries.get(library, 0) + size
    print("   code and data by library (objects.a is ours):")
    for library, size in sorted(libraries.items(), key=lambda kv: -kv[1])[:6]:
        print("     %8d  %s" % (size, library))
    print("   biggest members:")
    for owner, size in sorted(owners.items(), key=lambda kv: -kv[1])[:12]:
        print("     %8d  %s" % (size, owner))


def timed(fx, exe, *args):
    started = time.monotonic()
    subprocess.run([WINE, str(exe), *args], env=fx.wine.env, timeout=120, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.monotonic() - started


def verify_ratio(fx):
    stub = fx.stub("bench_verify", config_xml("https://localhost/files/none.msi", "<k>v</k>", "vpn"))
    trivial = fx.helpers / "bxag.exe"
    for _ in range(2):  # warm both
        timed(fx, stub, "-v")
        timed(fx, trivial)
    ours = statistics.median(timed(fx, stub, "-v") for _ in range(RUNS))
    base = statistics.median(timed(fx, trivial) for _ in range(RUNS))
    print("BastionSetup.exe -v on a stamped stub: median %.3f s over %d runs" % (ours, RUNS))
    print("trivial exe (bxag.exe) under the same warm Wine: median %.3f s" % base)
    print("ratio %.2f (target <= 1.3)" % (ours / base))


def log_times(text):
    times = []
    for line in text.splitlines():
        match = re.match(r"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}) .*?\] (.*) \[\w+\]$", line)
        if match:
            times.append((datetime.datetime.strptime(match.group(1), "%Y-%m-%d %H:%M:%S.%f"), match.group(2)))
    return times


def whole_installation(fx):
    t0 = time.monotonic()
    package = fx.agent_msi("bench100.msi", extra_bytes=100 << 20)
    print("100 MB package: %d bytes, made and signed in %.1f s" % (package.stat().st_size, time.monotonic() - t0))
    fx.reset()
    stub = fx.stub("bench_install", config_xml("https://localhost/files/bench100.msi", "<k>v</k>", "vpn"))
    launched = datetime.datetime.now()
    run = fx.wine.run(stub, timeout=900)
    ended = datetime.datetime.now()
    print("installation: exit code %d, %.2f s from launch to the installer's end" %
          (run.code, (ended - launched).total_seconds()))
    marks = [(launched, "launch")] + [
        (when, text) for when, text in log_times(fx.log_text())
        if text.startswith(("Starting", "Bastion Setup: Found an URL", "Temp file was generated", "BSX.msi",
                            "config.dat saved"))] + [(ended, "installer ended")]
    names = {"Starting": "process start to log set-up", "Bastion Setup: Found an URL": "self-check and configuration",
             "Temp file was generated": "window and temporary file", "BSX.msi downloaded": "download (100 MB)",
             "BSX.msi verified": "package signature check", "config.dat saved": "config.dat",
             "installer ended": "VPN value, guard and msiexec"}
    for (before, _), (after, text) in zip(marks, marks[1:]):
        label = next((v for k, v in names.items() if text.startswith(k)), text)
        print("   %-32s %7.2f s" % (label, (after - before).total_seconds()))


def main():
    exe_size()
    fx = Fixture(SOURCE, BUILD, WORK, BUILD.parent / "pki")
    fx.start()
    try:
        verify_ratio(fx)
        whole_installation(fx)
    finally:
        fx.stop()
        fx.reset()
    return 0


if __name__ == "__main__":
    sys.exit(main())
