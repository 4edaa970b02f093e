#!/usr/bin/env python3
"""setup.exe end to end under Wine: every scenario from a folder of its own, with a probe INSTALL.EXE.

Prints one line per scenario and its failed checks, then "N passed, N failed";
exits 1 when a scenario failed, 2 when the run could not start.
"""
import argparse
import os
import shutil
import sys
import time
from pathlib import Path

sys.dont_write_bytecode = True  # nothing left in the source tree
sys.path.insert(0, str(Path(__file__).resolve().parent))
from e2e_support import (Archive, Wine, Watch, fnv1a64, fresh_folder, listing,  # noqa: E402
                         local_time_text, read_report, wait_for, win_path)

CLASS_NAME = "Velto 3D-Preloader"
WAITING_CAPTION = "Bitte warten. Installation wird vorbereitet..."
DECODE_FAILED = "Fehler beim Decodieren!"
STYLE_FRAME_BOXES = 0x00070000       # thick frame, minimise and maximise boxes: gone after the first paint
STYLE_CAPTION_SYSMENU = 0x00C80000   # caption and system menu: kept
STYLE_VISIBLE = 0x10000000
CLEANUP_DELAY = 3.0
CLOCK_SLACK = 0.05                   # host and Wine read the same clock; this covers rounding to ms
# A time the archive keeps exactly: local time, even seconds.
PACKED_TIME = time.mktime((2021, 6, 15, 10, 20, 30, 0, 0, -1))
RUN_SECONDS = 600                    # only a hung run ends a scenario; slow ones just take longer
HELPER_SECONDS = 600


class Checks:
    """The facts one scenario checks; each failure keeps what was expected and what was seen."""

    def __init__(self):
        self.failures = []
        self.count = 0

    def true(self, what, condition, seen=""):
        self.count += 1
        if not condition:
            self.failures.append("%s (seen: %s)" % (what, seen) if seen != "" else what)
        return condition

    def equal(self, what, actual, expected):
        return self.true("%s: expected %r" % (what, expected), actual == expected, repr(actual))


class Scenario:
    """One run of setup.exe: app/ holds setup.exe and SETUP.TMP, temp/ is its TEMP, report/ gets the reports."""

    def __init__(self, context, name, temp_name="temp"):
        self.context = context
        self.root = fresh_folder(context.work / name)
        self.app = fresh_folder(self.root / "app")
        self.temp = fresh_folder(self.root / temp_name)
        self.report = fresh_folder(self.root / "report")
        self.payload_dir = fresh_folder(self.root / "payload")
        shutil.copyfile(context.setup, self.app / "setup.exe")
        self.files = {}

    def payload(self, files):
        """Writes the files to pack (INSTALL.EXE is the probe), all with PACKED_TIME; returns their paths in order."""
        paths = []
        for name, data in files.items():
            path = self.payload_dir / name
            path.write_bytes(data)
            os.utime(path, (PACKED_TIME, PACKED_TIME))
            self.files[name] = data
            paths.append(path)
        return paths

    def pack(self, files, *options):
        self.context.wine.pack(self.app / "SETUP.TMP", self.payload(files), *options)

    def archive_path(self):
        return self.app / "SETUP.TMP"

    def folder(self, number=1):
        """The extraction folder on the host and its Windows name, with the backslash."""
        name = "_Velto3d%d" % number
        return self.temp / name, win_path(self.temp) + "\\" + name + "\\"

    def run(self, action="none", helper=None):
        """Runs setup.exe to its end (with a helper beside it if asked); returns status and reports."""
        wine = self.context.wine
        env = {"VELTO_E2E_DIR": win_path(self.report), "VELTO_E2E_ACTION": action,
               "VELTO_E2E_HOOK": win_path(self.context.hook)}
        watch = Watch(self.temp, "_Velto3d*/INSTALL.EXE")
        setup = wine.start(self.context.helper, "run", win_path(self.temp),
                           win_path(self.app / "setup.exe"), env=env)
        side = None
        if helper == "dismiss":
            side = wine.start(self.context.helper, "dismiss", DECODE_FAILED,
                              win_path(self.report / "dismiss.txt"), str(HELPER_SECONDS), env=env)
        elif helper in ("close", "close-after-probe"):
            after = [win_path(self.report) + "\\action.txt"] if helper == "close-after-probe" else []
            side = wine.start(self.context.helper, "close", win_path(self.report / "close.txt"),
                              str(HELPER_SECONDS), *after, env=env)
        status = wait_for(setup, watch, RUN_SECONDS)
        ended = time.time()
        if status is None:
            wine.kill_all()
            setup.wait()
        if side and wait_for(side, None, 60) is None:
            side.kill()
            side.wait()
        return Run(self, status, ended, watch)


