#!/usr/bin/env python3
"""Recording and replay, the picture of a flight and orvalink-fly, end to
end on loopback: files that Wireshark's tools and tcpdump wrote, bad files,
the plot checked as an image, and FlightGear played by a stand-in. Every
wait is bounded; every port is picked by the system.

usage: recordings_test.py BIN_DIR [EMULATOR]
"""
import math
import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest

from tool_support import BIN, EMULATOR, TIMEOUT, receiver, tool


def run(args, **kwargs):
    return subprocess.run(tool(args[0]) + args[1:], capture_output=True, timeout=TIMEOUT, **kwargs)


def drain(sock, wait=0.5):
    """Every datagram that arrives until none has for `wait` seconds."""
    got = []
    sock.settimeout(wait)
    try:
        while True:
            got.append(sock.recv(4096))
    except socket.timeout:
        return got


def v17(latitude):
    packet = bytearray(336)
    struct.pack_into(">I", packet, 0, 17)
    struct.pack_into(">d", packet, 16, latitude)
    return bytes(packet)


def pcap(records, link=101):
    """A classic pcap file; records are (seconds, frame)."""
    out = struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, link)
    for seconds, frame in records:
        out += struct.pack("<IIII", int(seconds), int(round((seconds % 1) * 1e6)), len(frame), len(frame)) + frame
    return out


def ipv4_udp(payload, dst_port, src_port=40000, protocol=17):
    udp = struct.pack(">HHHH", src_port, dst_port, 8 + len(payload), 0) + payload
    return struct.pack(">BBHHHBBH4s4s", 0x45, 0, 20 + len(udp), 0, 0x4000, 64, protocol, 0,
                       bytes([127, 0, 0, 1]), bytes([127, 0, 0, 1])) + udp


