"""What the end-to-end scenarios stand on: Wine paths, starting programs, reports, archives and file facts."""
import os
import re
import shutil
import struct
import subprocess
import time
from pathlib import Path

ENTRY_HEADER_SIZE = 36  # magic, six time fields, unpacked size, packed size


def win_path(path):
    """The Windows name of a host path under Wine's Z: drive."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def fnv1a64(data):
    value = 14695981039346656037
    for byte in data:
        value = ((value ^ byte) * 1099511628211) & 0xFFFFFFFFFFFFFFFF
    return "%016x" % value


def local_time_text(seconds):
    return time.strftime("%Y-%m-%d %H:%M:%S", time.localtime(seconds))


def read_report(path):
    """A "key=value" report as a dict, with %XX escapes undone; {} when it is missing."""
    report = {}
    try:
        text = Path(path).read_bytes().decode("latin-1")
    except OSError:
        return report
    for line in text.splitlines():
        key, sep, value = line.partition("=")
        if sep:
            report[key] = re.sub(r"%([0-9A-F]{2})", lambda m: chr(int(m.group(1), 16)), value)
    return report


def listing(report):
    """The probe's folder listing: {name: (size, time, hash)}."""
    files = {}
    for i in range(int(report.get("files", "0"))):
        name, size, stamp, digest = report["file.%d" % i].split("|")
        files[name] = (size, stamp, digest)
    return files


class Archive:
    """A SETUP.TMP read into its entries, so a test can change one and write it back.

    Each entry is [name bytes, 36-byte header, token stream]."""

    def __init__(self, data):
        self.entries = []
        count, = struct.unpack_from("<h", data, 0)
        offset = 2
        for _ in range(max(count, 0)):
            length, = struct.unpack_from("<H", data, offset)
            name = data[offset + 2:offset + 2 + length]
            offset += 2 + length
            header = bytearray(data[offset:offset + ENTRY_HEADER_SIZE])
            packed, = struct.unpack_from("<I", header, 32)
            offset += ENTRY_HEADER_SIZE
            tokens = data[offset:offset + packed]
            offset += packed
            self.entries.append([name, header, tokens])

    def entry(self, name):
        return next(e for e in self.entries if e[0] == name.encode("latin-1"))

    def bytes(self):
        out = bytearray(struct.pack("<h", len(self.entries)))
        for name, header, tokens in self.entries:
            out += struct.pack("<H", len(name)) + name + header + tokens
        return bytes(out)


class Wine:
    """Starts Windows programs in the test run's prefix and finds our tools."""

    def __init__(self, wine, pack):
        self.wine = wine
        self.pack_program = pack

    def env(self, extra=None):
        env = dict(os.environ)
        env.setdefault("WINEDEBUG", "-all")
        env.update(extra or {})
        return env

    def start(self, program, *args, env=None, cwd=None):
        return subprocess.Popen([self.wine, program, *args], env=self.env(env), cwd=cwd,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)

    def pack(self, archive, paths, *options):
        """velto-pack create: the host build when there is one, else the Windows one under Wine."""
        if self.pack_program.endswith(".exe"):
            command = [self.wine, self.pack_program, "create", win_path(archive),
                       *[win_path(p) for p in paths], *options]
        else:
            command = [self.pack_program, "create", str(archive), *[str(p) for p in paths], *options]
        done = subprocess.run(command, env=self.env(), capture_output=True, text=True)
        if done.returncode != 0:
            raise RuntimeError("velto-pack failed (%d): %s" % (done.returncode, done.stderr.strip()))

    def kill_all(self):
        """Ends every Windows process of the prefix (only after a scenario has hung)."""
        subprocess.run(["wineserver", "-k"], env=self.env(), check=False)


class Watch:
    """Notes when files come and go while a program runs: {relative path: [appeared, vanished]}."""

    def __init__(self, root, pattern):
        self.root = Path(root)
        self.pattern = pattern
        self.seen = {}

    def poll(self):
        now = time.time()
        present = {str(p.relative_to(self.root)) for p in self.root.glob(self.pattern)}
        for name in present:
            times = self.seen.setdefault(name, [now, None])
            times[1] = None
        for name, times in self.seen.items():
            if name not in present and times[1] is None:
                times[1] = now


def wait_for(process, watch, seconds):
    """Waits for process while polling watch; returns its status, or None after the time is up."""
    deadline = time.time() + seconds
    while time.time() < deadline:
        if watch:
            watch.poll()
        status = process.poll()
        if status is not None:
            if watch:
                watch.poll()
            return status
        time.sleep(0.02)
    return None


def fresh_folder(path):
    path = Path(path)
    if path.exists():
        shutil.rmtree(path)
    path.mkdir(parents=True)
    return path
