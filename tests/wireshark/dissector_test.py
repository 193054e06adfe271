#!/usr/bin/env python3
"""The Wireshark dissector read by tshark over a capture of datagrams made
by the block itself (version 17, through orvalink-run) and by the relay
(version 24), plus malformed ones: decoded values must equal those sent.

usage: dissector_test.py BIN_DIR LUA_SCRIPT
"""
import math
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import unittest

BIN, LUA = sys.argv.pop(1), sys.argv.pop(1)
TIMEOUT = 20


def f32(value):
    return struct.unpack(">f", struct.pack(">f", value))[0]


def ip_checksum(header):
    total = sum(struct.unpack("!10H", header))
    total = (total >> 16) + (total & 0xFFFF)
    return ~(total + (total >> 16)) & 0xFFFF


def frame(payload, port):
    udp = struct.pack("!HHHH", 40000, port, 8 + len(payload), 0) + payload
    ip = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + len(udp), 1, 0, 64, 17, 0,
                     socket.inet_aton("127.0.0.1"), socket.inet_aton("127.0.0.1"))
    ip = ip[:10] + struct.pack("!H", ip_checksum(ip)) + ip[12:]
    return b"\0" * 12 + b"\x08\x00" + ip + udp


def write_pcap(path, frames):
    with open(path, "wb") as out:
        out.write(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 1))
        for i, data in enumerate(frames):
            out.write(struct.pack("<IIII", 1700000000 + i, 0, len(data), len(data)) + data)


def run_tool(args):
    return subprocess.run(args, capture_output=True, text=True, timeout=TIMEOUT)


class Dissector(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # One CSV row of distinct values, exact in single precision.
        cls.values = [0.5 + j * 0.25 for j in range(28)]
        cls.values[15] = 1.0  # engine running
        csv = tempfile.NamedTemporaryFile("w", suffix=".csv", delete=False)
        csv.write(",".join(repr(v) for v in cls.values) + "\n")
        csv.close()

        # Version 17, straight from the block.
        sink = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        sink.bind(("127.0.0.1", 0))
        sink.settimeout(5)
        run = run_tool([os.path.join(BIN, "orvalink-run"), "--input", csv.name, "--port",
                        str(sink.getsockname()[1]), "--fast", "--quiet"])
        assert run.returncode == 0, run.stderr
        cls.v17 = sink.recv(2048)

        # Version 24, the same datagram through the relay.
        relay = subprocess.Popen([os.path.join(BIN, "fdm-relay"), "--listen", "0", "--to",
                                  f"127.0.0.1:{sink.getsockname()[1]}", "--count", "1", "--timeout", str(TIMEOUT),
                                  "--quiet"], stderr=subprocess.PIPE, text=True)
        port = int(relay.stderr.readline().split("relaying ")[1].split()[0].split(":")[1])
        socket.socket(socket.AF_INET, socket.SOCK_DGRAM).sendto(cls.v17, ("127.0.0.1", port))
        cls.v24 = sink.recv(2048)
        relay.communicate(timeout=TIMEOUT)

        swapped = bytearray(cls.v17)
        swapped[0:4] = struct.pack("<I", 17)
        long17 = bytearray(408)
        long17[0:4] = struct.pack(">I", 17)
        cls.frames = [frame(cls.v17, 5500), frame(cls.v24, 5500), frame(cls.v17[:100], 5500),
                      frame(bytes(swapped), 5500), frame(bytes(long17), 5500), frame(b"\0\0", 5500),
                      frame(cls.v17, 6000)]
        cls.folder = tempfile.mkdtemp()
        cls.capture = os.path.join(cls.folder, "fdm.pcap")
        write_pcap(cls.capture, cls.frames)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def tshark(self, fields, extra=()):
        args = ["tshark", "-r", self.capture, "-X", "lua_script:" + LUA, "-T", "fields", "-E", "separator=|",
                "-E", "occurrence=a", "-E", "aggregator=,"] + list(extra)
        for field in fields:
            args += ["-e", field]
        run = subprocess.run(args, capture_output=True, text=True, timeout=TIMEOUT)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertNotIn("Lua", run.stderr)  # no script error
        return [line.split("|") for line in run.stdout.splitlines()]

    def test_version_17_fields_are_the_values_sent(self):
        v = self.values
        rows = self.tshark(["fdm.version", "fdm.latitude", "fdm.longitude", "fdm.altitude", "fdm.roll",
                            "fdm.heading_deg", "fdm.engine_state", "fdm.engine_rpm", "fdm.elevator", "fdm.flaps",
                            "fdm.left_aileron", "fdm.right_aileron", "fdm.rudder", "fdm.nose_wheel",
                            "fdm.accel_z", "fdm.visibility", "fdm.tank_count", "fdm.fuel_quantity"])
        r = rows[0]
        self.assertEqual(r[0], "17")
        self.assertEqual([float(x) for x in r[1:4]], [v[0], v[1], v[2]])
        self.assertEqual(float(r[4]), f32(v[3]))
        self.assertAlmostEqual(float(r[5]), math.degrees(f32(v[5])), places=4)
        self.assertEqual(r[6], "2,0,0,0")
        self.assertEqual(float(r[7].split(",")[0]), f32(v[16]))
        self.assertEqual([float(x) for x in r[8:14]],
                         [f32(v[9]), f32(v[8]), -f32(v[10]), f32(v[10]), -f32(v[11]), -f32(v[11])])
        self.assertEqual(float(r[14]), f32(v[27]))
        self.assertEqual((float(r[15]), r[16], float(r[17].split(",")[0])), (50000.0, "1", 1.0))

    def test_version_24_fields_are_where_that_version_puts_them(self):
        v = self.values
        r = self.tshark(["fdm.version", "fdm.latitude", "fdm.left_flap", "fdm.right_flap", "fdm.rudder",
                         "fdm.tank_count", "fdm.weight_on_wheels", "fdm.fuel_pressure"])[1]
        self.assertEqual(r[0], "24")
        self.assertEqual(float(r[1]), v[0])
        self.assertEqual((float(r[2]), float(r[3]), float(r[4])), (f32(v[8]), f32(v[8]), -f32(v[11])))
        self.assertEqual((r[5], r[6]), ("1", "0,0,0"))
        self.assertEqual([float(x) for x in r[7].split(",")], [0.0] * 4)

    def test_malformed_datagrams_get_an_expert_error_and_no_fields(self):
        rows = self.tshark(["_ws.expert.message", "fdm.version"])
        expected = ["100 bytes: version 17 needs 336",
                    "336 bytes: version word reads 17 only byte-swapped (sender in the wrong byte order)",
                    "408 bytes: version 17 needs 336",
                    "2 bytes: too short for a version word"]
        for row, message in zip(rows[2:6], expected):
            self.assertEqual(row, [message, ""])
        self.assertEqual(rows[0], ["", "17"])

    def test_other_ports_decode_as_fdm_when_asked(self):
        self.assertEqual(self.tshark(["fdm.version"])[6], [""])
        self.assertEqual(self.tshark(["fdm.version"], ["-d", "udp.port==6000,fdm"])[6], ["17"])


if __name__ == "__main__":
    import warnings
    warnings.simplefilter("ignore", ResourceWarning)
    unittest.main(verbosity=2)