class Run:
    def __init__(self, scenario, status, ended, watch):
        self.pointer_size = scenario.context.pointer_size
        self.status = status
        self.ended = ended
        self.watch = watch
        self.probe = read_report(scenario.report / "probe.txt")
        self.hook = read_report(scenario.report / "hook.txt")
        self.action = read_report(scenario.report / "action.txt")
        self.dismiss = read_report(scenario.report / "dismiss.txt")
        self.close = read_report(scenario.report / "close.txt")

    def installer_times(self, folder_name):
        return self.watch.seen.get(folder_name + "/INSTALL.EXE", [None, None])


# ---- payloads -----------------------------------------------------------------

def sample_files(context):
    """The probe as INSTALL.EXE, a text file, and 70 KB that cross the ring and the stream buffer."""
    pattern = bytes(range(256)) * 40
    noise = bytes((i * 7919 + (i >> 3) * 31) & 0xFF for i in range(60000))
    return {
        "INSTALL.EXE": context.probe.read_bytes(),
        "readme.txt": b"Velto end-to-end payload.\r\nZweite Zeile.\r\n",
        "data.bin": pattern[:10000] + noise,
    }


# ---- shared checks ------------------------------------------------------------

def check_status(checks, run):
    checks.equal("setup.exe ended within the time allowed with status", run.status, 0)


def check_window(checks, run):
    """What the probe saw of the window whose handle it got."""
    probe = run.probe
    if not checks.true("the probe ran and reported", bool(probe)):
        return
    checks.equal("window handle is a window", probe.get("is_window"), "1")
    checks.equal("class", probe.get("class"), CLASS_NAME)
    checks.equal("caption", probe.get("caption"), WAITING_CAPTION)
    width, height = (int(v) for v in probe["screen"].split(","))
    left, top = width // 2 - 175, height // 2 - 25
    checks.equal("window rectangle, centred on the %dx%d screen" % (width, height),
                 probe.get("rect"), "%d,%d,%d,%d" % (left, top, left + 350, top + 50))
    style = int(probe.get("style", "0"), 16)
    checks.equal("style without thick frame, minimise and maximise boxes (style %#x)" % style,
                 style & STYLE_FRAME_BOXES, 0)
    checks.equal("style keeps caption and system menu", style & STYLE_CAPTION_SYSMENU,
                 STYLE_CAPTION_SYSMENU)
    checks.true("window visible", probe.get("visible") == "1" and style & STYLE_VISIBLE,
                probe.get("visible"))


def check_class(checks, run):
    """The class record as the hook read it inside setup.exe's own process."""
    hook = run.hook
    if not checks.true("the class hook reported from inside setup.exe", bool(hook)):
        return
    checks.true("the hook ran in setup.exe", hook.get("process_image", "").lower().endswith("\\setup.exe"),
                hook.get("process_image"))
    expected = {
        "class_style": "0x00000003",        # CS_HREDRAW | CS_VREDRAW
        "class_extra": "0",
        "window_extra": str(run.pointer_size),  # the object slot: 4 bytes in the 32-bit program
        "icon_set": "1",
        "icon_is_resource": "1",            # IDI_SDIAPPLICATION from the program itself
        "icon_size": "32x32",
        "icon_resource": "1 32x32/16c/4bpp",
        "cursor_is_wait": "1",
        "brush_is_light_grey": "1",
        "menu_name_set": "0",
        "instance_is_program": "1",
        "wndproc_exported": "1",
        "wndproc_is_export": "1",           # the class's procedure is the export WndProc
        "object_slot_set": "1",             # bound on WM_CREATE
        "capture_is_window": "1",           # the mouse is captured
    }
    for key, value in expected.items():
        checks.equal("class record: " + key, hook.get(key), value)


