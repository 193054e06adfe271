"""orvalink-fly with a stand-in fgfs (tests/fly/stand_in_fgfs.cpp) in a
folder with blanks and parentheses, as 32-bit FlightGear installs on
Windows: the release it reports decides the route, the relay really runs,
and whatever ends first ends the rest. Natively and under the Windows
build's emulator."""
import math
import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest

from tool_support import BIN, EMULATOR, TIMEOUT, tool

SUFFIX = ".exe" if EMULATOR else ""
ENVIRONMENT = dict(os.environ, WINEDEBUG="-all") if EMULATOR else dict(os.environ)


def native_path(path):
    """The path as the program under test sees it."""
    return "Z:" + path.replace("/", "\\") if EMULATOR else path


def free_ports(count):
    """`count` consecutive loopback UDP ports that are free now (the system's pick for the first)."""
    for _ in range(50):
        probe = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        probe.bind(("127.0.0.1", 0))
        first = probe.getsockname()[1]
        held = [probe]
        try:
            for port in range(first + 1, first + count):
                other = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
                held.append(other)
                other.bind(("127.0.0.1", port))
            return first
        except OSError:
            continue
        finally:
            for sock in held:
                sock.close()
    raise RuntimeError("no free ports")


def packet17():
    """A version-17 datagram: version word 17, a finite position, the rest zero."""
    data = bytearray(336)
    struct.pack_into(">I", data, 0, 17)
    struct.pack_into(">ddd", data, 8, -2.76, 0.37, 10.0)
    return bytes(data)


