#!/usr/bin/env python3
"""The Windows setup program under Wine, silent, on a fake MATLAB folder
whose toolbox\\local\\pathdef.m is a CR LF path definition with lines before
and after the entries: install, the installed runner, refusals that change
nothing, and an uninstall that gives back every other byte. Every wait is
bounded.

usage: installer_test.py SETUP.exe PREVIOUS-SETUP.exe HOLD.exe EMULATOR

PREVIOUS-SETUP.exe is the previous release's setup, built from its commit;
an empty file when the history did not hold that commit (the upgrade test
then says why it cannot run).
"""
import contextlib
import functools
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

SETUP = sys.argv.pop(1)
PREVIOUS_SETUP = sys.argv.pop(1)
HOLD = sys.argv.pop(1)
WINE = sys.argv.pop(1)
TIMEOUT = 120
VERSION = re.search(r"orvalink-([0-9.]+)-", os.path.basename(SETUP)).group(1)
ARCH = "win64" if "win64" in os.path.basename(SETUP) else "win32"
OTHER_ARCH = "win32" if ARCH == "win64" else "win64"
UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\orvalink"

PATHDEF = (
    "function p = pathdef\r\n"
    "%PATHDEF Search path defaults.\r\n"
    "%   Copyright of the fake MATLAB: nobody.\r\n"
    "\r\n"
    "p = [...\r\n"
    "%%% BEGIN ENTRIES %%%\r\n"
    "     matlabroot,'\\toolbox\\matlab\\general;',...\r\n"
    "     matlabroot,'\\toolbox\\local;',...\r\n"
    "%%% END ENTRIES %%%\r\n"
    "     ...\r\n"
    "];\r\n"
    "\r\n"
    "p = [userpath,';',p];\r\n"
).encode("ascii") + b"% caf\xe9 \x81 bytes beyond ASCII stay as they were\r\n"


def windows(path):
    """The path as a program under Wine sees it (drive Z: is the root)."""
    return "Z:" + path.replace("/", "\\")


def wine(args, **kwargs):
    env = dict(os.environ, WINEDEBUG="-all")
    return subprocess.run([WINE] + args, capture_output=True, timeout=TIMEOUT, env=env, **kwargs)


def read_log(path):
    """A setup log: UTF-16 with a byte-order mark."""
    data = read(path)
    assert data.startswith(b"\xff\xfe"), data[:40]
    return data.decode("utf-16").splitlines()


@functools.cache
def wine_temp():
    """Wine's %TEMP% as a path here. Wine's loader now and then crashes as a
    program exits and leaves no output, so the question is asked up to three times."""
    for _ in range(3):
        temp = wine(["cmd", "/c", "echo %TEMP%"], text=True).stdout.strip()
        # winepath through the same loader: plain "winepath" starts the 32-bit one.
        folder = wine(["winepath", "-u", temp], text=True).stdout.strip() if temp else ""
        if folder:
            return folder
    raise AssertionError("Wine did not name its %TEMP% folder")


def read(path):
    with open(path, "rb") as handle:
        return handle.read()


def version_of(path, key="ProductVersion"):
    """A string of a program's version resource (ProductVersion unless said), or None."""
    data = read(path)
    key = key.encode("utf-16-le") + b"\0\0"
    at = data.find(key)
    if at < 0:
        return None
    at += len(key)
    at += (4 - at % 4) % 4
    end = at
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le")


@contextlib.contextmanager
def held(kind, what):
    """While inside: `what` (a file, or a mutex name) held by another program, as MATLAB holds the block."""
    holder = subprocess.Popen([WINE, HOLD, kind, what], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                              env=dict(os.environ, WINEDEBUG="-all"))
    try:
        if holder.stdout.readline().strip() != b"held":
            raise RuntimeError(f"hold {kind} {what} did not start")
        yield
    finally:
        holder.stdin.close()
        holder.wait(timeout=TIMEOUT)
        holder.stdout.close()


def snapshot(root):
    """Every file under root with its bytes (a symbolic link: where it points)."""
    files = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            files[os.path.relpath(path, root)] = os.readlink(path) if os.path.islink(path) else read(path)
    return files