def check_handoff(checks, run, scenario, folder_win):
    """Command line, Install.ini and the probe's own place."""
    probe = run.probe
    if not probe:
        return
    installer = folder_win + "INSTALL.EXE"
    handle = probe.get("handle_text", "")
    checks.true("the handle is plain decimal without leading zeros", handle.isdigit() and handle[0] != "0",
                handle)
    command = probe.get("command_line", "")
    path_part = command[:-len(handle) - 1] if handle and command.endswith(" " + handle) else command
    checks.equal("command line: installer path, a space, the handle", path_part.strip('"'), installer)
    checks.equal("the probe runs as the unpacked INSTALL.EXE", probe.get("module"), installer)
    inst_path = win_path(scenario.app) + "\\"
    checks.equal("Install.ini INST_PATH", probe.get("inst_path"), inst_path)
    lines = [line for line in probe.get("install_ini", "").replace("\r\n", "\n").split("\n") if line]
    checks.equal("Install.ini holds the section and the one key", lines,
                 ["[STANDARD]", "INST_PATH=" + inst_path])


def check_unpacked(checks, files_seen, scenario, expected_names):
    """The probe's view of the folder: these files, each with its bytes and its packed time."""
    checks.equal("files in the extraction folder", sorted(files_seen), sorted(expected_names))
    for name in expected_names:
        if name not in scenario.files or name not in files_seen:
            continue
        data = scenario.files[name]
        size, stamp, digest = files_seen[name]
        checks.equal(name + ": size", size, str(len(data)))
        checks.equal(name + ": bytes (FNV-1a)", digest, fnv1a64(data))
        checks.equal(name + ": last-write time", stamp, local_time_text(PACKED_TIME))


def check_cleanup(checks, run, folder, sent_key):
    """INSTALL.EXE went no sooner than 3 s after the last 666, and setup.exe ended after that."""
    appeared, vanished = run.installer_times(folder.name)
    sent = run.action.get(sent_key)
    if not checks.true("INSTALL.EXE was deleted while setup.exe ran", appeared and vanished,
                       "appeared %s, vanished %s" % (appeared, vanished)):
        return
    if not checks.true("the probe sent 666", sent is not None, run.action):
        return
    delay = vanished - int(sent) / 1000.0
    checks.true("cleanup no sooner than 3 s after the 666", delay >= CLEANUP_DELAY - CLOCK_SLACK,
                "%.3f s" % delay)
    checks.true("setup.exe ended after the cleanup", run.ended >= vanished - CLOCK_SLACK)


def check_left_behind(checks, folder, scenario, names):
    """After the run: the folder stays with exactly these files, unchanged; INSTALL.EXE is gone."""
    checks.true("the extraction folder stays", folder.is_dir(), folder)
    present = sorted(p.name for p in folder.iterdir()) if folder.is_dir() else []
    checks.equal("files left in the folder", present, sorted(names))
    for name in names:
        if name in scenario.files and (folder / name).is_file():
            checks.equal(name + " unchanged after the run", (folder / name).read_bytes(), scenario.files[name])


# ---- the scenarios --------------------------------------------------------------

def happy_path(context, name="happy_path", temp_name="temp"):
    """Archive with the probe and two files; one 666: everything unpacked, reported, cleaned up."""
    checks = Checks()
    scenario = Scenario(context, name, temp_name)
    scenario.pack(sample_files(context))
    run = scenario.run("once")
    folder, folder_win = scenario.folder(1)
    check_status(checks, run)
    check_window(checks, run)
    check_class(checks, run)
    check_handoff(checks, run, scenario, folder_win)
    check_unpacked(checks, {k: v for k, v in listing(run.probe).items() if k != "Install.ini"},
                   scenario, ["INSTALL.EXE", "readme.txt", "data.bin"])
    checks.true("Install.ini was there when the installer started", "Install.ini" in listing(run.probe))
    check_cleanup(checks, run, folder, "sent_666_ms.0")
    check_left_behind(checks, folder, scenario, ["readme.txt", "data.bin", "Install.ini"])
    return checks


