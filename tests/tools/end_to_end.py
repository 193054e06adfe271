#!/usr/bin/env python3
"""The tools end to end on loopback: runner to listener, runner to relay to
a receiver, CSV errors, and malformed datagrams to the listener and the
relay. Every wait is bounded; every port is picked by the system.

usage: end_to_end.py BIN_DIR [EMULATOR]

With an EMULATOR (wine), the Windows programs (NAME.exe) run under it.
"""
import json
import os
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest

from tool_support import BIN, EMULATOR, TIMEOUT, WINE_LOADER_CRASH, receiver, run_once_more_after_wine_loader_crash, tool


def posix_only(test):
    """Signals reach a program under the emulator only as the emulator passes them on."""
    return unittest.skipIf(EMULATOR, "signals are POSIX-only")(test)


def start_with_port(args, pattern):
    """Starts a tool that binds port 0 and returns (process, port) once it says which."""
    process = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    line = process.stderr.readline()
    if pattern not in line:
        process.kill()
        raise AssertionError(f"{args[0]} did not start: {line!r}")
    port = int(line.split(pattern)[1].split()[0].split(":")[1])
    return process, port


def f32(value):
    return struct.unpack(">f", struct.pack(">f", value))[0]


# Row i, element j: exact in single precision and distinct per element.
def row(i):
    return [i * 100 + j + 0.5 for j in range(28)]


def write_csv(rows, header=True):
    handle = tempfile.NamedTemporaryFile("w", suffix=".csv", delete=False)
    if header:
        handle.write(",".join(f"c{j}" for j in range(28)) + "\n")
    for values in rows:
        handle.write(",".join(repr(v) for v in values) + "\n")
    handle.close()
    return handle.name


def v17_packet(version=17, size=336):
    packet = bytearray(size)
    packet[0:4] = struct.pack(">I", version)
    if size >= 336:
        struct.pack_into(">d", packet, 16, 0.25)
        struct.pack_into(">I", packet, 120, 1)
    return bytes(packet)


CONTROLS_NAMES = (["aileron", "elevator", "rudder", "aileron_trim", "elevator_trim", "rudder_trim", "flaps",
                   "spoilers", "speedbrake", "throttle", "mixture", "propeller", "brake_left", "brake_right",
                   "brake_parking", "gear_handle"])


def controls_packet(version=27, size=744, aileron=0.25):
    """A controls datagram as FlightGear sends it: 9 flight controls from 0.25 by 0.125, throttles 0.5..."""
    packet = bytearray(size)
    struct.pack_into(">I", packet, 0, version)
    if size >= 744:
        for i in range(9):
            struct.pack_into(">d", packet, 8 + 8 * i, aileron + 0.125 * i)
        struct.pack_into(">I", packet, 88, 4)
        for i in range(4):
            struct.pack_into(">d", packet, 160 + 8 * i, 0.5 + 0.125 * i)   # throttle
            struct.pack_into(">d", packet, 192 + 8 * i, 0.75)              # mixture
            struct.pack_into(">d", packet, 272 + 8 * i, 1.0)               # propeller
        struct.pack_into(">ddd", packet, 496, 0.125, 0.375, 0.0)          # left, right brake; copilot's
        struct.pack_into(">d", packet, 528, 1.0)                          # parking brake
        struct.pack_into(">I", packet, 536, 1)                            # gear down
    return bytes(packet)