def record(count, extra_datagrams=()):
    """Records `count` demo steps (and some datagrams of our own) with fdm-listen --record; the file's path."""
    descriptor, path = tempfile.mkstemp(suffix=".pcap")
    os.close(descriptor)
    listener = subprocess.Popen(tool("fdm-listen") + ["--port", "0", "--json", "--record", path, "--count", str(count),
                                                      "--timeout", str(TIMEOUT)],
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    line = listener.stderr.readline()
    port = int(line.split("listening on ")[1].split(":")[1])
    sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    for datagram in extra_datagrams:
        sender.sendto(datagram, ("127.0.0.1", port))
    subprocess.run(tool("orvalink-run") + ["--port", str(port), "--steps", str(count), "--sample-time", "0.01",
                                           "--quiet"], check=True, timeout=TIMEOUT)
    listener.communicate(timeout=TIMEOUT)
    return path, port


class RecordAndReplay(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.path, cls.port = record(20, [b"junk", v17(0.5)[:300]])

    @classmethod
    def tearDownClass(cls):
        os.unlink(cls.path)

    def test_the_recording_holds_every_datagram_as_received_and_replays_byte_for_byte(self):
        sink = receiver()
        done = run(["fdm-replay", self.path, "--to", f"127.0.0.1:{sink.getsockname()[1]}", "--fast"], text=True)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("replaying 20 datagrams", done.stderr)
        self.assertIn("2 not FlightGear datagrams", done.stderr)  # the malformed ones were recorded too
        got = drain(sink)
        self.assertEqual(len(got), 20)
        self.assertTrue(all(len(d) == 336 and d[:4] == b"\0\0\0\x11" for d in got))
        # The recorded pace: 20 steps 10 ms apart take about 0.2 s; twice as fast, about 0.1 s.
        for speed, least in (("1", 0.15), ("2", 0.07)):
            began = time.monotonic()
            run(["fdm-replay", self.path, "--to", f"127.0.0.1:{sink.getsockname()[1]}", "--speed", speed])
            self.assertGreater(time.monotonic() - began, least, speed)
            self.assertEqual(drain(sink), got)

    def test_version_24_and_several_destinations(self):
        sinks = [receiver(), receiver()]
        args = ["fdm-replay", self.path, "--fast", "--v24"]
        for sink in sinks:
            args += ["--to", f"127.0.0.1:{sink.getsockname()[1]}"]
        done = run(args, text=True)
        self.assertEqual(done.returncode, 0, done.stderr)
        for sink in sinks:
            got = drain(sink)
            self.assertEqual(len(got), 20)
            self.assertTrue(all(len(d) == 408 and d[:4] == b"\0\0\0\x18" for d in got))

    @unittest.skipIf(EMULATOR, "signals are POSIX-only")
    def test_a_capture_without_times_is_paced_and_a_fifo_waiting_for_input_stops_at_once(self):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "one.pcap")
            with open(path, "wb") as handle:
                handle.write(pcap([(1.0, ipv4_udp(v17(0.1), 5500))]))
            sink = receiver()
            replay = subprocess.Popen(tool("fdm-replay") + [path, "--to", f"127.0.0.1:{sink.getsockname()[1]}",
                                                            "--loop"], stderr=subprocess.PIPE, text=True)
            time.sleep(1.0)
            replay.send_signal(signal.SIGINT)
            err = replay.communicate(timeout=5)[1]
            self.assertEqual(replay.returncode, 0, err)
            self.assertIn("at 30 a second (the capture holds no usable times)", err)
            self.assertTrue(20 <= len(drain(sink, 0.2)) <= 40, err)  # not a flood
            fifo = os.path.join(folder, "fifo")
            os.mkfifo(fifo)
            writer = os.open(fifo, os.O_RDWR)  # open, and silent
            replay = subprocess.Popen(tool("fdm-replay") + [fifo], stderr=subprocess.PIPE, text=True)
            time.sleep(0.3)
            began = time.monotonic()
            replay.send_signal(signal.SIGINT)
            err = replay.communicate(timeout=5)[1]
            os.close(writer)
            self.assertLess(time.monotonic() - began, 1.0)
            self.assertEqual(replay.returncode, 0)
            self.assertIn("0 datagrams sent (stopped)", err)  # the summary, also when nothing came

    def test_two_flows_in_one_capture_are_told_apart(self):
        with tempfile.NamedTemporaryFile(suffix=".pcap", delete=False) as handle:
            handle.write(pcap([(1.0, ipv4_udp(v17(0.1), 5500)), (1.0, ipv4_udp(v17(0.2), 5600)),
                               (1.1, ipv4_udp(v17(0.3), 5500)), (1.1, ipv4_udp(v17(0.4), 5600)),
                               (1.2, ipv4_udp(v17(0.5), 5600)), (1.2, ipv4_udp(v17(float("nan")), 5700))]))
        sink = receiver()
        to = ["--to", f"127.0.0.1:{sink.getsockname()[1]}", "--fast"]
        done = run(["fdm-replay", handle.name] + to, text=True)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("holds datagrams to several ports: 5500 (2), 5600 (3), 5700 (1); replaying 5500 (pick one "
                      "with --port)", done.stderr)
        self.assertEqual([struct.unpack_from(">d", d, 16)[0] for d in drain(sink)], [0.1, 0.3])
        done = run(["fdm-replay", handle.name, "--port", "5600"] + to, text=True)
        self.assertNotIn("several ports", done.stderr)
        self.assertEqual([struct.unpack_from(">d", d, 16)[0] for d in drain(sink)], [0.2, 0.4, 0.5])
        # A translating replay drops a position that is not a number, as the relay does.
        done = run(["fdm-replay", handle.name, "--port", "5700", "--v24"] + to, text=True)
        self.assertIn("1 not finite dropped", done.stderr)
        self.assertEqual(drain(sink, 0.2), [])
        # A port the capture lacks: refused before anything is said to be done.
        done = run(["fdm-replay", handle.name, "--port", "5800"] + to, text=True)
        self.assertEqual(done.returncode, 1)
        self.assertEqual(done.stderr.count("\n"), 1, done.stderr)
        self.assertIn("holds no FlightGear datagram to port 5800; it holds datagrams to 5500 (2), 5600 (3), 5700 (1)",
                      done.stderr)
        self.assertEqual(drain(sink, 0.2), [])
        # --csv says which flow it took, from a file and from a pipe.
        done = run(["fdm-replay", handle.name, "--csv"], text=True)
        self.assertEqual(len(done.stdout.splitlines()), 3)  # the header and 5500's two
        self.assertIn("several ports: 5500 (2), 5600 (3), 5700 (1); writing 5500 (pick one with --port)", done.stderr)
        with open(handle.name, "rb") as capture:
            done = run(["fdm-replay", "-", "--csv"], stdin=capture, text=True)
        self.assertEqual(len(done.stdout.splitlines()), 3)
        self.assertIn("wrote the datagrams to port 5500; skipped 4 to other ports", done.stderr)
        done = run(["fdm-replay", handle.name, "--csv", "--port", "5800"], text=True)
        self.assertEqual((done.returncode, done.stdout), (1, ""))
        os.unlink(handle.name)

    @unittest.skipIf(EMULATOR, "signals are POSIX-only")
    def test_loop_goes_round_until_stopped(self):
        sink = receiver()
        replay = subprocess.Popen(tool("fdm-replay") + [self.path, "--to", f"127.0.0.1:{sink.getsockname()[1]}",
                                                        "--loop", "--speed", "10"], stderr=subprocess.PIPE, text=True)
        for _ in range(45):  # more than two rounds
            sink.recv(4096)
        replay.send_signal(signal.SIGINT)
        err = replay.communicate(timeout=5)[1]
        self.assertEqual(replay.returncode, 0, err)
        # A round is 20 datagrams; more may go out between the 45th and the stop on a busy machine.
        summary = re.search(r"(\d+) datagrams sent in [0-9.]+ s \((\d+) whole rounds?\)", err)
        self.assertIsNotNone(summary, err)
        sent, rounds = int(summary.group(1)), int(summary.group(2))
        self.assertGreaterEqual(sent, 45, err)
        self.assertIn(rounds, {sent // 20, (sent - 1) // 20}, err)  # the last round may end with the stop

    def test_wiresharks_tools_and_tcpdump_write_files_that_replay_the_same(self):
        writers = [command for command in (["tshark", "-r", self.path, "-F", "pcapng", "-w"],
                                           ["editcap", "-F", "pcapng", self.path],
                                           ["tcpdump", "-r", self.path, "-w"]) if shutil.which(command[0])]
        if not writers:
            self.skipTest("neither tshark nor tcpdump here")
        sink = receiver()
        reference = run(["fdm-replay", self.path, "--to", f"127.0.0.1:{sink.getsockname()[1]}", "--fast"])
        self.assertEqual(reference.returncode, 0)
        expected = drain(sink)
        for writer in writers:
            with tempfile.TemporaryDirectory() as folder:
                out = os.path.join(folder, "rewritten")
                subprocess.run(writer + [out], check=True, capture_output=True, timeout=TIMEOUT)
                done = run(["fdm-replay", out, "--to", f"127.0.0.1:{sink.getsockname()[1]}", "--fast"], text=True)
                self.assertEqual(done.returncode, 0, (writer[0], done.stderr))
                self.assertEqual(drain(sink), expected, writer[0])

    @unittest.skipUnless(shutil.which("tshark"), "tshark is not installed")
    def test_tshark_with_the_dissector_shows_every_field_of_the_recording(self):
        lua = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "wireshark", "fdm_native.lua")
        done = subprocess.run(["tshark", "-r", self.path, "-X", "lua_script:" + lua, "-d", f"udp.port=={self.port},fdm",
                               "-T", "fields", "-e", "fdm.version", "-e", "fdm.latitude", "-e", "fdm.engine_state"],
                              capture_output=True, text=True, timeout=TIMEOUT)
        lines = [line for line in done.stdout.splitlines() if line.startswith("17\t")]
        self.assertEqual(len(lines), 20, done.stdout + done.stderr)
        self.assertAlmostEqual(float(lines[0].split("\t")[1]), 0.372081507, places=6)  # 21.3187 degrees

    def test_choosing_by_port_and_counting_what_is_skipped(self):
        frames = [(1.0, ipv4_udp(v17(0.1), 5500)), (1.1, ipv4_udp(v17(0.2), 5600)), (1.2, ipv4_udp(b"x" * 40, 5500)),
                  (1.3, ipv4_udp(b"tcp?", 5500, protocol=6)), (1.4, ipv4_udp(v17(0.3), 5500))]
        with tempfile.NamedTemporaryFile(suffix=".pcap", delete=False) as handle:
            handle.write(pcap(frames))
        sink = receiver()
        done = run(["fdm-replay", handle.name, "--port", "5500", "--to", f"127.0.0.1:{sink.getsockname()[1]}",
                    "--fast"], text=True)
        os.unlink(handle.name)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("skipped: 1 not UDP, 1 to another port, 1 not FlightGear datagrams", done.stderr)
        self.assertEqual([struct.unpack_from(">d", d, 16)[0] for d in drain(sink)], [0.1, 0.3])

    def test_bad_files_get_one_line_and_exit_1(self):
        good = pcap([(1.0, ipv4_udp(v17(0.1), 5500)), (1.5, ipv4_udp(v17(0.2), 5500))])
        folder = tempfile.mkdtemp()
        cases = [
            (b"", "empty, not a capture file", 0),
            (b"function p = pathdef\n", "not a capture file (neither pcap nor pcapng)", 0),
            (pcap([(1.0, ipv4_udp(b"tcp", 5500, protocol=6))]), "holds no FlightGear datagram to replay (skipped: 1 not UDP", 0),
            (pcap([(1.0, ipv4_udp(b"x" * 20, 5500))]), "holds no FlightGear datagram to replay", 0),
            (good[:-100], "the file ends inside record 2; the records before it were replayed", 1),
            (good[:30], "the file ends inside the header of record 1, with nothing before it", 0),
        ]
        sink = receiver()
        for content, message, replayed in cases:
            path = os.path.join(folder, "capture.pcap")
            with open(path, "wb") as handle:
                handle.write(content)
            done = run(["fdm-replay", path, "--to", f"127.0.0.1:{sink.getsockname()[1]}", "--fast", "--quiet"],
                       text=True)
            self.assertEqual(done.returncode, 1, message)
            self.assertIn(message, done.stderr)
            self.assertEqual(len(done.stderr.splitlines()), 1, done.stderr)
            self.assertEqual(len(drain(sink, 0.2)), replayed, message)
        for path, message in ((folder, "cannot "), (os.path.join(folder, "missing.pcap"), "cannot open")):
            done = run(["fdm-replay", path], text=True)
            self.assertEqual(done.returncode, 1)
            self.assertIn(message, done.stderr)
        shutil.rmtree(folder)
        for args, message in ((["fdm-replay"], "no capture file given"), (["fdm-replay", "a", "b"], "one capture file"),
                              (["fdm-replay", "a", "--speed", "0"], "--speed '0': a factor from 0.001 to 1000"),
                              (["fdm-replay", "a", "--speed", "1e-12"], "--speed '1e-12': a factor from 0.001 to 1000"),
                              (["fdm-replay", "a", "--speed", "2", "--fast"], "--speed and --fast: give one of them"),
                              (["fdm-replay", "a", "--to", "[::1]:5501"], "--to '[::1]:5501': an IPv4 address or a host name (IPv6 addresses are not supported)"),
                              (["fdm-replay", "a", "--port", "0x157c"], "--port '0x157c'")):
            done = run(args, text=True)
            self.assertEqual(done.returncode, 2)
            self.assertIn(message, done.stderr)

    @unittest.skipIf(EMULATOR, "/dev/full is Linux's")
    def test_a_full_disk_stops_the_listener_with_a_clear_line(self):
        listener = subprocess.Popen(tool("fdm-listen") + ["--port", "0", "--record", "/dev/full", "--timeout",
                                                          str(TIMEOUT)], stderr=subprocess.PIPE, text=True)
        err = listener.communicate(timeout=TIMEOUT)[1]
        self.assertEqual(listener.returncode, 1)
        self.assertIn("cannot write '/dev/full': No space left on device", err)
        unwritable = run(["fdm-listen", "--port", "0", "--record", "/proc/no/such/file"], text=True)
        self.assertEqual(unwritable.returncode, 1)
        self.assertIn("cannot write '/proc/no/such/file'", unwritable.stderr)


# fdm-plot runs on the first Python that has matplotlib: the one that runs the tests (CMake's), or the
# system's (Debian's python3-matplotlib) where another Python comes first on PATH.
def python_with_matplotlib():
    for python in (sys.executable, "/usr/bin/python3"):
        if os.path.exists(python) and subprocess.run([python, "-c", "import matplotlib"],
                                                     capture_output=True).returncode == 0:
            return python
    return None


SYSTEM_PYTHON = python_with_matplotlib()


def has_matplotlib():
    return SYSTEM_PYTHON is not None


@unittest.skipIf(EMULATOR or not has_matplotlib(), "fdm-plot runs on the build machine's Python with matplotlib")
class Plot(unittest.TestCase):
    def plot(self, args, **kwargs):
        return subprocess.run([SYSTEM_PYTHON, os.path.join(BIN, "fdm-plot")] + args, capture_output=True, text=True,
                              timeout=120, **kwargs)

    def test_every_input_it_is_given_draws_and_says_its_time_axis(self):
        samples = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "samples",
                               "honolulu-climbing-turn.csv")
        with tempfile.TemporaryDirectory() as folder:
            png = os.path.join(folder, "flight.png")
            done = self.plot([samples, "-o", png])
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertIn("600 rows, 30.0 s (time axis: row number x 0.05 s (the runner's input table))", done.stderr)
            # A recording sent --fast: receive times bunched, spaced by the sample time instead.
            capture = os.path.join(folder, "fast.pcap")
            with open(capture, "wb") as handle:
                handle.write(pcap([(1.0 + i * 1e-5, ipv4_udp(v17(0.1 + i * 1e-4), 5500)) for i in range(100)]))
            with open(capture, "rb") as handle:  # from standard input: read once
                done = self.plot(["-", "-o", png, "--sample-time", "0.1"], stdin=handle)
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertIn("100 rows, 9.9 s (time axis: datagram number x 0.1 s (receive times bunched", done.stderr)
            # Cut short: drawn, with the reader's warning, and exit 1 as fdm-replay does.
            with open(capture, "rb") as handle:
                cut = handle.read()[:-100]
            with open(capture, "wb") as handle:
                handle.write(cut)
            done = self.plot([capture, "-o", png])
            self.assertEqual(done.returncode, 1, done.stderr)
            self.assertIn("warning: " + repr(capture) + ": the file ends inside record 100", done.stderr)
            self.assertIn("99 rows", done.stderr)

    def test_a_capture_of_several_flows_names_the_one_drawn_and_port_picks_another(self):
        with tempfile.TemporaryDirectory() as folder:
            capture = os.path.join(folder, "two.pcap")
            with open(capture, "wb") as handle:
                handle.write(pcap([(1.0 + 0.05 * i, ipv4_udp(v17(0.1 + i * 1e-4), 5500 + 100 * (i % 2)))
                                   for i in range(10)]))
            png = os.path.join(folder, "flight.png")
            done = self.plot([capture, "-o", png])
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertIn("fdm-plot: " + repr(capture) + " holds datagrams to several ports: 5500 (5), 5600 (5); "
                          "drawing 5500 (pick one with --port)", done.stderr)
            self.assertIn("5 rows", done.stderr)
            done = self.plot([capture, "-o", png, "--port", "5600"])
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertNotIn("several ports", done.stderr)
            done = self.plot([capture, "-o", png, "--port", "5700"])
            self.assertEqual(done.returncode, 1, done.stderr)
            self.assertIn("holds no FlightGear datagram to port 5700", done.stderr)
            table = os.path.join(folder, "flight.csv")
            with open(table, "w") as handle:
                subprocess.run(tool("fdm-replay") + [capture, "--csv"], stdout=handle, stderr=subprocess.DEVNULL,
                               check=True, timeout=TIMEOUT)
            done = self.plot([table, "-o", png, "--port", "5600"])
            self.assertEqual(done.returncode, 2, done.stderr)
            self.assertIn("--port 5600 picks a flow of a capture", done.stderr)

    @unittest.skipIf(os.name != "posix", "signals are POSIX-only")
    def test_ctrl_c_while_waiting_for_input_is_a_stop(self):
        plot = subprocess.Popen([SYSTEM_PYTHON, os.path.join(BIN, "fdm-plot"), "-", "-o", "never.png"],
                                stdin=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        time.sleep(1.0)  # started, and reading standard input, which stays open and silent
        began = time.monotonic()
        plot.send_signal(signal.SIGINT)
        err = plot.communicate(timeout=10)[1]
        self.assertLess(time.monotonic() - began, 2.0)
        self.assertEqual(plot.returncode, 0, err)
        self.assertIn("fdm-plot: stopped, nothing drawn", err)

    def test_heading_wraps_with_a_gap_not_a_line_across(self):
        import importlib.machinery
        import importlib.util
        loader = importlib.machinery.SourceFileLoader("fdm_plot", os.path.join(BIN, "fdm-plot"))
        module = importlib.util.module_from_spec(importlib.util.spec_from_loader("fdm_plot", loader))
        loader.exec_module(module)
        points = module.heading_points([0, 1, 2, 3], [350.0, 359.0, 361.0, 5.0])
        self.assertEqual([p[0] for p in points], [0, 1, 2, 2, 3])
        self.assertTrue(math.isnan(points[2][1]))
        self.assertEqual([p[1] for p in points if not math.isnan(p[1])], [350.0, 359.0, 1.0, 5.0])

    def test_the_demo_recording_becomes_a_page_of_four_filled_panels(self):
        path, _ = record(40)
        with tempfile.TemporaryDirectory() as folder:
            png = os.path.join(folder, "flight.png")
            done = subprocess.run([SYSTEM_PYTHON, os.path.join(BIN, "fdm-plot"), path, "-o", png],
                                  capture_output=True, text=True, timeout=120)
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertIn("40 rows", done.stderr)
            # Each quarter of the page holds a panel with lines drawn in it: count the pixels that are not white.
            check = (
                "import sys, matplotlib.image as image\n"
                "p = image.imread(sys.argv[1])\n"
                "h, w = p.shape[:2]\n"
                "print(w, h)\n"
                "for top in (0, h // 2):\n"
                "    for left in (0, w // 2):\n"
                "        q = p[top:top + h // 2, left:left + w // 2, :3]\n"
                "        print((q.sum(axis=2) < 2.9).mean())\n")
            out = subprocess.run([SYSTEM_PYTHON, "-c", check, png], capture_output=True, text=True, timeout=60)
            lines = out.stdout.split("\n")
            self.assertEqual(lines[0], "1200 900", out.stderr)
            for share in lines[1:5]:
                self.assertGreater(float(share), 0.02)
            # The listener's CSV draws the same; SVG and PDF are what they say.
            table = os.path.join(folder, "flight.csv")
            with open(table, "w") as handle:
                subprocess.run(tool("fdm-replay") + [path, "--csv"], stdout=handle, check=True, timeout=TIMEOUT)
            for output, start in (("flight.svg", b"<?xml"), ("flight.pdf", b"%PDF")):
                target = os.path.join(folder, output)
                done = subprocess.run([SYSTEM_PYTHON, os.path.join(BIN, "fdm-plot"), table, "-o", target],
                                      capture_output=True, text=True, timeout=120)
                self.assertEqual(done.returncode, 0, done.stderr)
                with open(target, "rb") as handle:
                    self.assertEqual(handle.read(len(start)), start)
        os.unlink(path)

    def test_bad_input_and_options(self):
        plot = os.path.join(BIN, "fdm-plot")
        for args, code, message in (([plot, "README.md", "-o", "x.png"], 1, "holds no flight"),
                                    ([plot, "/no/such.pcap", "-o", "x.png"], 1, "cannot read '/no/such.pcap'"),
                                    ([plot, "x.pcap", "-o", "x.gif"], 2, "a file name ending in .png, .svg or .pdf"),
                                    ([plot, "x.pcap"], 2, "required")):
            done = subprocess.run([SYSTEM_PYTHON] + args, capture_output=True, text=True, timeout=60,
                                  cwd=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
            self.assertEqual(done.returncode, code, done.stderr)
            self.assertIn(message, done.stderr)
            self.assertEqual(len(done.stderr.splitlines()), 1, done.stderr)


if __name__ == "__main__":
    import warnings
    warnings.simplefilter("ignore", ResourceWarning)
    unittest.main(verbosity=2)