def space_in_temp(context):
    """The same run with a temporary folder whose path has a space in it."""
    return happy_path(context, "space_in_temp", "temp with space")


def installer_alone(context):
    """An archive holding INSTALL.EXE alone: the folder stays, because Install.ini is in it."""
    checks = Checks()
    scenario = Scenario(context, "installer_alone")
    scenario.pack({"INSTALL.EXE": context.probe.read_bytes()})
    run = scenario.run("once")
    folder, folder_win = scenario.folder(1)
    check_status(checks, run)
    check_handoff(checks, run, scenario, folder_win)
    check_cleanup(checks, run, folder, "sent_666_ms.0")
    check_left_behind(checks, folder, scenario, ["Install.ini"])
    return checks


def installer_tidies_up(context):
    """The installer deletes everything else before its 666: the cleanup removes the emptied folder."""
    checks = Checks()
    scenario = Scenario(context, "installer_tidies_up")
    scenario.pack(sample_files(context))
    run = scenario.run("tidy")
    folder, _ = scenario.folder(1)
    check_status(checks, run)
    checks.equal("the probe deleted the other files", run.action.get("deleted_others"), "1")
    check_cleanup(checks, run, folder, "sent_666_ms.0")
    checks.true("the emptied extraction folder is gone", not folder.exists(),
                sorted(p.name for p in folder.iterdir()) if folder.is_dir() else "")
    return checks


def folder_numbering(context):
    """_Velto3d1 (a folder) and _Velto3d2 (a file) are taken, _Velto3d4 too: the run uses _Velto3d3."""
    checks = Checks()
    scenario = Scenario(context, "folder_numbering")
    (scenario.temp / "_Velto3d1").mkdir()
    (scenario.temp / "_Velto3d1" / "earlier.txt").write_bytes(b"from an earlier run\n")
    (scenario.temp / "_Velto3d2").write_bytes(b"a file in the way\n")
    (scenario.temp / "_Velto3d4").mkdir()
    scenario.pack(sample_files(context))
    run = scenario.run("once")
    folder, folder_win = scenario.folder(3)
    check_status(checks, run)
    checks.equal("the probe's folder", run.probe.get("folder"), folder_win)
    check_handoff(checks, run, scenario, folder_win)
    check_cleanup(checks, run, folder, "sent_666_ms.0")
    check_left_behind(checks, folder, scenario, ["readme.txt", "data.bin", "Install.ini"])
    checks.equal("the earlier folder is untouched", sorted(p.name for p in (scenario.temp / "_Velto3d1").iterdir()),
                 ["earlier.txt"])
    checks.equal("the file in the way is untouched", (scenario.temp / "_Velto3d2").read_bytes(),
                 b"a file in the way\n")
    checks.equal("_Velto3d4 stays empty", list((scenario.temp / "_Velto3d4").iterdir()), [])
    return checks


def two_messages(context):
    """666 twice, 1.5 s apart: one cleanup, no sooner than 3 s after the second."""
    checks = Checks()
    scenario = Scenario(context, "two_messages")
    scenario.pack(sample_files(context))
    run = scenario.run("twice")
    folder, _ = scenario.folder(1)
    check_status(checks, run)
    first, second = run.action.get("sent_666_ms.0"), run.action.get("sent_666_ms.1")
    checks.true("the probe sent two messages", first and second, run.action)
    if first and second:
        checks.true("the second 666 came 1.5 s after the first",
                    int(second) - int(first) >= 1400, int(second) - int(first))
    check_cleanup(checks, run, folder, "sent_666_ms.1")
    check_left_behind(checks, folder, scenario, ["readme.txt", "data.bin", "Install.ini"])
    return checks