class Setup(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="orvalink-setup-")
        # A blank, as in "Program Files": the argument arrives quoted.
        self.matlab = os.path.join(self.work, "MATLAB", "R2024b Update 1")
        self.local = os.path.join(self.matlab, "toolbox", "local")
        os.makedirs(self.local)
        os.makedirs(os.path.join(self.matlab, "bin", ARCH))
        with open(os.path.join(self.local, "pathdef.m"), "wb") as handle:
            handle.write(PATHDEF)
        # No blank in the folders: Wine would quote the argument, and /D= must come unquoted.
        self.target = os.path.join(self.work, "Programs", "orvalink")

    def tearDown(self):
        wine(["reg", "delete", UNINSTALL_KEY, "/f"])
        shutil.rmtree(self.work, ignore_errors=True)
        # What setup holds to put back after a failure goes once it succeeded or put all back.
        held_copies = [name for name in os.listdir(wine_temp()) if name.startswith("orvalink-setup-held")]
        for name in held_copies:
            shutil.rmtree(os.path.join(wine_temp(), name))
        self.assertEqual(held_copies, [])

    def entries(self, target=None):
        folder = windows(target or self.target)
        return "".join(f"'{folder}{suffix};',...\r\n" for suffix in ("", "\\samples", "\\trim", "\\util", "\\fgutil"))

    def with_entries(self, lines):
        marker = b"%%% END ENTRIES %%%\r\n"
        before, after = PATHDEF.split(marker)
        return before + lines.encode() + marker + after

    def last_log_line(self, folder=None):
        if folder is None:
            folder = wine_temp()
        return read_log(os.path.join(folder, "orvalink-setup.log"))[-1]

    def install(self, target=None, matlab=None):
        return wine([SETUP, "/S", "/MATLAB=" + windows(matlab or self.matlab), "/D=" + windows(target or self.target)])

    def uninstall(self):
        run = wine([os.path.join(self.target, "uninstall.exe"), "/S"])
        self.assertEqual(run.returncode, 0)
        # The uninstaller runs on from a copy of itself in the temporary folder.
        deadline = time.monotonic() + 60
        while os.path.exists(self.target) and time.monotonic() < deadline:
            time.sleep(0.2)

    def test_install_registers_the_package_runs_the_tools_and_uninstall_gives_it_back(self):
        with open(os.path.join(self.local, "pathdef.old"), "wb") as handle:
            handle.write(b"an earlier backup\r\n")
        run = self.install()
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)

        # The caller's duty: pathdef.old is the earlier pathdef.m; an earlier pathdef.old is kept.
        self.assertEqual(read(os.path.join(self.local, "pathdef.old")), PATHDEF)
        self.assertEqual(read(os.path.join(self.local, "pathdef.old.1")), b"an earlier backup\r\n")
        folder = windows(self.target)
        entries = "".join(f"'{folder}{suffix};',...\r\n" for suffix in ("", "\\samples", "\\trim", "\\util", "\\fgutil"))
        marker = b"%%% END ENTRIES %%%\r\n"
        before, after = PATHDEF.split(marker)
        self.assertEqual(read(os.path.join(self.local, "pathdef.m")), before + entries.encode() + marker + after)

        # The layout: one MEX file, in the package folder, beside the source that MATLAB's mex builds;
        # the emulated host's libraries only beside the tools.
        files = snapshot(self.target)
        for name in ("orvalink.dll", "orvalink.cpp", "orvalink_controls.cpp", "build_orvalink.m", "orvalink_library.m", "orvalink_demo.m",
                     "orvalink_makecfg.m", "orvalink_controls_makecfg.m", os.path.join("samples", "honolulu-climbing-turn.csv"),
                     "orvalink.fmu", "brindle.dll", "README.txt", "uninstall.exe", os.path.join("util", "orvalink-run.exe"),
                     os.path.join("util", "fdm-listen.exe"), os.path.join("util", "fdm-relay.exe"),
                     os.path.join("fgutil", "fdm_native.lua")):
            self.assertIn(name, files)
        # 32-bit MATLAB loads the block itself: by its MEX name from 7.1 on, as the DLL before.
        self.assertEqual(sorted(n for n in files if os.path.basename(n).lower().startswith("orvalink.")),
                         ["orvalink.cpp", "orvalink.dll", "orvalink.fmu"] + (["orvalink.mexw32"] if ARCH == "win32" else []))
        if ARCH == "win32":
            self.assertEqual(read(os.path.join(self.target, "orvalink.mexw32")), read(os.path.join(self.target, "orvalink.dll")))
        self.assertEqual(sorted(os.path.dirname(n) for n in files if os.path.basename(n) in ("libmx.dll", "libmex.dll")),
                         ["util", "util"])
        self.assertTrue(any(n.startswith("samples") and n.endswith(".csv") for n in files))
        # Every text file with CR LF, as Windows editors show them.
        texts = [n for n in files if n.endswith((".md", ".m", ".cpp", ".csv", ".lua", ".py", ".txt"))]
        self.assertIn("CHANGELOG.md", texts)
        for name in texts:
            self.assertEqual(files[name].count(b"\n"), files[name].count(b"\r\n"), name)
        self.assertTrue(os.path.isdir(os.path.join(self.target, "trim")))

        # The installed runner, started from its folder, finds the block in the folder above.
        sink = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        sink.bind(("127.0.0.1", 0))
        sink.settimeout(30)
        run = wine([windows(os.path.join(self.target, "util", "orvalink-run.exe")), "--port",
                    str(sink.getsockname()[1]), "--steps", "3", "--fast"], cwd=os.path.join(self.target, "util"))
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(len(sink.recv(2048)), 336)
        sink.close()

        self.uninstall()
        self.assertFalse(os.path.exists(self.target), snapshot(self.target) if os.path.exists(self.target) else "")
        self.assertEqual(read(os.path.join(self.local, "pathdef.m")), PATHDEF)

    def test_a_reinstall_leaves_one_set_of_entries_and_one_backup(self):
        pathdef = os.path.join(self.local, "pathdef.m")
        for _ in range(3):
            self.assertEqual(self.install().returncode, 0)
            self.assertEqual(read(pathdef), self.with_entries(self.entries()))
            self.assertEqual(sorted(os.listdir(self.local)), ["pathdef.m", "pathdef.old"])
            self.assertEqual(read(os.path.join(self.local, "pathdef.old")), PATHDEF)
        self.uninstall()
        self.assertEqual(read(pathdef), PATHDEF)
        self.assertEqual(sorted(os.listdir(self.local)), ["pathdef.m"])  # setup's own copy goes too
        self.assertFalse(os.path.exists(self.target))

    def test_the_users_own_backups_are_kept_and_put_back(self):
        own = os.path.join(self.local, "pathdef.old")
        with open(own, "wb") as handle:
            handle.write(b"% the user's own backup\r\n")
        self.assertEqual(self.install().returncode, 0)
        self.assertEqual(read(own + ".1"), b"% the user's own backup\r\n")
        self.assertIn("kept in " + windows(own), self.last_log_line(self.target))
        self.uninstall()
        self.assertEqual(sorted(os.listdir(self.local)), ["pathdef.m", "pathdef.old"])
        self.assertEqual(read(own), b"% the user's own backup\r\n")
        # A copy of setup's that the user changed since stays.
        self.assertEqual(self.install().returncode, 0)
        time.sleep(1.1)  # another modification time
        with open(own, "ab") as handle:
            handle.write(b"% changed\r\n")
        self.uninstall()
        self.assertEqual(sorted(os.listdir(self.local)), ["pathdef.m", "pathdef.old", "pathdef.old.1"])

    def test_a_read_only_pathdef_stays_read_only(self):
        pathdef = os.path.join(self.local, "pathdef.m")
        self.assertEqual(wine(["attrib", "+r", windows(pathdef)]).returncode, 0)
        self.assertFalse(os.stat(pathdef).st_mode & 0o222)
        self.assertEqual(self.install().returncode, 0)
        self.assertEqual(read(pathdef), self.with_entries(self.entries()))
        self.assertFalse(os.stat(pathdef).st_mode & 0o222)
        self.uninstall()
        self.assertEqual(read(pathdef), PATHDEF)
        self.assertFalse(os.stat(pathdef).st_mode & 0o222)
        self.assertEqual(sorted(os.listdir(self.local)), ["pathdef.m"])

    def test_an_earlier_install_without_a_working_uninstaller_is_replaced(self):
        # What an older setup left: its uninstall key, its install.ini, no uninstaller, and
        # three sets of entry lines from three runs of it.
        pathdef = os.path.join(self.local, "pathdef.m")
        os.makedirs(self.target)
        with open(os.path.join(self.target, "install.ini"), "w", encoding="ascii") as handle:
            handle.write(f"[orvalink]\r\ndefinition={windows(self.local)}\\\r\nkept=\r\n")
        with open(pathdef, "wb") as handle:
            handle.write(self.with_entries(self.entries() * 3))
        self.assertEqual(wine(["reg", "add", UNINSTALL_KEY, "/v", "InstallLocation", "/d", windows(self.target),
                               "/f"]).returncode, 0)
        self.assertEqual(self.install().returncode, 0)
        self.assertEqual(read(pathdef), self.with_entries(self.entries()))
        self.uninstall()
        self.assertEqual(read(pathdef), PATHDEF)

    def test_a_second_folder_is_refused_when_silent(self):
        pathdef = os.path.join(self.local, "pathdef.m")
        self.assertEqual(self.install().returncode, 0)
        registered = read(pathdef)
        other = os.path.join(self.work, "Other", "orvalink")
        run = self.install(target=other)
        self.assertEqual(run.returncode, 2)
        self.assertIn("already installed in " + windows(self.target), self.last_log_line())
        self.assertFalse(os.path.exists(other))
        self.assertEqual(read(pathdef), registered)
        self.uninstall()
        self.assertEqual(read(pathdef), PATHDEF)

    def test_uninstall_removes_only_what_setup_installed(self):
        # A folder the user had before, such as Documents\MATLAB, with files of their own
        # beside and inside the folders setup fills.
        mine = {os.path.join("samples", "my-flight.csv"): b"1,2,3\r\n", "startup.m": b"disp('hi')\r\n",
                os.path.join("util", "notes.txt"): b"mine\r\n", os.path.join("trim", "trim.mat"): b"\0\1"}
        for name, data in mine.items():
            os.makedirs(os.path.dirname(os.path.join(self.target, name)), exist_ok=True)
            with open(os.path.join(self.target, name), "wb") as handle:
                handle.write(data)
        self.assertEqual(self.install().returncode, 0)
        self.assertTrue(os.path.exists(os.path.join(self.target, "samples", "honolulu-climbing-turn.csv")))
        self.uninstall()
        self.assertEqual(snapshot(self.target), mine)
        self.assertFalse(os.path.exists(os.path.join(self.target, "fgutil")))

    def test_files_in_use_stop_the_uninstall_before_it_changes_anything(self):
        self.assertEqual(self.install().returncode, 0)
        pathdef = os.path.join(self.local, "pathdef.m")
        registered = read(pathdef)
        before = snapshot(self.target)
        # Add/Remove Programs' quiet command runs it in place (_?=), so that its exit code comes back.
        query = wine(["reg", "query", UNINSTALL_KEY, "/v", "QuietUninstallString"], text=True).stdout
        quiet = re.search(r"QuietUninstallString\s+REG_SZ\s+(.*?)\s*$", query, re.M).group(1)
        self.assertEqual(quiet, f'"{windows(self.target)}\\uninstall.exe" /S _?={windows(self.target)}')
        program, arguments = re.match(r'"([^"]+)" (.*)', quiet).groups()
        with held("file", windows(os.path.join(self.target, "orvalink.dll"))):
            run = wine([program] + arguments.split(" "))  # no blank in the folder
            self.assertEqual(run.returncode, 4)
        self.assertEqual(snapshot(self.target), before | {"orvalink-setup.log": snapshot(self.target)["orvalink-setup.log"]})
        self.assertIn("orvalink.dll is in use", self.last_log_line(self.target))
        self.assertEqual(read(pathdef), registered)
        self.uninstall()
        self.assertEqual(read(pathdef), PATHDEF)
        self.assertFalse(os.path.exists(self.target))

    def test_add_remove_programs_entry_and_version_information(self):
        self.assertEqual(version_of(SETUP), VERSION)
        self.assertEqual(self.install().returncode, 0)
        query = wine(["reg", "query", UNINSTALL_KEY], text=True).stdout
        values = dict(re.findall(r"^\s+(\w+)\s+REG_\w+\s+(.*?)\s*$", query, re.M))
        self.assertEqual(values.get("DisplayVersion"), VERSION)
        # Both setups installed show two entries: each names its bitness.
        self.assertEqual(values.get("DisplayName"), f"orvalink {VERSION} ({ARCH[3:]}-bit)")
        self.assertEqual(values.get("UninstallString"), f'"{windows(self.target)}\\uninstall.exe" _?={windows(self.target)}')
        self.assertEqual(values.get("Publisher"), "The orvalink developers")
        self.assertEqual(values.get("DisplayIcon"), windows(self.target) + "\\uninstall.exe")
        self.assertEqual(values.get("Readme"), windows(self.target) + "\\README.txt")
        self.assertNotIn("URLInfoAbout", values)  # a URL or nothing; there is no project site
        self.assertGreater(int(values.get("EstimatedSize", "0x0"), 16), 1000)  # KB: the tools alone are more
        # Each program says what it is: the setup, its uninstaller, the launcher.
        uninstaller = os.path.join(self.target, "uninstall.exe")
        self.assertEqual(version_of(uninstaller), VERSION)
        self.assertIn(" installer (", version_of(SETUP, "FileDescription"))
        self.assertIn(" uninstall (", version_of(uninstaller, "FileDescription"))
        self.assertEqual(version_of(os.path.join(self.target, "util", "orvalink-fly.exe")), VERSION)
        licence = read(os.path.join(self.target, "LICENSE.txt"))
        self.assertIn(b"MIT License", licence)
        self.assertEqual(licence.count(b"\n"), licence.count(b"\r\n"))
        # The README: CR LF throughout, and every program installed is named in it.
        readme = read(os.path.join(self.target, "README.txt"))
        self.assertEqual(readme.count(b"\n"), readme.count(b"\r\n"))
        for folder in ("util", "fgutil"):
            for name in os.listdir(os.path.join(self.target, folder)):
                if not name.endswith(".dll"):
                    self.assertIn(f"{folder}\\{name}".encode(), readme)
        self.uninstall()

    def test_one_setup_at_a_time(self):
        with held("mutex", "orvalink-setup"):
            run = self.install()
        self.assertEqual(run.returncode, 5)
        self.assertIn("Another orvalink setup", self.last_log_line())
        self.assertFalse(os.path.exists(self.target))
        self.assertEqual(self.install().returncode, 0)
        self.uninstall()

    def test_a_pathdef_old_held_open_stops_setup_before_anything_changes(self):
        # The user's pathdef.old, held open, could not be kept aside: found before any file is written.
        pathdef = os.path.join(self.local, "pathdef.m")
        own = os.path.join(self.local, "pathdef.old")
        with open(own, "wb") as handle:
            handle.write(b"% the user's own backup\r\n")
        with held("file", windows(own)):
            run = self.install()
        self.assertEqual(run.returncode, 4)
        self.assertIn("pathdef.old is in use: another program has it open", self.last_log_line())
        self.assertEqual(read(pathdef), PATHDEF)
        self.assertEqual(sorted(os.listdir(self.local)), ["pathdef.m", "pathdef.old"])
        self.assertFalse(os.path.exists(self.target))

    def test_the_matlab_folder_must_fit_the_setups_architecture(self):
        other = os.path.join(self.work, "Other MATLAB")
        os.makedirs(os.path.join(other, "toolbox", "local"))
        os.makedirs(os.path.join(other, "bin", OTHER_ARCH))
        with open(os.path.join(other, "toolbox", "local", "pathdef.m"), "wb") as handle:
            handle.write(PATHDEF)
        run = self.install(matlab=other)
        self.assertEqual(run.returncode, 2)
        self.assertIn(f"has bin\\{OTHER_ARCH}, not bin\\{ARCH}", self.last_log_line())
        self.assertFalse(os.path.exists(self.target))
        # Neither folder: perhaps a copy of MATLAB, so a warning, and the install goes on.
        shutil.rmtree(os.path.join(other, "bin"))
        self.assertEqual(self.install(matlab=other).returncode, 0)
        with open(os.path.join(self.target, "orvalink-setup.log"), encoding="utf-16") as handle:
            self.assertIn("has neither bin\\win32 nor bin\\win64", handle.read())
        self.assertIn(self.entries().encode(), read(os.path.join(other, "toolbox", "local", "pathdef.m")))
        self.uninstall()

    def test_the_log_and_the_exit_code_say_when_the_package_is_not_on_the_path(self):
        pathdef = os.path.join(self.local, "pathdef.m")
        without_marker = PATHDEF.replace(b"%%% END ENTRIES %%%\r\n", b"")
        with open(pathdef, "wb") as handle:
            handle.write(without_marker)
        self.assertEqual(self.install().returncode, 7)  # installed, but not on the path
        last = self.last_log_line(self.target)
        self.assertIn("did not register it", last)
        self.assertNotIn("registered it in", last)
        self.assertEqual(read(pathdef), without_marker)
        self.uninstall()

    def test_a_quoted_install_folder_is_refused_when_silent(self):
        blank = os.path.join(self.work, "With Blank", "orvalink")
        # A blank makes Wine quote the argument: "/D=Z:\...\With Blank\orvalink".
        run = wine([SETUP, "/S", "/MATLAB=" + windows(self.matlab), "/D=" + windows(blank)])
        self.assertEqual(run.returncode, 2)
        self.assertIn("in quotes", self.last_log_line())
        self.assertFalse(os.path.exists(blank))
        for default in ("C:\\Program Files\\orvalink", "C:\\Program Files (x86)\\orvalink"):
            where = wine(["winepath", "-u", default], text=True).stdout.strip()
            self.assertFalse(where and os.path.exists(where), default)
        self.assertEqual(read(os.path.join(self.local, "pathdef.m")), PATHDEF)

    def test_uninstall_takes_out_entries_that_savepath_laid_out_anew(self):
        self.assertEqual(self.install().returncode, 0)
        pathdef = os.path.join(self.local, "pathdef.m")
        folder = windows(self.target)
        marker = b"%%% END ENTRIES %%%\r\n"
        before, after = PATHDEF.split(marker)
        # As MATLAB's savepath writes them, in another case and with forward slashes, and one
        # line (trim) deleted by the user.
        relaid = "".join(f"     '{f};', ...\r\n" for f in (folder, folder + "\\SAMPLES", folder.upper() + "\\util",
                                                             folder.replace("\\", "/") + "/fgutil"))
        with open(pathdef, "wb") as handle:
            handle.write(before + relaid.encode() + marker + after)
        self.uninstall()
        self.assertEqual(read(pathdef), PATHDEF)
        self.assertFalse(os.path.exists(pathdef + ".orvalink-new"))

    def test_the_newest_matlab_in_the_registry_is_the_default(self):
        older = os.path.join(self.work, "MATLAB", "R2019a")
        os.makedirs(os.path.join(older, "toolbox", "local"))
        with open(os.path.join(older, "toolbox", "local", "pathdef.m"), "wb") as handle:
            handle.write(PATHDEF)
        key = "HKLM\\SOFTWARE\\MathWorks\\MATLAB"
        try:
            # The newest key is a MATLAB since removed: its folder is gone, so it is passed over.
            removed = os.path.join(self.work, "MATLAB", "R2025a")
            for version, root in (("9.6", older), ("24.2", self.matlab), ("9.14", older), ("25.1", removed)):
                self.assertEqual(wine(["reg", "add", f"{key}\\{version}", "/v", "MATLABROOT", "/d", windows(root),
                                       "/f"]).returncode, 0)
            run = wine([SETUP, "/S", "/D=" + windows(self.target)])
            self.assertEqual(run.returncode, 0)
            self.assertIn(windows(self.target).encode(), read(os.path.join(self.local, "pathdef.m")))
            self.assertEqual(read(os.path.join(older, "toolbox", "local", "pathdef.m")), PATHDEF)
            self.uninstall()
        finally:
            wine(["reg", "delete", "HKLM\\SOFTWARE\\MathWorks", "/f"])

    def test_refusals_change_nothing_on_disk(self):
        long_target = self.work + "/" + "p" * (104 - len(windows(self.work)) - 1)
        self.assertEqual(len(windows(long_target)), 104)
        no_pathdef = os.path.join(self.work, "NotMATLAB")
        os.makedirs(os.path.join(no_pathdef, "toolbox", "local"))
        # A MATLAB folder that the ANSI code page cannot hold, with a path definition in it.
        greek = os.path.join(self.work, "MATLAB", "\u03a9\u03bc\u03ad\u03b3\u03b1", "R2024a")
        os.makedirs(os.path.join(greek, "toolbox", "local"))
        shutil.copy(os.path.join(self.local, "pathdef.m"), os.path.join(greek, "toolbox", "local"))
        long_matlab = os.path.join(self.work, "M" * 100)
        # One that fails part-way: pathdef.old cannot be written (a link to nowhere, which root
        # cannot write either), so all that setup changed goes back.
        broken = os.path.join(self.work, "Broken MATLAB")
        shutil.copytree(self.matlab, broken)
        os.symlink("/nonexistent/pathdef.old", os.path.join(broken, "toolbox", "local", "pathdef.old"))
        cases = [
            (self.target, broken, "to pathdef.old. Is the folder writable? Everything setup had changed is as it was."),
            (long_target, self.matlab, "has 104 characters"),
            (self.target, greek, "ANSI code page cannot hold"),
            (self.target, long_matlab, "more than the 108"),
            (self.target, no_pathdef, "holds no pathdef.m, the file that lists MATLAB's path. If "),
            (self.work + "/O'Neil/orvalink", self.matlab, "holds a quote"),
            (self.work + "/a;b/orvalink", self.matlab, "holds a semicolon"),
            (self.work + "/J\u00f6rg/orvalink", self.matlab, "is not printable ASCII"),
        ]
        for target, matlab, reason in cases:
            before = snapshot(self.work)
            run = self.install(target=target, matlab=matlab)
            self.assertNotEqual(run.returncode, 0, reason)
            self.assertEqual(snapshot(self.work), before, reason)
            self.assertFalse(os.path.exists(target))
            self.assertIn(reason, self.last_log_line())
            if matlab in (greek, long_matlab) or "J\u00f6rg" in target:  # named whole, with what to do instead
                self.assertIn(windows(matlab if matlab != self.matlab else target), self.last_log_line())
                self.assertIn(f"addpath('{windows(target)}', ", self.last_log_line())
        # /D= takes the rest of the command line: an option after it is refused, not made part of the folder.
        before = snapshot(self.work)
        run = wine([SETUP, "/S", "/D=" + windows(self.target), "/MATLAB=" + windows(self.matlab)])
        self.assertEqual(run.returncode, 2)
        self.assertEqual(snapshot(self.work), before)
        self.assertIn("/D= is not last", self.last_log_line())


    def test_install_folders_as_given_are_taken_or_refused_before_any_page(self):
        """A folder that NSIS would replace with its default, or that is no
        whole folder on a drive here, and /S after /D=: exit 2, nothing written."""
        elsewhere = "not one setup can use"  # NSIS put its default in its place
        cases = [
            # /D= value          before   after    what the log says
            ("Q:\\orvalink", ["/S"], [], ("which this computer does not have", elsewhere)),
            ("orvalink", ["/S"], [], ("not a whole folder name", elsewhere)),
            ("C:", ["/S"], [], ("not a whole folder name", elsewhere)),
            ("\\\\server\\share\\orvalink", ["/S"], [], ("network folder", elsewhere)),
            ("C:\\a?b", ["/S"], [], ("which no Windows folder name may hold", elsewhere)),
            ("C:\\a|b", ["/S"], [], ("which no Windows folder name may hold", elsewhere)),
            # A deployment that meant to be silent: no page may wait for a click.
            (windows(self.target), [], ["/S"], ("/D= is not last",)),
        ]
        for given, before_d, after_d, reasons in cases:
            before = snapshot(self.work)
            run = wine([SETUP] + before_d + ["/MATLAB=" + windows(self.matlab), "/D=" + given] + after_d)
            self.assertEqual(run.returncode, 2, given)
            self.assertEqual(snapshot(self.work), before, given)
            last = self.last_log_line()
            self.assertTrue(any(reason in last for reason in reasons), (given, last))
            self.assertNotEqual(wine(["reg", "query", UNINSTALL_KEY]).returncode, 0, given)
            for default in ("C:\\Program Files\\orvalink", "C:\\Program Files (x86)\\orvalink"):
                where = wine(["winepath", "-u", default], text=True).stdout.strip()
                self.assertFalse(where and os.path.exists(where), (given, default))

    def test_no_matlab_of_this_bitness_is_said_so(self):
        run = wine([SETUP, "/S", "/D=" + windows(self.target)])
        self.assertEqual(run.returncode, 2)
        self.assertIn(f"No {ARCH[3:]}-bit MATLAB was found", self.last_log_line())
        self.assertFalse(os.path.exists(self.target))

    def test_a_second_matlab_takes_the_registration_and_the_log_says_so(self):
        other = os.path.join(self.work, "MATLAB", "R2023b")
        shutil.copytree(self.matlab, other)
        self.assertEqual(self.install().returncode, 0)
        self.assertEqual(self.install(matlab=other).returncode, 0)
        self.assertEqual(read(os.path.join(self.local, "pathdef.m")), PATHDEF)
        self.assertIn(self.entries().encode(), read(os.path.join(other, "toolbox", "local", "pathdef.m")))
        log = "\n".join(read_log(os.path.join(self.target, "orvalink-setup.log")))
        self.assertIn("Moved orvalink's registration from " + windows(self.local) + "\\pathdef.m", log)
        self.uninstall()

    def test_an_uninstall_without_install_ini_finds_the_entries_by_their_folder(self):
        key = "HKLM\\SOFTWARE\\MathWorks\\MATLAB"
        try:
            self.assertEqual(wine(["reg", "add", f"{key}\\24.2", "/v", "MATLABROOT", "/d", windows(self.matlab),
                                   "/f"]).returncode, 0)
            self.assertEqual(self.install().returncode, 0)
            os.remove(os.path.join(self.target, "install.ini"))
            self.uninstall()
            with open(os.path.join(wine_temp(), "orvalink-uninstall.log"), encoding="utf-16") as handle:
                log = handle.read()
            self.assertIn("install.ini is gone", log)
            self.assertIn("Took orvalink's folders off MATLAB's path (5 lines of " + windows(self.local), log)
            self.assertEqual(read(os.path.join(self.local, "pathdef.m")), PATHDEF)
        finally:
            wine(["reg", "delete", "HKLM\\SOFTWARE\\MathWorks", "/f"])

    def test_the_users_own_entries_of_the_folder_stay_through_install_and_uninstall(self):
        # The install folder already on MATLAB's path, by the user's hand (Documents\MATLAB, say).
        pathdef = os.path.join(self.local, "pathdef.m")
        folder = windows(self.target)
        mine = f"     '{folder};', ...\r\n     '{folder}\\util;', ...\r\n".encode()
        marker = b"%%% END ENTRIES %%%\r\n"
        before, after = PATHDEF.split(marker)
        own = before + mine + marker + after
        with open(pathdef, "wb") as handle:
            handle.write(own)
        for run in range(2):  # an install, then a reinstall over it
            self.assertEqual(self.install().returncode, 0, run)
            self.assertEqual(read(pathdef), before + mine + self.entries().encode() + marker + after, run)
            log = "\n".join(read_log(os.path.join(self.target, "orvalink-setup.log")))
            self.assertIn("entries of your own", log)
            self.assertEqual("Took 5 entry lines of the earlier install" in log, run == 1, log)
        self.uninstall()
        self.assertEqual(read(pathdef), own)

    def put_user_files(self):
        """A file of the user's in the install folder and in each of its package folders."""
        mine = {name: f"{name}: the user's own\r\n".encode() for name in
                ("startup.m", "samples\\my-flight.csv", "util\\my-tool.py", "fgutil\\my.lua", "trim\\trim.mat")}
        for name, data in mine.items():
            path = os.path.join(self.target, *name.split("\\"))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as handle:
                handle.write(data)
        return {os.path.join(*name.split("\\")): data for name, data in mine.items()}

    def test_an_upgrade_keeps_every_file_the_user_made(self):
        if os.path.getsize(PREVIOUS_SETUP) == 0:
            note = os.path.join(os.path.dirname(PREVIOUS_SETUP), "previous-release", "unavailable.txt")
            self.skipTest(read(note).decode() if os.path.exists(note) else "no setup of the previous release")
        pathdef = os.path.join(self.local, "pathdef.m")
        own_backup = b"% the user's own pathdef.old\r\n"
        with open(os.path.join(self.local, "pathdef.old"), "wb") as handle:
            handle.write(own_backup)
        previous = wine([PREVIOUS_SETUP, "/S", "/MATLAB=" + windows(self.matlab), "/D=" + windows(self.target)])
        self.assertEqual(previous.returncode, 0)
        mine = self.put_user_files()
        # An upgrade that cannot finish (setup's pathdef.old held open) stops before it takes
        # anything of the earlier copy: its files, entries and Add/Remove entry stay.
        before = snapshot(self.work)
        key = wine(["reg", "query", UNINSTALL_KEY], text=True).stdout
        with held("file", windows(os.path.join(self.local, "pathdef.old"))):
            self.assertEqual(self.install().returncode, 4)
        self.assertEqual(snapshot(self.work), before)
        self.assertEqual(wine(["reg", "query", UNINSTALL_KEY], text=True).stdout, key)
        # A shipped file the user changed: kept beside the new one, and named in the log (and put
        # back in its place by an upgrade that fails).
        edited = read(os.path.join(self.target, "build_orvalink.m")) + b"% my change\r\n"
        with open(os.path.join(self.target, "build_orvalink.m"), "wb") as handle:
            handle.write(edited)
        # One that fails late, on a file it cannot write (a link to nowhere, which root cannot write
        # either), after it took the earlier copy out: that copy is put back whole.
        blocked = os.path.join(self.target, "orvalink_library.m")
        os.symlink("/nonexistent/orvalink_library.m", blocked)
        before = snapshot(self.work)
        self.assertEqual(self.install().returncode, 3)
        self.assertEqual(snapshot(self.work), before)
        self.assertEqual(wine(["reg", "query", UNINSTALL_KEY], text=True).stdout, key)
        self.assertIn(f"Could not write all of orvalink's files into {windows(self.target)}", self.last_log_line())
        self.assertIn(f"Everything setup had changed is as it was, the orvalink in {windows(self.target)} too.",
                      self.last_log_line())
        os.remove(blocked)
        # Upgrade; then the previous release's setup again (it cannot refuse: it does not know
        # this one), which meets this release's uninstaller; then upgrade once more.
        for setup, code in ((SETUP, 0), (PREVIOUS_SETUP, 0), (SETUP, 0)):
            self.assertEqual(wine([setup, "/S", "/MATLAB=" + windows(self.matlab),
                                   "/D=" + windows(self.target)]).returncode, code, setup)
            files = snapshot(self.target)
            for name, data in mine.items():
                self.assertEqual(files.get(name), data, (setup, name))
            self.assertEqual(read(pathdef), self.with_entries(self.entries()), setup)
            # Besides the user's own pathdef.old, at most one backup, and none with a line of ours.
            backups = {name: read(os.path.join(self.local, name)) for name in os.listdir(self.local)
                       if name.startswith("pathdef.old")}
            self.assertEqual(sorted(backups.values()), sorted([PATHDEF, own_backup]), setup)
        self.assertEqual(read(os.path.join(self.target, "build_orvalink.m.edited")), edited)
        self.assertNotEqual(read(os.path.join(self.target, "build_orvalink.m")), edited)
        mine[os.path.join("build_orvalink.m.edited")] = edited
        self.assertEqual(sorted(os.listdir(self.local)), ["pathdef.m", "pathdef.old", "pathdef.old.1"])
        self.assertEqual(read(os.path.join(self.local, "pathdef.old")), PATHDEF)
        # The log names each file that stayed; files of the previous release are there, up to date.
        log = "\n".join(read_log(os.path.join(self.target, "orvalink-setup.log")))
        for name in mine:
            self.assertIn(f"Kept {windows(self.target)}\\{name.replace(os.sep, chr(92))}: setup did not install it", log)
        self.assertIn("Took out the earlier orvalink 1.1.0", log)
        query = wine(["reg", "query", UNINSTALL_KEY, "/v", "DisplayVersion"], text=True).stdout
        self.assertIn(VERSION, query)
        self.uninstall()
        self.assertEqual(read(pathdef), PATHDEF)
        self.assertEqual(sorted(os.listdir(self.local)), ["pathdef.m", "pathdef.old"])
        self.assertEqual(read(os.path.join(self.local, "pathdef.old")), own_backup)
        self.assertEqual(snapshot(self.target), mine)

    def test_an_older_setup_does_not_replace_a_newer_install(self):
        self.assertEqual(self.install().returncode, 0)
        self.assertEqual(wine(["reg", "add", UNINSTALL_KEY, "/v", "DisplayVersion", "/d", "99.0.0",
                               "/f"]).returncode, 0)
        before = snapshot(self.work)
        run = self.install()
        self.assertEqual(run.returncode, 6)
        self.assertEqual(snapshot(self.work), before)
        self.assertIn(f"orvalink 99.0.0 is installed in {windows(self.target)}, newer than this setup's {VERSION}",
                      self.last_log_line())
        self.uninstall()

    def test_a_pathdef_held_open_stops_setup_and_uninstall_before_anything_changes(self):
        pathdef = os.path.join(self.local, "pathdef.m")
        with held("file", windows(pathdef)):
            before = snapshot(self.work)
            self.assertEqual(self.install().returncode, 4)
            self.assertEqual(snapshot(self.work), before)
            self.assertIn("pathdef.m is open in another program, which locks it", self.last_log_line())
        self.assertEqual(self.install().returncode, 0)
        registered = read(pathdef)
        with held("file", windows(pathdef)):
            run = wine([os.path.join(self.target, "uninstall.exe"), "/S", "_?=" + windows(self.target)])
            self.assertEqual(run.returncode, 4)
        self.assertEqual(read(pathdef), registered)
        self.assertTrue(os.path.exists(os.path.join(self.target, "orvalink.dll")))
        self.uninstall()

    def test_the_uninstaller_logs_what_it_removed_and_kept_and_waits_its_turn(self):
        log = os.path.join(wine_temp(), "orvalink-uninstall.log")
        uninstaller = [os.path.join(self.target, "uninstall.exe"), "/S", "_?=" + windows(self.target)]
        self.assertEqual(self.install().returncode, 0)
        with held("mutex", "orvalink-setup-or-uninstall"):  # a setup of this release
            self.assertEqual(wine(uninstaller).returncode, 5)
        self.assertIn("Another orvalink setup or uninstall is running", read_log(log)[-1])
        mine = self.put_user_files()
        # MATLAB was removed since: a line in the log, not a warning.
        shutil.rmtree(self.matlab)
        os.remove(log)
        self.assertEqual(wine(uninstaller).returncode, 0)
        lines = read_log(log)
        self.assertIn(f"{windows(self.local)}\\pathdef.m is gone", "\n".join(lines))
        self.assertIn(f"Removed the files that setup installed in {windows(self.target)}.", lines)
        for name in mine:
            self.assertIn(f"Kept {windows(self.target)}\\{name.replace(os.sep, chr(92))}: setup did not install it.",
                          lines)
        # Run in place, it cannot delete itself: it moves itself out of the folder (Windows) or has
        # Windows delete it at the next start (Wine, which does not move a running program), and
        # says which; its own last line, not the installer's.
        if any(line.startswith("Moved this uninstaller, which cannot delete itself") for line in lines):
            self.assertEqual(snapshot(self.target), mine)
        else:
            self.assertIn(f"Windows deletes {windows(self.target)}\\uninstall.exe, and the folder when empty, when it "
                          "next starts.", "\n".join(lines))
            self.assertEqual(snapshot(self.target), mine | {"uninstall.exe": read(uninstaller[0])})
        self.assertTrue(lines[-1].startswith("orvalink is uninstalled."))

if __name__ == "__main__":
    unittest.main(verbosity=2)
