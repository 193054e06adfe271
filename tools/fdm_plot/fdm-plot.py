#!/usr/bin/env python3
"""fdm-plot: one page with four panels of a recorded flight, from a capture
(pcap or pcapng, read through fdm-replay --csv) or from fdm-listen's CSV:
the ground track, altitude and height above ground, attitude, and airspeed
with climb rate. Drawn with matplotlib.
"""
import argparse
import csv
import io
import math
import os
import shutil
import signal
import subprocess
import sys

PROGRAM = "fdm-plot"
VERSION = "@ORVALINK_VERSION@"
FORMATS = (".png", ".svg", ".pdf")


class Failure(Exception):
    """A run-time failure: one line, exit code 1."""


def shown(text, limit=60):
    """Quoted input cut short, with unprintable characters escaped."""
    text = str(text)
    cut = text[:limit].encode("unicode_escape").decode("ascii").replace("'", "\\'")
    return "'" + cut + ("...'" if len(text) > limit else "'")


def replay_program():
    here = os.path.dirname(os.path.abspath(__file__))
    for name in ("fdm-replay", "fdm-replay.exe"):
        candidate = os.path.join(here, name)
        if os.path.isfile(candidate):
            return candidate
    return shutil.which("fdm-replay")


def table_text(path):
    """The listener's CSV table: read as it is, or made from a capture by fdm-replay."""
    try:
        with open(path, "rb") as handle:
            head = handle.read(4)
    except OSError as error:
        raise Failure(f"cannot read {shown(path)}: {error.strerror}")
    if head in (b"\xd4\xc3\xb2\xa1", b"\xa1\xb2\xc3\xd4", b"\x4d\x3c\xb2\xa1", b"\xa1\xb2\x3c\x4d", b"\x0a\x0d\x0d\x0a"):
        replay = replay_program()
        if replay is None:
            raise Failure("fdm-replay, which reads captures, is neither beside this script nor on PATH")
        done = subprocess.run([replay, path, "--csv"], capture_output=True, timeout=600)
        if done.returncode != 0 and not done.stdout:
            raise Failure(done.stderr.decode("utf-8", "replace").strip().replace("fdm-replay: ", "", 1))
        return done.stdout.decode("ascii", "replace")
    with open(path, encoding="utf-8-sig", errors="replace") as handle:
        return handle.read()


def load(path):
    """Columns of the flight: time from the first datagram, angles in degrees."""
    rows = list(csv.DictReader(io.StringIO(table_text(path))))
    needed = ("received_at", "latitude", "longitude", "altitude", "height_above_ground", "roll", "pitch", "heading",
              "calibrated_airspeed", "climb_rate")
    if not rows or any(name not in rows[0] for name in needed):
        raise Failure(f"{shown(path)} holds no flight: neither a capture of FlightGear datagrams nor fdm-listen's CSV")

    def number(row, name):
        try:
            return float(row[name])
        except (TypeError, ValueError):
            return math.nan

    start = number(rows[0], "received_at")
    flight = {"time": [number(row, "received_at") - start for row in rows]}
    for name in needed[1:]:
        values = [number(row, name) for row in rows]
        if name in ("latitude", "longitude", "roll", "pitch", "heading"):
            values = [math.degrees(v) for v in values]
        flight[name] = values
    return flight


def matplotlib_or_exit():
    """matplotlib, or the system's Python that has it when this one has not (a Python of one's own first on PATH)."""
    try:
        import matplotlib

        return matplotlib
    except ImportError:
        system = "/usr/bin/python3"
        if os.path.exists(system) and os.path.realpath(sys.executable) != os.path.realpath(system) \
                and not os.environ.get("FDM_PLOT_REEXEC"):
            os.environ["FDM_PLOT_REEXEC"] = "1"
            os.execv(system, [system, os.path.abspath(__file__)] + sys.argv[1:])
        raise Failure("matplotlib is missing (Debian: apt-get install python3-matplotlib; elsewhere: pip install matplotlib)")