def close_before_cleanup(context):
    """The user closes the window after the installer has ended, before any 666: status 0, nothing deleted."""
    checks = Checks()
    scenario = Scenario(context, "close_before_cleanup")
    scenario.pack(sample_files(context))
    run = scenario.run("none", helper="close-after-probe")
    folder, _ = scenario.folder(1)
    check_status(checks, run)
    checks.true("the installer ran and sent nothing", run.probe and run.action.get("action") == "none", run.action)
    checks.equal("the user closed the waiting window", run.close.get("caption"), WAITING_CAPTION)
    checks.equal("INSTALL.EXE never vanished", run.installer_times(folder.name)[1], None)
    check_left_behind(checks, folder, scenario, ["INSTALL.EXE", "readme.txt", "data.bin", "Install.ini"])
    return checks


def installer_closes_window(context):
    """The installer itself closes the window instead of sending 666: status 0, no cleanup."""
    checks = Checks()
    scenario = Scenario(context, "installer_closes_window")
    scenario.pack(sample_files(context))
    run = scenario.run("close")
    folder, _ = scenario.folder(1)
    check_status(checks, run)
    checks.true("the probe closed the window", "sent_close_ms" in run.action, run.action)
    checks.equal("INSTALL.EXE never vanished", run.installer_times(folder.name)[1], None)
    check_left_behind(checks, folder, scenario, ["INSTALL.EXE", "readme.txt", "data.bin", "Install.ini"])
    return checks


def archive_missing(context):
    """No SETUP.TMP: the empty folder is made, the window waits; closing it ends with status 0."""
    checks = Checks()
    scenario = Scenario(context, "archive_missing")
    run = scenario.run(helper="close")
    folder, _ = scenario.folder(1)
    check_status(checks, run)
    checks.equal("the window waited with its caption and was closed", run.close.get("caption"), WAITING_CAPTION)
    checks.true("no installer ran", not run.probe, run.probe)
    checks.true("the extraction folder was made", folder.is_dir())
    checks.equal("and holds nothing, not even Install.ini",
                 sorted(p.name for p in folder.iterdir()) if folder.is_dir() else None, [])
    return checks


def empty_archive(context):
    """An archive of no entries: no message, Install.ini written, no installer; the window waits."""
    checks = Checks()
    scenario = Scenario(context, "empty_archive")
    scenario.archive_path().write_bytes(b"\x00\x00")  # entry count 0
    run = scenario.run(helper="close")
    folder, _ = scenario.folder(1)
    check_status(checks, run)
    checks.equal("the window waited and was closed", run.close.get("caption"), WAITING_CAPTION)
    checks.true("no installer ran", not run.probe, run.probe)
    checks.equal("the folder holds Install.ini alone",
                 sorted(p.name for p in folder.iterdir()) if folder.is_dir() else None, ["Install.ini"])
    if (folder / "Install.ini").is_file():
        text = (folder / "Install.ini").read_bytes().decode("latin-1")
        checks.equal("Install.ini INST_PATH", [l for l in text.splitlines() if l],
                     ["[STANDARD]", "INST_PATH=" + win_path(scenario.app) + "\\"])
    return checks


