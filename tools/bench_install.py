#!/usr/bin/env python3
"""Installation figures; prints each with its goal and whether it is met,
asserts nothing.

  bench_install.py SOURCE BUILD_WIN64 BUILD_WIN32 WORK

1. The size of the i686 release exe against its 520,000-byte target (aim: 500,000), its sections,
   and the biggest contributors (object files and archive members, from a
   relink with a map file when the win32 tree has one).
2. The wall time of `BastionSetup.exe -v` on a stamped stub against a trivial
   exe under the same warm Wine: medians of several runs and their ratio.
   Under Wine, about 0.3 s of it is Wine's own: the self-check's chain
   building imports the host's CA bundle (/etc/ssl/certs) in every process,
   and the first process without a desktop starts one.
3. One installation of a 100 MB package from the HTTPS test server, from
   start to the installer's end, split by stage from the log's timestamps;
   its download stage (the temporary file's creation to the hold) against a
   bare WinHTTP download of the same file in the same prefix.
4. The same installation with its first response cut at 50%: the body bytes
   served against the package's, and the wall time against the uncut run."""
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


def figure(name, value, goal, met):
    """One line the next regression shows in at once."""
    print("FIGURE %s: %s (goal %s: %s)" % (name, value, goal, "met" if met else "NOT MET"))


def exe_size():
    exe = BUILD32 / "BastionSetup.exe"
    if not exe.exists():
        print("i686 exe: %s not built" % exe)
        return
    size = exe.stat().st_size
    figure("i686 exe size", "%d bytes (aim 500,000)" % size, "<= 520,000 bytes", size <= 520_000)
    headers = subprocess.run(["i686-w64-mingw32-objdump", "-h", str(exe)], capture_output=True, text=True).stdout
    for line in headers.splitlines():
        fields = line.split()
        if len(fields) >= 7 and fields[0].isdigit():
            print("   section %-8s %8d bytes" % (fields[1], int(fields[2], 16)))
    # The release link again, unstripped and with a map, to see what is in it.
    # It runs where CMake runs it, the product's own target folder.
    link_dir = BUILD32 / "Src" / "VTDropper"
    link = (link_dir / "CMakeFiles" / "BastionSetup.dir" / "link.txt").read_text().strip().splitlines()[-1]
    map_file = WORK / "BastionSetup-i686.map"
    WORK.mkdir(parents=True, exist_ok=True)
    output = re.search(r" -o (\S*BastionSetup\.exe) ", link)
    if output is None:
        print("   (no map: the link line names no BastionSetup.exe output)")
        return
    link = link.replace(" -s ", " ").replace(output.group(0), " -o %s -Wl,-Map=%s " % (
        WORK / "BastionSetup-i686-map.exe", map_file))
    relink = subprocess.run(link, shell=True, cwd=link_dir, capture_output=True, text=True)
    if relink.returncode != 0:
        print("   (no map: the relink failed: %s)" % relink.stderr.strip()[-300:])
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
    figure("-v against a trivial exe, ratio of medians", "%.2f" % (ours / base), "<= 1.3", ours / base <= 1.3)


def log_times(text):
    times = []
    for line in text.splitlines():
        match = re.match(r"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}) .*?\] (.*) \[\w+\]$", line)
        if match:
            times.append((datetime.datetime.strptime(match.group(1), "%Y-%m-%d %H:%M:%S.%f"), match.group(2)))
    return times


def stage_seconds(log, first, last):
    """Seconds between the log lines starting with `first` and `last`."""
    times = log_times(log)
    start = next(when for when, text in times if text.startswith(first))
    end = next(when for when, text in times if text.startswith(last) and when >= start)
    return (end - start).total_seconds()


def install(fx, name, path):
    """One installation of the 100 MB package from `path`; (run, seconds, log)."""
    fx.reset()
    fx.requests.write_text("")
    stub = fx.stub(name, config_xml("https://localhost" + path, "<k>v</k>", "vpn"))
    launched = datetime.datetime.now()
    run = fx.wine.run(stub, timeout=900)
    ended = datetime.datetime.now()
    return run, launched, ended, fx.log_text()


def whole_installation(fx):
    t0 = time.monotonic()
    package = fx.agent_msi("bench100.msi", extra_bytes=100 << 20)
    size = package.stat().st_size
    print("100 MB package: %d bytes, made and signed in %.1f s" % (size, time.monotonic() - t0))
    run, launched, ended, log = install(fx, "bench_install", "/files/bench100.msi")
    whole = (ended - launched).total_seconds()
    print("installation: exit code %d, %.2f s from launch to the installer's end" % (run.code, whole))
    marks = [(launched, "launch")] + [
        (when, text) for when, text in log_times(log)
        if text.startswith(("Starting", "Bastion Setup: Found an URL", "Temp file was generated", "BSX.msi",
                            "config.dat saved"))] + [(ended, "installer ended")]
    names = {"Starting": "process start to log set-up", "Bastion Setup: Found an URL": "self-check and configuration",
             "Temp file was generated": "window and temporary file", "BSX.msi downloaded": "download (100 MB)",
             "BSX.msi verified": "package signature check", "config.dat saved": "config.dat",
             "installer ended": "VPN value, guard and msiexec"}
    for (before, _), (after, text) in zip(marks, marks[1:]):
        label = next((v for k, v in names.items() if text.startswith(k)), text)
        print("   %-32s %7.2f s" % (label, (after - before).total_seconds()))

    # The download stage against a bare WinHTTP client on the same file, in
    # the same prefix, right after it.
    stage = stage_seconds(log, "Temp file was generated", "BSX.msi downloaded")
    bare = fx.wine.run(fx.helpers / "bench_download.exe", "bare", "/files/bench100.msi", timeout=600)
    found = re.search(r"bare (\d+) bytes ([\d.]+) s", bare.stdout)
    if found is None or int(found.group(1)) != size:
        print("bare WinHTTP download failed: %r" % (bare,))
    else:
        bare_seconds = float(found.group(2))
        ratio = bare_seconds / stage
        print("download stage %.2f s (%.1f MB/s), bare WinHTTP %.2f s (%.1f MB/s)" % (
            stage, size / 1e6 / stage, bare_seconds, size / 1e6 / bare_seconds))
        figure("download stage of an elevated run / bare WinHTTP, speed ratio", "%.3f" % ratio, ">= 0.9",
               ratio >= 0.9)

    # The first response cut at half: only the missing bytes come again.
    run, launched, ended, log = install(fx, "bench_resume", "/cutonce/files/bench100.msi")
    resumed = (ended - launched).total_seconds()
    requests = fx.requests.read_text().splitlines()
    # The server cuts the first plain request at half the body; a ranged one
    # carries the rest from its offset; any other plain one the whole.
    served = 0
    for index, line in enumerate(requests):
        ranged = re.search(r" Range=bytes=(\d+)-$", line)
        served += size - int(ranged.group(1)) if ranged else size // 2 if index == 0 else size
    received = re.findall(r"Run ended: exit code (\d+), (\d+) download attempts, (\d+) body bytes", log)
    print("cut once at 50%%: exit code %d, %d requests, %.2f s from launch to the installer's end (uncut %.2f s)"
          % (run.code, len(requests), resumed, whole))
    if received:
        print("   the run's own count: %s download attempts, %s body bytes received" % received[-1][1:])
    figure("body bytes served for a 100 MB package cut once at 50%, against its size", "%.3f (%d of %d)" % (
        served / size, served, size), "<= 1.05", run.code == 0 and served <= 1.05 * size)


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