def plot(flight, output, title):
    matplotlib = matplotlib_or_exit()
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    import matplotlib.ticker

    figure, ((track, height), (attitude, speed)) = plt.subplots(2, 2, figsize=(12, 8), dpi=100)
    figure.suptitle(title)
    t = flight["time"]

    track.plot(flight["longitude"], flight["latitude"], color="tab:blue", linewidth=1.5)
    track.plot(flight["longitude"][0], flight["latitude"][0], "o", color="tab:green", markersize=9, label="start")
    track.plot(flight["longitude"][-1], flight["latitude"][-1], "s", color="tab:red", markersize=9, label="end")
    track.set(title="Ground track", xlabel="longitude (deg)", ylabel="latitude (deg)")
    track.ticklabel_format(useOffset=False)
    track.xaxis.set_major_locator(matplotlib.ticker.MaxNLocator(4))
    # A degree of longitude is cos(latitude) of a degree of latitude: keep the shape true.
    latitudes = [v for v in flight["latitude"] if math.isfinite(v)]
    if latitudes and abs(math.cos(math.radians(sum(latitudes) / len(latitudes)))) > 0.01:
        track.set_aspect(1.0 / math.cos(math.radians(sum(latitudes) / len(latitudes))), adjustable="datalim")
    track.legend(loc="best")

    height.plot(t, flight["altitude"], label="altitude")
    height.plot(t, flight["height_above_ground"], label="height above ground")
    height.set(title="Height", xlabel="time (s)", ylabel="m")
    height.legend(loc="best")

    for name in ("roll", "pitch", "heading"):
        attitude.plot(t, flight[name], label=name)
    attitude.set(title="Attitude", xlabel="time (s)", ylabel="deg")
    attitude.legend(loc="best")

    speed.plot(t, flight["calibrated_airspeed"], color="tab:blue", label="calibrated airspeed")
    speed.set(title="Airspeed and climb rate", xlabel="time (s)", ylabel="kt")
    climb = speed.twinx()
    climb.plot(t, flight["climb_rate"], color="tab:orange", label="climb rate")
    climb.set_ylabel("ft/s")
    lines = speed.get_lines() + climb.get_lines()
    speed.legend(lines, [line.get_label() for line in lines], loc="best")

    for axes in (track, height, attitude, speed):
        axes.grid(True, alpha=0.3)
    figure.tight_layout()
    try:
        figure.savefig(output)
    except OSError as error:
        raise Failure(f"cannot write {shown(output)}: {error.strerror}")
    finally:
        plt.close(figure)


class Parser(argparse.ArgumentParser):
    def error(self, message):
        sys.stderr.write(f"{PROGRAM}: {message} (try '{PROGRAM} --help')\n")
        sys.exit(2)


def main():
    signal.signal(signal.SIGINT, signal.SIG_DFL)  # Ctrl-C ends it at once
    parser = Parser(prog=PROGRAM, description="Draws a recorded flight: ground track, height, attitude, speeds.")
    parser.add_argument("input", help="a capture (pcap, pcapng) or fdm-listen's CSV")
    parser.add_argument("-o", "--output", required=True, help="the picture: .png, .svg or .pdf")
    parser.add_argument("--title", help="the page's title (default: the input's name)")
    parser.add_argument("--version", action="version", version=f"{PROGRAM} {VERSION}")
    args = parser.parse_args()
    if os.path.splitext(args.output)[1].lower() not in FORMATS:
        parser.error(f"--output {shown(args.output)}: a file name ending in .png, .svg or .pdf")
    try:
        flight = load(args.input)
        plot(flight, args.output, args.title or os.path.basename(args.input))
    except Failure as failure:
        sys.stderr.write(f"{PROGRAM}: {failure}\n")
        return 1
    sys.stderr.write(f"{PROGRAM}: {len(flight['time'])} datagrams, {flight['time'][-1]:.1f} s, drawn in "
                     f"{shown(args.output)}\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