def decoding_failure(context):
    """The second of three entries is cut short: one message box, then Install.ini and the installer."""
    checks = Checks()
    scenario = Scenario(context, "decoding_failure")
    files = {"INSTALL.EXE": context.probe.read_bytes(), "second.bin": sample_files(context)["data.bin"],
             "third.txt": b"never unpacked\r\n"}
    scenario.pack(files)
    archive = Archive(scenario.archive_path().read_bytes())
    header = archive.entry("second.bin")[1]
    packed = int.from_bytes(header[32:36], "little")
    header[32:36] = (packed // 2).to_bytes(4, "little")  # the decoder stops halfway, short of the size
    scenario.archive_path().write_bytes(archive.bytes())
    run = scenario.run("once", helper="dismiss")
    folder, folder_win = scenario.folder(1)
    check_status(checks, run)
    checks.equal("one message box", run.dismiss.get("boxes"), "1")
    checks.equal("its caption is the failed file's path", run.dismiss.get("box.0.caption"),
                 folder_win + "second.bin")
    checks.true("it has the text and an OK button only", run.dismiss.get("box.0.controls", "").count("Button:") == 1,
                run.dismiss.get("box.0.controls"))
    check_handoff(checks, run, scenario, folder_win)
    check_cleanup(checks, run, folder, "sent_666_ms.0")
    partial = (folder / "second.bin").read_bytes() if (folder / "second.bin").is_file() else None
    checks.true("second.bin holds what was decoded before the failure",
                partial is not None and 0 < len(partial) < len(files["second.bin"])
                and files["second.bin"].startswith(partial), None if partial is None else len(partial))
    checks.true("third.txt was never unpacked", not (folder / "third.txt").exists())
    checks.true("Install.ini was written", (folder / "Install.ini").is_file())
    checks.true("INSTALL.EXE is gone", not (folder / "INSTALL.EXE").exists())
    return checks


def unsafe_name(context):
    """An entry named ..\\escape.txt: refused with the message, nothing written outside the folder."""
    checks = Checks()
    scenario = Scenario(context, "unsafe_name")
    scenario.pack({"INSTALL.EXE": context.probe.read_bytes(), "escape.txt": b"must stay in the archive\r\n"})
    archive = Archive(scenario.archive_path().read_bytes())
    archive.entry("escape.txt")[0] = b"..\\escape.txt"
    scenario.archive_path().write_bytes(archive.bytes())
    run = scenario.run("once", helper="dismiss")
    folder, folder_win = scenario.folder(1)
    check_status(checks, run)
    checks.equal("one message box", run.dismiss.get("boxes"), "1")
    checks.equal("its caption is the refused path", run.dismiss.get("box.0.caption"), folder_win + "..\\escape.txt")
    checks.true("nothing was written beside the folder", not (scenario.temp / "escape.txt").exists())
    check_handoff(checks, run, scenario, folder_win)
    check_cleanup(checks, run, folder, "sent_666_ms.0")
    check_left_behind(checks, folder, scenario, ["Install.ini"])
    return checks


SCENARIOS = [happy_path, installer_alone, installer_tidies_up, folder_numbering, two_messages,
             close_before_cleanup, installer_closes_window, archive_missing, empty_archive,
             decoding_failure, unsafe_name, space_in_temp]


class Context:
    def __init__(self, args):
        self.wine = Wine(args.wine, args.pack)
        self.setup = Path(args.setup)
        self.probe = Path(args.probe)
        self.hook = Path(args.hook)
        self.helper = str(Path(args.helper))
        self.work = Path(args.work)
        self.pointer_size = args.pointer_size


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    for option in ("wine", "setup", "probe", "hook", "helper", "work"):
        parser.add_argument("--" + option, required=True)
    parser.add_argument("--pack", nargs="+", required=True,
                        help="velto-pack programs to try in order; the first that exists is used")
    parser.add_argument("--pointer-size", type=int, default=4, help="8 for the 64-bit test build")
    parser.add_argument("--only", action="append", help="run only these scenarios")
    args = parser.parse_args()
    args.pack = next((p for p in args.pack if Path(p).is_file()), None)
    if args.pack is None:
        print("e2e: no velto-pack found", file=sys.stderr)
        return 2
    context = Context(args)
    context.work.mkdir(parents=True, exist_ok=True)

    passed = failed = 0
    for scenario in SCENARIOS:
        if args.only and scenario.__name__ not in args.only:
            continue
        started = time.time()
        try:
            checks = scenario(context)
        except Exception as error:  # a scenario that cannot even be set up has failed
            checks = Checks()
            checks.true("scenario ran", False, "%s: %s" % (type(error).__name__, error))
        took = time.time() - started
        if checks.failures:
            failed += 1
            print("FAIL %s (%d checks, %.1f s)" % (scenario.__name__, checks.count, took))
            for failure in checks.failures:
                print("     - " + failure)
        else:
            passed += 1
            print("ok   %s (%d checks, %.1f s): %s" % (scenario.__name__, checks.count, took,
                                                        scenario.__doc__.splitlines()[0]))
        sys.stdout.flush()
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