class EndToEnd(unittest.TestCase):
    def test_runner_to_listener_values_in_equal_values_out(self):
        rows = [row(i) for i in range(5)]
        rows[2][15] = -1.0  # engine off in one row
        csv = write_csv(rows)
        listener, port = start_with_port([*tool("fdm-listen"), "--port", "0", "--json", "--count", "5",
                                          "--timeout", str(TIMEOUT)], "listening on ")
        run = subprocess.run([*tool("orvalink-run"), "--input", csv, "--port", str(port), "--fast", "--quiet"],
                             capture_output=True, text=True, timeout=TIMEOUT)
        self.assertEqual(run.returncode, 0, run.stderr)
        out, err = listener.communicate(timeout=TIMEOUT)
        self.assertEqual(listener.returncode, 0, err)
        packets = [json.loads(line) for line in out.splitlines()]
        self.assertEqual(len(packets), 5)
        for values, p in zip(rows, packets):
            self.assertEqual(p["version"], 17)
            self.assertEqual((p["latitude_rad"], p["longitude_rad"], p["altitude_m"]), (values[0], values[1], values[2]))
            self.assertEqual((p["roll_rad"], p["pitch_rad"], p["heading_rad"]), tuple(f32(v) for v in values[3:6]))
            self.assertEqual((p["calibrated_airspeed_kt"], p["climb_rate_ftps"]), (f32(values[6]), f32(values[7])))
            self.assertEqual([p[k] for k in ("elevator", "elevator_trim_tab", "flaps", "left_aileron", "right_aileron",
                                             "rudder", "nose_wheel")],
                             [f32(values[9]), 0.0, f32(values[8]), -f32(values[10]), f32(values[10]),
                              -f32(values[11]), -f32(values[11])])
            self.assertNotIn("left_flap", p)  # version 24 only
            self.assertEqual(p["engine_state"][0], 2 if values[15] > 0 else 0)
            self.assertEqual((p["engine_rpm"][0], p["fuel_flow_galph"][0]), (f32(values[16]), f32(values[17])))
            self.assertEqual(p["height_above_ground_m"], f32(values[18]))
            self.assertEqual([p["velocity_north_ftps"], p["velocity_east_ftps"], p["velocity_down_ftps"]],
                             [f32(v) for v in values[19:22]])
            self.assertEqual([p["roll_rate_radps"], p["pitch_rate_radps"], p["yaw_rate_radps"]],
                             [f32(v) for v in values[22:25]])
            self.assertEqual([p["accel_x_ftps2"], p["accel_y_ftps2"], p["accel_z_ftps2"]], [f32(v) for v in values[25:28]])
            self.assertIn("current_time_s", p)
        self.assertIn("5 packets", err)

    def test_runner_to_relay_to_receiver_gets_version_24_in_place(self):
        sink = receiver()
        values = row(7)
        csv = write_csv([values, values], header=False)
        relay, port = start_with_port([*tool("fdm-relay"), "--listen", "0", "--to",
                                       f"127.0.0.1:{sink.getsockname()[1]}", "--count", "2",
                                       "--timeout", str(TIMEOUT), "--quiet"], "relaying ")
        run = subprocess.run([*tool("orvalink-run"), "--input", csv, "--port", str(port), "--fast", "--quiet"],
                             capture_output=True, text=True, timeout=TIMEOUT)
        self.assertEqual(run.returncode, 0, run.stderr)
        packet = sink.recv(2048)
        relay.communicate(timeout=TIMEOUT)
        self.assertEqual(len(packet), 408)
        u32 = lambda at: struct.unpack_from(">I", packet, at)[0]
        s32 = lambda at: struct.unpack_from(">f", packet, at)[0]
        self.assertEqual(u32(0), 24)
        self.assertEqual(struct.unpack_from(">ddd", packet, 8), (values[1], values[0], values[2]))
        self.assertEqual((u32(120), u32(124), u32(284), u32(304)), (1, 2, 1, 0))
        self.assertEqual(s32(288), 1.0)
        self.assertEqual(s32(364), 50000.0)
        self.assertEqual([s32(a) for a in range(368, 408, 4)],
                         [f32(values[9]), 0.0, f32(values[8]), f32(values[8]), -f32(values[10]), f32(values[10]),
                          -f32(values[11]), -f32(values[11]), 0.0, 0.0])

    def test_bad_csv_rows_stop_the_runner_naming_line_and_column(self):
        good = ",".join(["1"] * 28)
        cases = [
            (good + "\n" + ",".join(["1"] * 27) + "\n", ":2: expected 28 values, found 27"),
            ("h," * 27 + "h\n" + good + "\n" + ",".join(["1"] * 4 + ["abc"] + ["1"] * 23) + "\n",
             ":3: column 5: not a number: 'abc'"),
            (good + "," + "1\n", ":1: expected 28 values, found 29"),
        ]
        sink = receiver()
        for text, message in cases:
            with tempfile.NamedTemporaryFile("w", suffix=".csv", delete=False) as handle:
                handle.write(text)
            run = subprocess.run([*tool("orvalink-run"), "--input", handle.name, "--port",
                                  str(sink.getsockname()[1]), "--fast", "--quiet"],
                                 capture_output=True, text=True, timeout=TIMEOUT)
            self.assertEqual(run.returncode, 1)
            self.assertIn(handle.name + message, run.stderr)
        stdin = subprocess.run([*tool("orvalink-run"), "--input", "-", "--port", str(sink.getsockname()[1]),
                                "--fast", "--quiet"], input="nan," + "inf," * 26 + "-inf\n",
                               capture_output=True, text=True, timeout=TIMEOUT)
        self.assertEqual(stdin.returncode, 0, stdin.stderr)
        self.assertEqual(len(sink.recv(2048)), 336)

    def test_runner_reports_a_failed_start(self):
        run = subprocess.run([*tool("orvalink-run"), "--host", "x" * 70, "--steps", "1", "--fast", "--quiet"],
                             capture_output=True, text=True, timeout=TIMEOUT)
        self.assertEqual(run.returncode, 1)
        self.assertIn("orvalink-run: Could not connect to host !", run.stderr)

    malformed = [v17_packet(size=3), v17_packet(size=335), v17_packet(size=500), v17_packet(version=18),
                 v17_packet(version=0x11000000)]

    def test_listener_reports_and_survives_malformed_datagrams(self):
        listener, port = start_with_port([*tool("fdm-listen"), "--port", "0", "--json", "--count", "1",
                                          "--timeout", str(TIMEOUT)], "listening on ")
        sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        for datagram in self.malformed + [v17_packet()]:
            sender.sendto(datagram, ("127.0.0.1", port))
        out, err = listener.communicate(timeout=TIMEOUT)
        self.assertEqual(listener.returncode, 0)
        self.assertEqual(json.loads(out)["latitude_rad"], 0.25)
        self.assertEqual(err.count("skipped malformed datagram"), 5, err)
        self.assertIn("only byte-swapped", err)
        self.assertIn("1 packet,", err)
        self.assertIn("5 malformed", err)

    def test_relay_forwards_only_well_formed_version_17(self):
        sink = receiver()
        relay, port = start_with_port([*tool("fdm-relay"), "--listen", "0", "--to",
                                       f"127.0.0.1:{sink.getsockname()[1]}", "--count", "1",
                                       "--timeout", str(TIMEOUT)], "relaying ")
        sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        v24 = bytearray(408)
        v24[0:4] = struct.pack(">I", 24)
        for datagram in self.malformed + [v17_packet()]:
            sender.sendto(datagram, ("127.0.0.1", port))
        _, err = relay.communicate(timeout=TIMEOUT)
        self.assertEqual(relay.returncode, 0)
        self.assertIn("1 forwarded, 5 malformed dropped", err)
        packet = sink.recv(2048)
        self.assertEqual(struct.unpack_from(">Id", packet, 0)[0], 24)
        self.assertEqual(struct.unpack_from(">d", packet, 16)[0], 0.25)
        sink.settimeout(0.3)
        with self.assertRaises(socket.timeout):
            sink.recv(2048)

    def test_runner_reports_why_the_start_failed(self):
        run = subprocess.run([*tool("orvalink-run"), "--host", "x" * 70, "--steps", "1", "--fast"],
                             capture_output=True, text=True, timeout=TIMEOUT)
        self.assertEqual(run.returncode, 1)
        lines = run.stderr.splitlines()
        self.assertEqual(lines[0], "orvalink-run: Could not connect to host !")
        self.assertEqual(lines[1], "orvalink-run: cause: the host name '" + "x" * 60 + "...' did not resolve")

    def test_the_pilots_aircraft_banks_and_turns_right_with_right_aileron(self):
        sink = receiver()
        self.addCleanup(sink.close)
        pilot_port = free_port()
        runner = subprocess.Popen([*tool("orvalink-run"), "--pilot", str(pilot_port), "--port",
                                   str(sink.getsockname()[1]), "--sample-time", "0.02", "--steps", "150"],
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        controls = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.addCleanup(controls.close)
        first = last = None
        deadline = time.monotonic() + TIMEOUT
        try:
            while time.monotonic() < deadline:
                controls.sendto(controls_packet(aileron=1.0), ("127.0.0.1", pilot_port))
                try:
                    packet = sink.recv(2048)
                except socket.timeout:
                    break
                first = first or packet
                last = packet
                if runner.poll() is not None:
                    break
        finally:
            _, err = runner.communicate(timeout=TIMEOUT)
        self.assertEqual(runner.returncode, 0, err)
        roll = struct.unpack(">f", last[36:40])[0]
        heading_first, heading_last = (struct.unpack(">f", p[44:48])[0] for p in (first, last))
        self.assertGreater(roll, 0.3, err)  # banked right
        self.assertGreater(heading_last, heading_first + 0.05)  # and turning right
        self.assertRegex(err, r"orvalink-run: [1-9][0-9]* controls datagrams? taken on 127\.0\.0\.1:\d+, 0 refused")

    def test_the_pilot_option_is_refused_where_it_cannot_work(self):
        held = receiver()
        self.addCleanup(held.close)
        port = held.getsockname()[1]
        taken = run_tool(["orvalink-run", "--pilot", str(port), "--steps", "1", "--port", "9"])
        self.assertEqual(taken.returncode, 1)
        self.assertIn(f"orvalink-run: --pilot {port}: ", taken.stderr)
        for args, words in ((["--pilot", "5600", "--input", "x.csv"], "--pilot and --input exclude each other"),
                            (["--pilot", "5500"], "--pilot and --port name the same port"),
                            (["--pilot", "0"], "a whole number from 1 to 65535")):
            refused = run_tool(["orvalink-run"] + args)
            self.assertEqual(refused.returncode, 2, refused.stderr)
            self.assertIn(words, refused.stderr)



def free_port():
    """A loopback UDP port that nothing listens on (just released)."""
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind(("127.0.0.1", 0))
    port = sock.getsockname()[1]
    sock.close()
    return port


def run_tool(args, **kwargs):
    return subprocess.run(tool(args[0]) + args[1:], capture_output=True, text=True, timeout=TIMEOUT, **kwargs)


class Options(unittest.TestCase):
    """Every tool's conventions, and a table of bad values with what each must say."""

    def test_help_and_version_go_to_standard_output(self):
        for name in ("orvalink-run", "fdm-listen", "fdm-relay"):
            for option, start in (("--help", "usage: " + name), ("--version", name + " ")):
                run = run_tool([name, option])
                self.assertEqual((run.returncode, run.stderr), (0, ""), (name, option))
                self.assertTrue(run.stdout.startswith(start), run.stdout)

    BAD = [
        # (arguments, what the one line must hold)
        (["orvalink-run", "--port", "-1"], "--port '-1': a whole number from 1 to 65535"),
        (["orvalink-run", "--port", "65536"], "--port '65536'"),
        (["orvalink-run", "--port", "70000"], "--port '70000'"),
        (["orvalink-run", "--port=5500.7"], "--port '5500.7'"),
        (["orvalink-run", "--port", "0"], "--port '0'"),
        (["orvalink-run", "--port", "x"], "--port 'x'"),
        (["orvalink-run", "--steps", "1e19"], "--steps '1e19': a whole number from 1 to 10^12"),
        (["orvalink-run", "--steps", "1e300"], "--steps '1e300'"),
        (["orvalink-run", "--steps", "0"], "--steps '0'"),
        (["orvalink-run", "--duration", "-5"], "--duration '-5': seconds, above 0"),
        (["orvalink-run", "--duration", "0.01"], "--duration '0.01': seconds from 0.05 to 5e+10 (1 to 10^12 steps of 0.05 s)"),
        (["orvalink-run", "--sample-time", "1e300"], "--sample-time '1e300': seconds, above 0 and at most 86400"),
        (["orvalink-run", "--sample-time", "0"], "--sample-time '0'"),
        (["orvalink-run", "--sample-time", "nan"], "--sample-time 'nan'"),
        (["orvalink-run", "--input", ""], "--input '': a file name"),
        (["orvalink-run", "--lat", "90"], "--lat '90': degrees, above -90 and below 90"),
        (["orvalink-run", "--lat=-91"], "--lat '-91'"),
        (["orvalink-run", "--lon", "180.5"], "--lon '180.5': degrees, from -180 to 180"),
        (["orvalink-run", "--loop"], "--loop plays a --input file again: it needs one (not '-')"),
        (["orvalink-run", "--input", "flight.csv", "--loop", "--steps", "5"], "--loop runs until stopped: not with --steps or --duration"),
        (["orvalink-run", "--host", "::1"], "--host '::1': an IPv4 address or a host name (IPv6 addresses are not supported)"),
        (["fdm-listen", "--bind", "::1"], "--bind '::1': an IPv4 address or a host name (IPv6 addresses are not supported)"),
        (["fdm-relay", "--listen", "[::1]:5500", "--to", "127.0.0.1:5501"], "--listen '[::1]:5500': an IPv4 address or a host name (IPv6 addresses are not supported)"),
        (["orvalink-run", "--input", "flight.csv", "--lat", "10"], "--lat and --lon place the demo flight: they do nothing with --input"),
        (["orvalink-run", "--host", ""], "--host ''"),
        (["orvalink-run", "--steps", "5", "--duration", "5"], "--steps and --duration exclude each other"),
        (["orvalink-run", "--fast=yes"], "--fast takes no value"),
        (["orvalink-run", "--port"], "--port needs a value"),
        (["orvalink-run", "--nope"], "unknown option '--nope'"),
        (["fdm-listen", "--every", "0"], "--every '0': a whole number from 1 to 10^18"),
        (["fdm-listen", "--every", "1e300"], "--every '1e300'"),
        (["fdm-listen", "--count", "0.4"], "--count '0.4'"),
        (["fdm-listen", "--timeout", "-1"], "--timeout '-1'"),
        (["fdm-listen", "--json", "--csv"], "--json and --csv exclude each other"),
        (["fdm-listen", "--full", "--json"], "--full and --json exclude each other"),
        (["fdm-listen", "--port", "65536"], "--port '65536'"),
        (["fdm-relay", "--to", "127.0.0.1:99999"], "--to '127.0.0.1:99999': HOST:PORT"),
        (["fdm-relay", "--to", "5501"], "--to '5501'"),
        (["fdm-relay", "--listen", "a:b"], "--listen 'a:b'"),
        (["fdm-relay", "--count", "-3"], "--count '-3'"),
    ]

    def test_bad_values_get_one_line_and_exit_2(self):
        for args, message in self.BAD:
            run = run_tool(args)
            self.assertEqual(run.returncode, 2, (args, run.stderr))
            self.assertEqual(run.stdout, "", args)
            lines = run.stderr.splitlines()
            self.assertEqual(len(lines), 1, (args, run.stderr))
            self.assertTrue(lines[0].startswith(args[0] + ": "), lines[0])
            self.assertIn(message, lines[0], args)
            self.assertIn("try '" + args[0] + " --help'", lines[0])

    def test_unbounded_and_binary_input_is_cut_and_escaped(self):
        # A Windows command line holds at most 32767 characters.
        for value in ("h" * (30000 if EMULATOR else 100000), "\x01\x7f\u00e9" * 50):
            run = run_tool(["orvalink-run", "--port", value])
            self.assertEqual(run.returncode, 2)
            self.assertLess(len(run.stderr), 400, run.stderr[:100])
        run = run_tool(["orvalink-run", "--port", "\x01\x02"])
        self.assertIn("'\\x01\\x02'", run.stderr)


class CsvInput(unittest.TestCase):
    """Each shape of input file with its outcome."""

    GOOD = ",".join(str(v) for v in row(1))
    QUOTED = ",".join(f'"{v}"' for v in row(1))
    HEADER = ",".join(f"c{j}" for j in range(28))
    CASES = [
        # (file content, exit code, rows sent, message on standard error)
        (HEADER + "\n" + GOOD + "\n" + GOOD + "\n", 0, 2, "2 steps sent"),
        (QUOTED + "\n", 0, 1, "1 step sent"),
        ('"' + HEADER.replace(",", '","') + '"\n' + QUOTED + "\r\n", 0, 1, "1 step sent"),
        ("\ufeff" + GOOD + "\n" + GOOD + "\n", 0, 2, "2 steps sent"),
        ("\ufeff" + HEADER + "\n" + GOOD + "\n", 0, 1, "1 step sent"),
        (GOOD + "\r\n\r\n" + GOOD + "\r\n", 0, 2, "2 steps sent"),
        ("", 1, 0, "holds no data row"),
        (HEADER + "\n", 1, 0, "holds no data row"),
        ("some junk\nmore junk\n", 1, 0, ":2: no number in any column (a header is allowed on the first line only)"),
        (GOOD + "\n" + HEADER + "\n", 1, 1, ":2: no number in any column"),
        ("1,x" + ",1" * 26 + "\n", 1, 0, ":1: column 2: not a number: 'x'"),
        ('1,"2' + ",1" * 26 + "\n", 1, 0, ":1: column 2: not a number: '\"2'"),
        ("1," + "9" * 60000 + "x" + ",1" * 26 + "\n", 1, 0, ":1: column 2: not a number: '" + "9" * 60 + "...'"),
        ("1,\x00\x01\x02" + ",1" * 26 + "\n", 1, 0, ":1: column 2: not a number: '\\x00\\x01\\x02'"),
        ("1" + ",1" * 200000 + "\n", 1, 0, ":1: line longer than 65536 bytes"),
    ]

    def test_each_shape_of_file(self):
        sink = receiver()
        sink.settimeout(0.5)
        for content, code, rows, message in self.CASES:
            with tempfile.NamedTemporaryFile("wb", suffix=".csv", delete=False) as handle:
                handle.write(content.encode("utf-8"))
            run = run_tool(["orvalink-run", "--input", handle.name, "--port", str(sink.getsockname()[1]), "--fast"])
            os.unlink(handle.name)
            label = content[:40]
            self.assertEqual(run.returncode, code, (label, run.stderr[:300]))
            self.assertIn(message, run.stderr, label)
            self.assertLess(len(run.stderr), 600, label)
            received = 0
            try:
                while True:
                    self.assertEqual(sink.recv(2048)[:4], b"\0\0\0\x11")
                    received += 1
            except socket.timeout:
                pass
            self.assertEqual(received, rows, label)
            self.assertIn(f"orvalink-run: {rows} step{'' if rows == 1 else 's'} sent to '127.0.0.1:", run.stderr, label)


class Stopping(unittest.TestCase):
    """Ctrl-C and termination requests stop every tool at once, with its summary."""

    @posix_only
    def test_ctrl_c_in_a_long_pacing_wait(self):
        sink = receiver()
        runner = subprocess.Popen([*tool("orvalink-run"), "--port", str(sink.getsockname()[1]), "--sample-time", "500", "--steps", "3"],
                                  stderr=subprocess.PIPE, text=True)
        self.assertIn("sending to", runner.stderr.readline())
        self.assertEqual(len(sink.recv(2048)), 336)  # the first step goes at once, then a 500 s wait
        began = time.monotonic()
        runner.send_signal(signal.SIGINT)
        err = runner.communicate(timeout=5)[1]
        self.assertLess(time.monotonic() - began, 2.0)
        self.assertEqual(runner.returncode, 0, err)
        self.assertIn("1 step sent", err)
        self.assertIn("(stopped)", err)

    @posix_only
    def test_a_looped_table_plays_round_after_round_until_stopped(self):
        sink = receiver()
        csv = write_csv([row(i) for i in range(3)])
        runner = subprocess.Popen([*tool("orvalink-run"), "--port", str(sink.getsockname()[1]), "--input", csv,
                                   "--loop", "--sample-time", "0.01"], stderr=subprocess.PIPE, text=True)
        latitudes = [struct.unpack_from(">d", sink.recv(2048), 16)[0] for _ in range(8)]
        runner.send_signal(signal.SIGINT)
        err = runner.communicate(timeout=5)[1]
        self.assertEqual(runner.returncode, 0, err)
        first = [row(i)[0] for i in range(3)]
        self.assertEqual(latitudes, (first * 3)[:8])
        self.assertRegex(err, r"steps sent to .* \([2-9][0-9]* whole rounds\)")

    @posix_only
    def test_ctrl_c_while_the_runner_waits_for_input(self):
        sink = receiver()
        runner = subprocess.Popen([*tool("orvalink-run"), "--port", str(sink.getsockname()[1]), "--input", "-"],
                                  stdin=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.assertIn("sending to", runner.stderr.readline())
        time.sleep(0.2)  # in the read of the first row, which never comes
        began = time.monotonic()
        runner.send_signal(signal.SIGINT)
        err = runner.communicate(timeout=5)[1]
        self.assertLess(time.monotonic() - began, 2.0)
        self.assertEqual(runner.returncode, 0, err)
        self.assertIn("0 steps sent", err)
        self.assertIn("(stopped)", err)
        self.assertNotIn("read error", err)
        self.assertNotIn("no datagram sent", err)

    @posix_only
    def test_termination_request_stops_listener_and_relay_with_their_summaries(self):
        for args, pattern in (([*tool("fdm-listen"), "--port", "0"], "listening on "),
                              ([*tool("fdm-relay"), "--listen", "0", "--to", f"127.0.0.1:{free_port()}"], "relaying ")):
            process, _ = start_with_port(args, pattern)
            began = time.monotonic()
            process.send_signal(signal.SIGTERM)
            _, err = process.communicate(timeout=5)
            self.assertLess(time.monotonic() - began, 2.0)
            self.assertEqual(process.returncode, 0, err)
            self.assertIn("(stopped)", err)


class Listener(unittest.TestCase):
    def listen(self, extra, datagrams, count):
        listener, port = start_with_port([*tool("fdm-listen"), "--port", "0", "--count", str(count),
                                          "--timeout", str(TIMEOUT)] + extra, "listening on ")
        sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        for datagram in datagrams:
            sender.sendto(datagram, ("127.0.0.1", port))
        out, err = listener.communicate(timeout=TIMEOUT)
        self.assertEqual(listener.returncode, 0, err)
        return out, err

    def test_compact_is_one_line_a_datagram(self):
        out, err = self.listen([], [v17_packet()] * 10, 10)
        lines = out.splitlines()
        self.assertEqual(len(lines), 10)
        self.assertRegex(lines[0], r"^\d\d:\d\d:\d\d\.\d{3}  v17  lat  14\.323945  lon ")
        self.assertRegex(err, r"10 packets, [0-9.]+/s, largest gap [0-9.]+ s, 0 malformed")

    def test_full_dump_names_surfaces_units_and_the_time(self):
        packet = bytearray(v17_packet())
        struct.pack_into(">I", packet, 284, 1700000000)
        struct.pack_into(">f", packet, 308, -0.25)  # left aileron
        struct.pack_into(">I", packet, 124, 2)
        out, _ = self.listen(["--full"], [bytes(packet)], 1)
        self.assertIn("Left aileron                 -0.25 normalised", out)
        self.assertIn("Latitude                     0.25 rad (14.323945 deg)", out)
        self.assertIn("Current time                 1700000000 s since 1970 (2023-11-14 22:13:20 UTC)", out)
        self.assertIn("Engine state 1               2 (running)", out)

    def test_csv_is_one_table_for_both_versions(self):
        v24 = bytearray(408)
        v24[0:4] = struct.pack(">I", 24)
        struct.pack_into(">f", v24, 376, 0.5)  # left flap
        out, _ = self.listen(["--csv"], [v17_packet(), bytes(v24)], 2)
        header, first, second = out.splitlines()
        names = header.split(",")
        self.assertEqual(names[0], "received_at")
        self.assertEqual(len(first.split(",")), len(names))
        self.assertEqual(len(second.split(",")), len(names))
        v17_row, v24_row = dict(zip(names, first.split(","))), dict(zip(names, second.split(",")))
        self.assertEqual((v17_row["version"], v17_row["latitude"], v17_row["left_flap"], v17_row["flaps"]),
                         ("17", "0.25", "", "0"))
        self.assertEqual((v24_row["version"], v24_row["left_flap"], v24_row["flaps"], v24_row["fuel_pressure_1"]),
                         ("24", "0.5", "", "0"))
        self.assertGreater(float(v17_row["received_at"]), 1.7e9)

    def test_a_flood_of_malformed_datagrams_is_reported_a_few_times(self):
        began = time.monotonic()
        out, err = self.listen(["--json"], [v17_packet(size=10)] * 2000 + [v17_packet()], 1)
        # At most five reports in any second, and a count of the rest when the second is over.
        seconds = int(time.monotonic() - began) + 1
        self.assertEqual(len(out.splitlines()), 1)
        self.assertIn("received_at_s", json.loads(out))
        self.assertLessEqual(err.count("skipped malformed datagram"), 5 * seconds)
        self.assertIn("more malformed datagrams not reported", err)
        self.assertLessEqual(len(err.splitlines()), 6 * seconds + 2)
        self.assertIn("2000 malformed", err)


    def test_controls_datagrams_beside_flight_dynamics_in_each_form(self):
        mixed = [controls_packet(), controls_packet(size=743), controls_packet(version=26), v17_packet(),
                 controls_packet(aileron=-0.5)]
        out, err = self.listen(["--json"], mixed, 3)
        first, fdm, last = (json.loads(line) for line in out.splitlines())
        self.assertEqual(list(first), ["version"] + CONTROLS_NAMES + ["received_at_s"])
        self.assertEqual((first["version"], first["aileron"], first["speedbrake"]), (27, 0.25, 1.25))
        self.assertEqual((first["throttle"], first["mixture"], first["propeller"]),
                         ([0.5, 0.625, 0.75, 0.875], [0.75] * 4, [1.0] * 4))
        self.assertEqual([first[k] for k in ("brake_left", "brake_right", "brake_parking", "gear_handle")],
                         [0.125, 0.375, 1.0, 1.0])
        self.assertEqual((fdm["version"], last["aileron"]), (17, -0.5))
        self.assertIn("743 bytes: version 27 needs 744", err)
        self.assertIn("3 packets", err)
        self.assertIn("2 malformed", err)

        out, _ = self.listen([], [controls_packet()], 1)
        self.assertRegex(out, r"^\d\d:\d\d:\d\d\.\d{3}  v27  ail  0\.250  elev  0\.375  rud  0\.500  flaps 1\.000  "
                              r"thr 0\.500  mix 0\.750  brakes 0\.125 0\.375  park 1\.000  gear down\n$")
        out, _ = self.listen(["--full"], [controls_packet()], 1)
        self.assertIn("controls version 27, 744 bytes", out)
        self.assertIn("  Throttle 2                   0.625\n", out)
        self.assertIn("  Gear handle (1 down)         1\n", out)
        out, err = self.listen(["--csv"], [controls_packet(), v17_packet(), controls_packet(aileron=0.5)], 3)
        header, first_row, second_row = out.splitlines()
        self.assertEqual(header.split(",")[:4], ["received_at", "version", "aileron", "elevator"])
        self.assertIn("throttle_4", header.split(","))
        self.assertEqual(len(first_row.split(",")), 27)
        self.assertEqual(second_row.split(",")[2], "0.5")
        self.assertIn("flight-dynamics datagrams arrive too; the CSV table holds only controls ones", err)


class Relay(unittest.TestCase):
    def relay(self, destinations, count=None, timeout=TIMEOUT):
        args = [*tool("fdm-relay"), "--listen", "0", "--timeout", str(timeout)]
        for port in destinations:
            args += ["--to", f"127.0.0.1:{port}"]
        if count is not None:
            args += ["--count", str(count)]
        return start_with_port(args, "relaying ")

    def test_version_24_passes_unchanged_and_non_finite_positions_are_held_back(self):
        sink = receiver()
        relay, port = self.relay([sink.getsockname()[1]], count=1)
        v24 = bytearray(408)
        v24[0:4] = struct.pack(">I", 24)
        v24[100:108] = b"\x12\x34\x56\x78\x9a\xbc\xde\xf0"
        sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        for offset, fmt, value in ((16, ">d", float("nan")), (8, ">d", float("inf")), (44, ">f", float("-inf"))):
            bad = bytearray(v17_packet())
            struct.pack_into(fmt, bad, offset, value)
            sender.sendto(bytes(bad), ("127.0.0.1", port))
        sender.sendto(bytes(v24), ("127.0.0.1", port))
        _, err = relay.communicate(timeout=TIMEOUT)
        self.assertEqual(sink.recv(2048), bytes(v24))
        self.assertIn("1 forwarded, 0 malformed dropped, 3 not finite dropped", err)

    def test_every_destination_gets_each_datagram_and_a_refusal_is_told_once(self):
        sinks = [receiver(), receiver()]
        closed = free_port()
        relay, port = self.relay([sinks[0].getsockname()[1], closed, sinks[1].getsockname()[1]], timeout=4)
        sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        for _ in range(20):
            sender.sendto(v17_packet(), ("127.0.0.1", port))
            time.sleep(0.01)
        for sink in sinks:
            for _ in range(20):
                self.assertEqual(len(sink.recv(2048)), 408)
        # Someone starts listening at the refusing address: told once, after a second without refusals.
        late = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        late.bind(("127.0.0.1", closed))
        deadline = time.monotonic() + 1.6
        while time.monotonic() < deadline:
            sender.sendto(v17_packet(), ("127.0.0.1", port))
            time.sleep(0.05)
        _, err = relay.communicate(timeout=TIMEOUT)
        self.assertEqual(len(late.recv(2048)), 408)
        if not EMULATOR:  # Wine does not report an ICMP refusal to the sender
            self.assertEqual(err.count(f"'127.0.0.1:{closed}' refuses the datagrams"), 1, err)
            self.assertEqual(err.count(f"datagrams get through to '127.0.0.1:{closed}' again"), 1, err)


class Installed(unittest.TestCase):
    """The install tree as a user gets it: the installed runner finds the block and flies each sample."""

    def test_installed_runner_flies_every_sample(self):
        build = os.path.dirname(os.path.abspath(BIN))
        if not os.path.exists(os.path.join(build, "cmake_install.cmake")) or EMULATOR:
            self.skipTest("not a native build folder")
        with tempfile.TemporaryDirectory() as prefix:
            subprocess.run(["cmake", "--install", build, "--prefix", prefix], check=True, capture_output=True,
                           timeout=120)
            samples = os.path.join(prefix, "share", "orvalink", "samples")
            names = sorted(os.listdir(samples))
            self.assertGreaterEqual(len(names), 2)
            sink = receiver()
            for name in names:
                with open(os.path.join(samples, name)) as handle:
                    rows = sum(1 for line in handle) - 1
                run = subprocess.run([os.path.join(prefix, "bin", "orvalink-run"), "--input",
                                      os.path.join(samples, name), "--port", str(sink.getsockname()[1]), "--fast"],
                                     capture_output=True, text=True, timeout=TIMEOUT)
                self.assertEqual(run.returncode, 0, run.stderr)
                self.assertIn(f"{rows} steps sent", run.stderr)
                self.assertEqual(len(sink.recv(2048)), 336)
                sink.settimeout(0.2)
                try:
                    while sink.recv(2048):
                        pass
                except socket.timeout:
                    sink.settimeout(5)


class SilentFaults(unittest.TestCase):
    """What used to pass without a word: each now says what happened."""

    def test_the_runner_keeps_its_input_says_when_it_ran_short_and_counts_refusals(self):
        with tempfile.TemporaryDirectory() as folder:
            csv = os.path.join(folder, "k.csv")
            with open(csv, "w") as handle:
                handle.write("".join(",".join(repr(v) for v in row(i)) + "\n" for i in range(3)))
            done = subprocess.run([*tool("orvalink-run"), "--input", csv, "--save-inputs",
                                   os.path.join(folder, ".", "k.csv"), "--fast"], capture_output=True, text=True,
                                  timeout=TIMEOUT)
            self.assertEqual(done.returncode, 1)
            self.assertIn("is the --input file itself", done.stderr)
            with open(csv) as handle:
                self.assertEqual(len(handle.readlines()), 3, "the input is untouched")
            sink = receiver()
            done = subprocess.run([*tool("orvalink-run"), "--input", csv, "--steps", "50000", "--fast", "--port",
                                   str(sink.getsockname()[1])], capture_output=True, text=True, timeout=TIMEOUT)
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertIn("ended after 3 rows, before the 50000 steps asked for", done.stderr)
        if EMULATOR:
            return  # Windows reports a refusal to the receiver, not the sender
        closed = free_port()
        done = subprocess.run([*tool("orvalink-run"), "--steps", "20", "--sample-time", "0.01", "--port", str(closed)],
                              capture_output=True, text=True, timeout=TIMEOUT)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stderr.count("refuses the datagrams"), 1, done.stderr)
        self.assertRegex(done.stderr, r"20 steps sent to '127.0.0.1:[0-9]+' in [0-9.]+ s, (19|20) refused there")

    def test_a_windows_path_in_a_message_reads_as_typed(self):
        done = subprocess.run([*tool("orvalink-run"), "--input", "samples\\no such.csv"], capture_output=True,
                              text=True, timeout=TIMEOUT)
        self.assertEqual(done.returncode, 1)
        self.assertIn("cannot open 'samples\\no such.csv'", done.stderr)

    def test_file_names_in_any_script(self):
        """Under the emulator too: the tools' manifest asks for UTF-8 as the code page."""
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "flüge-Ω.csv")
            with open(path, "w", encoding="utf-8") as handle:
                handle.write(",".join(repr(v) for v in row(1)) + "\n")
            sink = receiver()
            done = subprocess.run([*tool("orvalink-run"), "--input", path, "--fast", "--port",
                                   str(sink.getsockname()[1])], capture_output=True, timeout=TIMEOUT, cwd=folder,
                                  env=dict(os.environ, LC_ALL="C.UTF-8"))  # the emulator's view of the names
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertIn("from '" + path + "'", done.stderr.decode("utf-8"))
            self.assertEqual(len(sink.recv(2048)), 336)

    def test_a_listener_that_got_nothing_fails(self):
        done = subprocess.run([*tool("fdm-listen"), "--port", "0", "--count", "5", "--timeout", "0.3"],
                              capture_output=True, text=True, timeout=TIMEOUT)
        self.assertEqual(done.returncode, 1)
        self.assertIn("nothing arrived within the 0.3 s timeout", done.stderr)

    def test_the_relay_refuses_to_feed_itself_or_one_destination_twice(self):
        port = free_port()
        for args, message in ((["--listen", str(port), "--to", f"127.0.0.1:{port}"], "is where the relay listens"),
                              (["--listen", f"0.0.0.0:{port}", "--to", f"localhost:{port}"], "is where the relay listens"),
                              (["--listen", "0", "--to", f"127.0.0.1:{port}", "--to", f"localhost:{port}"],
                               f"--to 'localhost:{port}' is given twice (as '127.0.0.1:{port}')"),
                              (["--to", "::1"], "--to '::1': an IPv4 address or a host name (IPv6 addresses are not supported)"),
                              (["--listen", "4.7e4"], "--listen '4.7e4'"),
                              (["extra"], "unexpected argument 'extra'")):
            with self.subTest(args=args):
                done = subprocess.run([*tool("fdm-relay")] + args + ["--timeout", "5"], capture_output=True, text=True,
                                      timeout=TIMEOUT)
                self.assertEqual(done.returncode, 2, done.stderr)
                self.assertIn(message, done.stderr)


class WineLoaderCrash(unittest.TestCase):
    """Wine's loader crash at exit gets one more run; any other failure stands."""

    def test_one_more_run_after_the_loaders_crash_only(self):
        answers = [subprocess.CompletedProcess(["x"], 1, "", WINE_LOADER_CRASH + ": dl-fini.c: 87"),
                   subprocess.CompletedProcess(["x"], 2, "", "bad usage"),
                   subprocess.CompletedProcess(["x"], 1, "", "failed")]
        calls = []

        def fake(*args, **kwargs):
            calls.append(args)
            return answers[len(calls) - 1]
        run = run_once_more_after_wine_loader_crash(fake)
        self.assertEqual(run(["x"]).returncode, 2)
        self.assertEqual(len(calls), 2)
        self.assertEqual(run(["x"]).returncode, 1)  # another failure: no second run
        self.assertEqual(len(calls), 3)


if __name__ == "__main__":
    import warnings
    warnings.simplefilter("ignore", ResourceWarning)
    unittest.main(verbosity=2)
