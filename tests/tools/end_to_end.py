#!/usr/bin/env python3
"""The tools end to end on loopback: runner to listener, runner to relay to
a receiver, CSV errors, and malformed datagrams to the listener and the
relay. Every wait is bounded; every port is picked by the system.

usage: end_to_end.py BIN_DIR
"""
import json
import os
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest

BIN = sys.argv.pop(1) if len(sys.argv) > 1 else "."
TIMEOUT = 20


def tool(name):
    return os.path.join(BIN, name)


def start_with_port(args, pattern):
    """Starts a tool that binds port 0 and returns (process, port) once it says which."""
    process = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    line = process.stderr.readline()
    if pattern not in line:
        process.kill()
        raise AssertionError(f"{args[0]} did not start: {line!r}")
    port = int(line.split(pattern)[1].split()[0].split(":")[1])
    return process, port


def receiver():
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind(("127.0.0.1", 0))
    sock.settimeout(5)
    return sock


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


class EndToEnd(unittest.TestCase):
    def test_runner_to_listener_values_in_equal_values_out(self):
        rows = [row(i) for i in range(5)]
        rows[2][15] = -1.0  # engine off in one row
        csv = write_csv(rows)
        listener, port = start_with_port([tool("fdm-listen"), "--port", "0", "--json", "--count", "5",
                                          "--timeout", str(TIMEOUT)], "listening on ")
        run = subprocess.run([tool("orvalink-run"), "--input", csv, "--port", str(port), "--fast", "--quiet"],
                             capture_output=True, text=True, timeout=TIMEOUT)
        self.assertEqual(run.returncode, 0, run.stderr)
        out, err = listener.communicate(timeout=TIMEOUT)
        self.assertEqual(listener.returncode, 0, err)
        packets = [json.loads(line) for line in out.splitlines()]
        self.assertEqual(len(packets), 5)
        for values, p in zip(rows, packets):
            self.assertEqual(p["version"], 17)
            self.assertEqual((p["latitude"], p["longitude"], p["altitude"]), (values[0], values[1], values[2]))
            self.assertEqual((p["roll"], p["pitch"], p["heading"]), tuple(f32(v) for v in values[3:6]))
            self.assertEqual((p["calibratedAirspeed"], p["climbRate"]), (f32(values[6]), f32(values[7])))
            self.assertEqual(p["surface"][:7], [f32(values[9]), 0.0, f32(values[8]), -f32(values[10]),
                                                f32(values[10]), -f32(values[11]), -f32(values[11])])
            self.assertEqual(p["engineState"][0], 2 if values[15] > 0 else 0)
            self.assertEqual((p["engineRpm"][0], p["fuelFlow"][0]), (f32(values[16]), f32(values[17])))
            self.assertEqual(p["heightAboveGround"], f32(values[18]))
            self.assertEqual([p["velocityNorth"], p["velocityEast"], p["velocityDown"]], [f32(v) for v in values[19:22]])
            self.assertEqual([p["rollRate"], p["pitchRate"], p["yawRate"]], [f32(v) for v in values[22:25]])
            self.assertEqual([p["accelX"], p["accelY"], p["accelZ"]], [f32(v) for v in values[25:28]])
        self.assertIn("5 packets", err)

    def test_runner_to_relay_to_receiver_gets_version_24_in_place(self):
        sink = receiver()
        values = row(7)
        csv = write_csv([values, values], header=False)
        relay, port = start_with_port([tool("fdm-relay"), "--listen", "0", "--to",
                                       f"127.0.0.1:{sink.getsockname()[1]}", "--count", "2",
                                       "--timeout", str(TIMEOUT), "--quiet"], "relaying ")
        run = subprocess.run([tool("orvalink-run"), "--input", csv, "--port", str(port), "--fast", "--quiet"],
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
            (good + "," + "1\n", ":1: expected 28 values, found more"),
        ]
        sink = receiver()
        for text, message in cases:
            with tempfile.NamedTemporaryFile("w", suffix=".csv", delete=False) as handle:
                handle.write(text)
            run = subprocess.run([tool("orvalink-run"), "--input", handle.name, "--port",
                                  str(sink.getsockname()[1]), "--fast", "--quiet"],
                                 capture_output=True, text=True, timeout=TIMEOUT)
            self.assertEqual(run.returncode, 1)
            self.assertIn(handle.name + message, run.stderr)
        stdin = subprocess.run([tool("orvalink-run"), "--input", "-", "--port", str(sink.getsockname()[1]),
                                "--fast", "--quiet"], input="nan," + "inf," * 26 + "-inf\n",
                               capture_output=True, text=True, timeout=TIMEOUT)
        self.assertEqual(stdin.returncode, 0, stdin.stderr)
        self.assertEqual(len(sink.recv(2048)), 336)

    def test_runner_reports_a_failed_start(self):
        run = subprocess.run([tool("orvalink-run"), "--host", "x" * 70, "--steps", "1", "--fast", "--quiet"],
                             capture_output=True, text=True, timeout=TIMEOUT)
        self.assertEqual(run.returncode, 1)
        self.assertIn("orvalink-run: Could not connect to host !", run.stderr)

    malformed = [v17_packet(size=3), v17_packet(size=335), v17_packet(size=500), v17_packet(version=18),
                 v17_packet(version=0x11000000)]

    def test_listener_reports_and_survives_malformed_datagrams(self):
        listener, port = start_with_port([tool("fdm-listen"), "--port", "0", "--json", "--count", "1",
                                          "--timeout", str(TIMEOUT)], "listening on ")
        sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        for datagram in self.malformed + [v17_packet()]:
            sender.sendto(datagram, ("127.0.0.1", port))
        out, err = listener.communicate(timeout=TIMEOUT)
        self.assertEqual(listener.returncode, 0)
        self.assertEqual(json.loads(out)["latitude"], 0.25)
        self.assertEqual(err.count("skipped malformed datagram"), 5, err)
        self.assertIn("only byte-swapped", err)
        self.assertIn("1 packets", err)
        self.assertIn("5 malformed", err)

    def test_relay_forwards_only_well_formed_version_17(self):
        sink = receiver()
        relay, port = start_with_port([tool("fdm-relay"), "--listen", "0", "--to",
                                       f"127.0.0.1:{sink.getsockname()[1]}", "--count", "1",
                                       "--timeout", str(TIMEOUT), "--quiet"], "relaying ")
        sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        v24 = bytearray(408)
        v24[0:4] = struct.pack(">I", 24)
        for datagram in self.malformed + [bytes(v24), v17_packet()]:
            sender.sendto(datagram, ("127.0.0.1", port))
        _, err = relay.communicate(timeout=TIMEOUT)
        self.assertEqual(relay.returncode, 0)
        self.assertIn("1 forwarded, 6 malformed dropped", err)
        packet = sink.recv(2048)
        self.assertEqual(struct.unpack_from(">Id", packet, 0)[0], 24)
        self.assertEqual(struct.unpack_from(">d", packet, 16)[0], 0.25)
        sink.settimeout(0.3)
        with self.assertRaises(socket.timeout):
            sink.recv(2048)

    def test_tools_refuse_bad_options(self):
        for args in (["orvalink-run", "--port", "x"], ["fdm-listen", "--nope"], ["fdm-relay", "--to", "127.0.0.1:99999"]):
            run = subprocess.run([tool(args[0])] + args[1:], capture_output=True, text=True, timeout=TIMEOUT)
            self.assertEqual(run.returncode, 2, args)
            self.assertTrue(run.stderr.startswith(args[0] + ": "), run.stderr)
            self.assertIn("usage:", run.stderr)


if __name__ == "__main__":
    import warnings
    warnings.simplefilter("ignore", ResourceWarning)
    unittest.main(verbosity=2)