class Fly(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()
        program_folder = os.path.join(self.folder, "Program Files (x86)", "FlightGear 2020.3", "bin")
        os.makedirs(program_folder)
        self.fgfs = os.path.join(program_folder, "fgfs" + SUFFIX)
        shutil.copy(os.path.join(BIN, "stand_in_fgfs" + SUFFIX), self.fgfs)
        self.log = os.path.join(self.folder, "log")
        os.mkdir(self.log)
        self.block = free_ports(1)
        self.fg = free_ports(3)

    def tearDown(self):
        shutil.rmtree(self.folder)

    def environment(self, version, run="wait", status="0", STAND_IN_SCENERY_AFTER="1", STAND_IN_BIND_FAILS="0",
                    STAND_IN_SPLASH_FOR="0.5"):
        # The user's cache folder, where the screens' FlightGear homes last: one of the test's own.
        return dict(ENVIRONMENT, STAND_IN_VERSION=version, STAND_IN_VERSION_STATUS=status,
                    STAND_IN_LOG=native_path(self.log), STAND_IN_RUN=run,
                    STAND_IN_SCENERY_AFTER=STAND_IN_SCENERY_AFTER, STAND_IN_BIND_FAILS=STAND_IN_BIND_FAILS,
                    STAND_IN_SPLASH_FOR=STAND_IN_SPLASH_FOR, XDG_CACHE_HOME=os.path.join(self.folder, "cache"))

    def command(self, args):
        return tool("orvalink-fly") + ["--fgfs", native_path(self.fgfs)] + args

    def start(self, version, args, **stand_in):
        return subprocess.Popen(self.command(["--port", str(self.block)] + args), stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True, env=self.environment(version, **stand_in))

    def runs(self, wanted):
        """The argument lists of the stand-ins that started, once `wanted` have."""
        deadline = time.monotonic() + TIMEOUT
        while len(os.listdir(self.log)) < wanted and time.monotonic() < deadline:
            time.sleep(0.05)
        time.sleep(0.2)
        runs = []
        for name in sorted(os.listdir(self.log)):
            with open(os.path.join(self.log, name)) as handle:
                runs.append(handle.read().splitlines())
        self.assertEqual(len(runs), wanted)
        return runs

    def finish(self, fly):
        out, err = fly.communicate(timeout=TIMEOUT)
        return fly.returncode, out, err

    def wait_for_line(self, fly, text):
        """Reads the launcher's standard error until a line holds `text`; the lines read."""
        lines = []
        deadline = time.monotonic() + TIMEOUT
        while time.monotonic() < deadline:
            line = fly.stderr.readline()
            if not line:
                break
            lines.append(line)
            if text in line:
                return lines
        self.fail(f"no line with {text!r} in {lines!r}")

    def assert_port_free(self, port):
        """Nothing the launcher started still holds `port`."""
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sock:
            sock.bind(("127.0.0.1", port))

    def assert_stand_ins_gone(self):
        if EMULATOR:
            return  # Windows process ids are not this system's
        for name in os.listdir(self.log):
            pid = int(name.split(".")[1])
            with self.assertRaises(ProcessLookupError, msg=f"stand-in {pid} still runs"):
                os.kill(pid, 0)

    def test_a_current_release_gets_the_relay_a_view_a_screen_and_extra_options(self):
        fly = self.start("FlightGear version: 2018.3.6\n", ["--fg-port", str(self.fg), "--screens", "3",
                                                             "--screen-angle", "45", "--screen-size", "640x480",
                                                             "--screen-option", "2:--httpd=8080", "--", "--enable-fullscreen"])
        runs = sorted(self.runs(3), key=lambda r: next(a for a in r if a.startswith("--native-fdm=")))
        ports = [next(a for a in r if a.startswith("--native-fdm=")) for r in runs]
        self.assertEqual(ports, [f"--native-fdm=socket,in,30,127.0.0.1,{p},udp" for p in range(self.fg, self.fg + 3)])
        # The view's own offset and the one a reset goes back to, not the current view's.
        view = "--prop:/sim/view[0]/config/"
        offsets = [float(next(a for a in r if a.startswith(view + "heading-offset-deg=")).split("=")[1]) for r in runs]
        self.assertEqual(offsets, [45, 0, -45])
        for offset, r in zip(offsets, runs):
            self.assertIn(f"{view}default-heading-offset-deg={offset:g}", r)
            self.assertFalse([a for a in r if "current-view" in a or "startup/xpos" in a])
        # Side by side, left to right, named windows placed by their camera group, each with a property
        # server and a home of its own; the one-screen option on screen 2 only.
        window = "--prop:/sim/rendering/camera-group/camera/window/"
        for screen, r in enumerate(runs):
            self.assertIn("--geometry=640x480", r)
            self.assertIn(f"{window}name=orvalink-screen-{screen + 1}", r)
            self.assertIn(f"{window}x={640 * screen}", r)
            self.assertIn(f"{window}y=0", r)
            self.assertIn(f"--prop:/sim/rendering/camera-group/gui/window/name=orvalink-screen-{screen + 1}", r)
            self.assertIn("--enable-fullscreen", r)
            self.assertEqual("--httpd=8080" in r, screen == 1)
        self.assertEqual(len({next(a for a in r if a.startswith("--props=")) for r in runs}), 3)
        homes = [next(a for a in r if a.startswith("env:FG_HOME=")) for r in runs]
        self.assertEqual(len(set(homes)), 3)
        for home in homes if not EMULATOR else []:  # under the emulator a Windows path
            self.assertTrue(home.split("=", 1)[1].startswith(os.path.join(self.folder, "cache", "orvalink-fly")), home)
            self.assertTrue(os.path.isdir(home.split("=", 1)[1]), home)
        # The relay it started translates the block's datagrams for every screen.
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as screen, \
                socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as block:
            screen.bind(("127.0.0.1", self.fg + 1))
            screen.settimeout(1.0)
            got = None
            for _ in range(20):
                block.sendto(packet17(), ("127.0.0.1", self.block))
                try:
                    got = screen.recv(1024)
                    break
                except socket.timeout:
                    pass
            self.assertIsNotNone(got, "the relay forwards")
            self.assertEqual((len(got), struct.unpack_from(">I", got)[0]), (408, 24))
        fly.send_signal(signal.CTRL_C_EVENT if os.name == "nt" else signal.SIGINT)
        code, out, err = self.finish(fly)
        self.assertEqual(code, 0, err)
        self.assertIn("FlightGear 2018.3.6 reads version-24 packets", err)
        self.assertIn("the screens' FlightGear homes are kept in ", err)
        self.assertEqual(out.count("+ "), 4)
        self.assertIn("fdm-relay", out.splitlines()[0])
        self.assert_port_free(self.block)
        self.assert_stand_ins_gone()

    def test_it_says_when_flightgear_is_ready(self):
        fly = self.start("FlightGear version: 2020.3.16\n", ["--fg-port", str(self.fg)], STAND_IN_SPLASH_FOR="1")
        began = time.monotonic()
        lines = self.wait_for_line(fly, "FlightGear is ready: run the model now")
        self.assertGreater(time.monotonic() - began, 1.5, "not before the scenery loaded (1 s) and the splash went (1 s)")
        props = [a for a in self.runs(1)[0] if a.startswith("--props=")]
        self.assertEqual(len(props), 1, "one property server, on a port the launcher picked")
        fly.send_signal(signal.CTRL_C_EVENT if os.name == "nt" else signal.SIGINT)
        code, _, err = self.finish(fly)
        self.assertEqual(code, 0, "".join(lines) + err)
        self.assert_stand_ins_gone()

    def flight_table(self, rows):
        path = os.path.join(self.folder, "flight.csv")
        with open(path, "w") as handle:
            handle.write("latitude_rad,longitude_rad,altitude_m,roll_rad,pitch_rad,heading_rad" +
                         "".join(f",c{i}" for i in range(22)) + "\n")
            for i in range(rows):
                handle.write(",".join(str(v) for v in [0.3720815072 + i * 1e-5, -2.756267588, 300, 0, 0.07,
                                                       -1.5 * math.pi + 1.396263402] + [0] * 22) + "\n")
        return path

    def test_play_starts_at_the_table_waits_for_flightgear_and_keeps_it_open(self):
        table = self.flight_table(3)
        fly = self.start("FlightGear version: 2020.3.16\n", ["--fg-port", str(self.fg), "--play", table],
                         STAND_IN_SCENERY_AFTER="1.5")
        run = self.runs(1)[0]  # its ports checked free, and started: the flight waits for the scenery
        self.assertIn("--lat=21.31870000", run)
        self.assertIn("--lon=-157.92250000", run)
        self.assertIn("--altitude=984.3", run)
        self.assertIn("--heading=170.000", run)  # 80 - 270 = -190 degrees, as FlightGear takes it: 0 to 360
        self.assertIn("--timeofday=noon", run)
        self.assertFalse([a for a in run if a.startswith("--airport")])
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as screen:
            screen.bind(("127.0.0.1", self.fg))
            screen.settimeout(TIMEOUT)
            lines = self.wait_for_line(fly, "FlightGear is ready; playing")
            got = [screen.recv(1024) for _ in range(3)]  # through the relay, translated
            self.assertEqual([len(d) for d in got], [408] * 3)
            lines += self.wait_for_line(fly, "is over; FlightGear stays until it is closed or Ctrl-C")
            time.sleep(0.5)
            self.assertIsNone(fly.poll(), "FlightGear kept open")
        fly.send_signal(signal.CTRL_C_EVENT if os.name == "nt" else signal.SIGINT)
        code, _, err = self.finish(fly)
        self.assertEqual(code, 0, "".join(lines) + err)
        self.assert_stand_ins_gone()
        self.assert_port_free(self.block)

    def test_play_with_loop_goes_round_until_stopped(self):
        table = self.flight_table(2)
        fly = self.start("FlightGear version: 2020.3.16\n", ["--fg-port", str(self.fg), "--play", table, "--loop"])
        self.runs(1)
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as screen:
            screen.bind(("127.0.0.1", self.fg))
            screen.settimeout(TIMEOUT)
            self.wait_for_line(fly, "FlightGear is ready; playing")
            latitudes = [struct.unpack_from(">d", screen.recv(1024), 16)[0] for _ in range(5)]
        self.assertEqual(len(set(latitudes)), 2)
        fly.send_signal(signal.CTRL_C_EVENT if os.name == "nt" else signal.SIGINT)
        code, _, err = self.finish(fly)
        self.assertEqual(code, 0, err)

    def test_fly_it_yourself_flightgears_controls_fly_the_pilots_aircraft(self):
        fly = self.start("FlightGear version: 2020.3.16\n", ["--fg-port", str(self.fg), "--pilot"])
        run = self.runs(1)[0]
        controls = next(a for a in run if a.startswith("--native-ctrls="))
        self.assertRegex(controls, r"^--native-ctrls=socket,out,30,127\.0\.0\.1,\d+,udp$")
        port = int(controls.split(",")[4])
        self.assertNotIn(port, (self.block, self.fg))
        self.assertIn("--lat=21.31870000", run)  # where the pilot's aircraft starts
        self.assertIn("--altitude=984.3", run)
        self.assertIn("--heading=80.000", run)
        lines = self.wait_for_line(fly, "FlightGear is ready; fly it with FlightGear's controls")
        # The aircraft flies by the controls that arrive there, and its state reaches FlightGear.
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as screen, \
                socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as stick:
            screen.bind(("127.0.0.1", self.fg))
            screen.settimeout(TIMEOUT)
            lines += self.wait_for_line(fly, "from the pilot's aircraft, flown by the controls on 127.0.0.1:" + str(port))
            controls = bytearray(744)
            struct.pack_into(">Id", controls, 0, 27, 0)
            struct.pack_into(">d", controls, 8, 1.0)  # full right aileron
            rolls = []
            for _ in range(40):
                stick.sendto(bytes(controls), ("127.0.0.1", port))
                rolls.append(struct.unpack_from(">f", screen.recv(1024), 36)[0])
            self.assertGreater(rolls[-1], 0.1)
        fly.send_signal(signal.CTRL_C_EVENT if os.name == "nt" else signal.SIGINT)
        code, _, err = self.finish(fly)
        self.assertEqual(code, 0, "".join(lines) + err)
        # The player's lines come whole, each on its own line (its summary only where
        # the stop reaches it as a signal: under the emulator it is ended).
        if not EMULATOR:
            self.assertRegex(err, r"(?m)^orvalink-run: [0-9]+ steps? sent to '127\.0\.0\.1:[0-9]+'")
            self.assertRegex(err, r"(?m)^orvalink-run: [1-9][0-9]* controls datagrams? taken")
        self.assert_stand_ins_gone()
        self.assert_port_free(port)

    def test_the_controls_port_is_checked_and_given_to_the_first_flightgear_only(self):
        controls = free_ports(1)
        done = self.dry_run("FlightGear version: 2020.3.16\n", ["--controls", str(controls), "--screens", "2",
                                                                 "--rate", "60"])
        self.assertEqual(done.returncode, 0, done.stderr)
        relay, first, second = done.stdout.splitlines()
        self.assertIn(f" --native-ctrls=socket,out,60,127.0.0.1,{controls},udp", first)
        self.assertNotIn("--native-ctrls", second)
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as holder:
            holder.bind(("127.0.0.1", controls))
            done = self.dry_run("FlightGear version: 2020.3.16\n", ["--controls", str(controls)])
        self.assertEqual(done.returncode, 1, done.stderr)
        self.assertIn(f"UDP port {controls} (the controls') is not free", done.stderr)
        self.assertEqual(done.stdout, "")

    def test_play_reads_the_whole_table_before_flightgear_starts(self):
        table = self.flight_table(3)
        with open(table, "a") as handle:
            handle.write("1,2,3\n")
        done = self.dry_run("FlightGear version: 2020.3.16\n", ["--play", table])
        self.assertEqual(done.returncode, 1, done.stderr)
        self.assertIn(":5: ", done.stderr)  # the bad row named by its line
        self.assertEqual(done.stdout, "")
        self.assertEqual(os.listdir(self.log), [], "nothing started")

    def test_the_one_release_that_reads_version_17_reads_the_block_port(self):
        fly = self.start("FlightGear version: 0.9.4\n", [])
        run, = self.runs(1)
        self.assertIn(f"--native-fdm=socket,in,30,127.0.0.1,{self.block},udp", run)
        self.assertFalse(any("heading-offset" in a for a in run))
        fly.send_signal(signal.SIGINT)
        code, out, err = self.finish(fly)
        self.assertEqual(code, 0, err)
        self.assertNotIn("fdm-relay", out)
        self.assert_stand_ins_gone()

    def test_the_end_of_any_child_ends_the_rest_and_says_how(self):
        cases = ((dict(run="exit:3"), 1, "FlightGear exited with status 3; stopped the rest"),
                 (dict(run="crash"), 1, "FlightGear crashed (exception 0xC0000005)" if EMULATOR
                  else "FlightGear was killed by signal 11"),
                 (dict(run="exit:0"), 0, "FlightGear was closed; stopped the rest"))
        for stand_in, expected, message in cases:
            with self.subTest(**stand_in):
                fly = self.start("FlightGear version: 2020.3.16\n", ["--fg-port", str(self.fg)], **stand_in)
                code, _, err = self.finish(fly)
                self.assertEqual(code, expected, err)
                self.assertIn(message, err)
                self.assert_port_free(self.block)
        # The relay's port taken: refused before anything starts, the port named.
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as taken:
            taken.bind(("127.0.0.1", self.block))
            fly = self.start("FlightGear version: 2020.3.16\n", ["--fg-port", str(self.fg)])
            code, _, err = self.finish(fly)
        self.assertEqual(code, 1, err)
        self.assertIn(f"UDP port {self.block} (fdm-relay's) is not free", err)
        self.assert_stand_ins_gone()

    def dry_run(self, version, args, status="0"):
        # Free ports unless the test names its own: a dry run checks that they are free.
        ports = [] if "--port" in args else ["--port", str(self.block), "--fg-port", str(self.fg)]
        for _ in range(2):
            done = subprocess.run(self.command(["--dry-run"] + ports + args), capture_output=True, text=True,
                                  env=self.environment(version, status=status), timeout=TIMEOUT)
            # The launcher says something on every path; a run that failed silently never ran
            # (Wine now and then fails to start a program): once more then.
            if done.returncode == 0 or done.stdout or done.stderr:
                break
            print("note: the launcher failed without a word; running it once more", file=sys.stderr)
        return done

    def test_releases_that_read_another_version_or_none_it_can_tell(self):
        done = self.dry_run("FlightGear version: 0.9.7\n", [])
        self.assertEqual(done.returncode, 1)
        self.assertIn("FlightGear 0.9.7 reads a packet version from 18 to 23, which neither the block (17) nor "
                      "fdm-relay (24) writes", done.stderr)
        # No display: the cause is shown, and the relay, which every release since 2006 needs, is used.
        done = self.dry_run("Unable to open display :0\n", [], status="1")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("--version exited with status 1: 'Unable to open display :0'; going through fdm-relay",
                      done.stderr)
        self.assertIn("fdm-relay", done.stdout.splitlines()[0])
        # A log line's time stamp is no release, whatever the exit status.
        for status in ("0", "134"):
            done = self.dry_run("   0.00 [ALRT]:general    Unable to open display \":0\"\n", [], status=status)
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertIn("going through fdm-relay", done.stderr)
            self.assertNotIn("0.00 reads", done.stderr)
        done = self.dry_run("FlightGear version: 0.9.4\n", ["--screens", "2"])
        self.assertEqual(done.returncode, 1)
        self.assertIn("several screens need fdm-relay's fan-out", done.stderr)
        self.assertEqual(os.listdir(self.log), [], "a dry run starts nothing")

    def test_a_port_in_use_is_refused_before_anything_starts(self):
        for taken, whose in ((self.block, "fdm-relay's"), (self.fg + 1, "FlightGear (screen 2)'s")):
            with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as holder:
                holder.bind(("127.0.0.1", taken))
                done = self.dry_run("FlightGear version: 2020.3.16\n",
                                    ["--port", str(self.block), "--fg-port", str(self.fg), "--screens", "2"])
            self.assertEqual(done.returncode, 1, done.stderr)
            self.assertIn(f"UDP port {taken} ({whose}) is not free", done.stderr)
            self.assertEqual(done.stdout, "")
        self.assertEqual(os.listdir(self.log), [], "nothing started")

    def test_a_failed_bind_flightgear_reports_stops_everything(self):
        fly = self.start("FlightGear version: 2020.3.16\n", ["--fg-port", str(self.fg)], STAND_IN_BIND_FAILS="1")
        code, _, err = self.finish(fly)
        self.assertEqual(code, 1, err)
        self.assertIn(f"bind(127.0.0.1:{self.fg}) failed", err)  # FlightGear's own line, passed on
        self.assertIn(f"orvalink-fly: FlightGear could not bind UDP port {self.fg} (another program holds it?); "
                      "stopped everything", err)
        self.assert_stand_ins_gone()
        self.assert_port_free(self.block)

    def test_bad_usage_is_refused_before_anything_starts(self):
        for args, message in ((["--screens", "3", "--", "--telnet=5401"],
                               "'--telnet=5401' would open the same port in each of the 3 FlightGears: give it to "
                               "one with --screen-option 1:--telnet=5401"),
                              (["--screens", "2", "--screen-option", "3:--telnet=5401"], "there are 2 screens"),
                              (["--screen-option", "1:telnet"], "--screen-option '1:telnet': N:OPTION"),
                              (["--screen-size", "20x20"], "--screen-size '20x20': WIDTHxHEIGHT"),
                              (["--port", "5500", "--fg-port", "5500"], "--port 5500 is also a FlightGear port"),
                              (["--port", "5502", "--fg-port", "5500", "--screens", "3"], "the relay would send to itself"),
                              (["--port", "0x157c"], "--port '0x157c': a whole number from 1 to 65535"),
                              (["--port", "4.7e4"], "--port '4.7e4'"),
                              (["--rate", "0"], "--rate '0': a whole number from 1 to 1000"),
                              (["--screens", "17"], "--screens '17': a whole number from 1 to 16"),
                              (["--timeofday", "night"], "--timeofday 'night': real, dawn, morning"),
                              (["--airport", "a b"], "--airport 'a b'"),
                              (["extra"], "unexpected argument 'extra'"),
                              (["--nope"], "unknown option '--nope'"),
                              (["--dry-run=1"], "--dry-run takes no value"),
                              (["--pilot", "--play", "x.csv"], "--pilot and --play exclude each other"),
                              (["--pilot", "--airport", "KSFO"], "--airport and --pilot"),
                              (["--port", "5500", "--controls", "5500"], "--controls 5500 is also the block's"),
                              (["--controls", "0"], "--controls '0': a whole number from 1 to 65535")):
            with self.subTest(args=args):
                done = self.dry_run("FlightGear version: 2020.3.16\n", args)
                self.assertEqual(done.returncode, 2, done.stderr)
                self.assertIn(message, done.stderr)
                self.assertEqual(len(done.stderr.splitlines()), 1, done.stderr)
        # A leading zero is decimal, not octal.
        done = self.dry_run("FlightGear version: 2020.3.16\n", ["--port", f"0{self.block}", "--fg-port", f"00{self.fg}"])
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn(f"--listen 127.0.0.1:{self.block} --quiet --to 127.0.0.1:{self.fg}", done.stdout)

    @unittest.skipIf(EMULATOR, "PATH and FGFS are this system's")
    def test_fgfs_from_the_environment_then_the_path_then_usr_games(self):
        # Whether this machine has /usr/games/fgfs changes nothing before the last step.
        elsewhere = os.path.join(self.folder, "elsewhere")
        os.mkdir(elsewhere)
        shutil.copy(self.fgfs, os.path.join(elsewhere, "fgfs"))
        env = dict(self.environment("FlightGear version: 2020.3.16\n"),
                   PATH=os.path.dirname(self.fgfs) + os.pathsep + os.environ["PATH"],
                   FGFS=os.path.join(elsewhere, "fgfs"))
        done = subprocess.run(tool("orvalink-fly") + ["--dry-run", "--port", str(self.block), "--fg-port", str(self.fg)], capture_output=True, text=True, env=env,
                              timeout=TIMEOUT)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("+ " + os.path.join(elsewhere, "fgfs") + " --fdm=null", done.stdout)
        del env["FGFS"]
        done = subprocess.run(tool("orvalink-fly") + ["--dry-run", "--port", str(self.block), "--fg-port", str(self.fg)], capture_output=True, text=True, env=env,
                              timeout=TIMEOUT)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("+ '" + self.fgfs + "' --fdm=null", done.stdout)
        env["PATH"] = "/nowhere"
        done = subprocess.run(tool("orvalink-fly") + ["--dry-run", "--port", str(self.block), "--fg-port", str(self.fg)], capture_output=True, text=True, env=env,
                              timeout=TIMEOUT)
        if os.access("/usr/games/fgfs", os.X_OK):
            self.assertIn("+ /usr/games/fgfs --fdm=null", done.stdout)
        else:
            self.assertEqual(done.returncode, 1)
            self.assertIn("FlightGear (fgfs) not found in FGFS, on PATH or in /usr/games", done.stderr)

if __name__ == "__main__":
    import warnings
    warnings.simplefilter("ignore", ResourceWarning)
    unittest.main(verbosity=2)
