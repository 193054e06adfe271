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


CAPTURE_MAGICS = (b"\xd4\xc3\xb2\xa1", b"\xa1\xb2\xc3\xd4", b"\x4d\x3c\xb2\xa1", b"\xa1\xb2\x3c\x4d", b"\x0a\x0d\x0d\x0a")
# The runner's input table (orvalink-run --input, samples/*.csv): the plotted columns, and their own names.
RUNNER_COLUMNS = {"latitude": "latitude_rad", "longitude": "longitude_rad", "altitude": "altitude_m",
                  "height_above_ground": "height_above_ground_m", "roll": "roll_rad", "pitch": "pitch_rad",
                  "heading": "heading_rad", "calibrated_airspeed": "calibrated_airspeed_kt",
                  "climb_rate": "climb_rate_ftps"}


class BadUsage(Exception):
    """An option that does nothing with this input: one line, exit code 2."""


def table_text(path, port=None):
    """The table to plot, and a warning from the capture's reader (or None): a CSV file read as it is, a
    capture made into the listener's CSV by fdm-replay (the flow to `port`, or the first, which fdm-replay
    names when there are several). The input is opened once, so '-' and pipes work."""
    try:
        if path == "-":
            data, head = sys.stdin.buffer.read(), None
        elif os.path.isfile(path):
            data = None
            with open(path, "rb") as handle:
                head = handle.read(4)
        else:  # a pipe or a device: read once
            with open(path, "rb") as handle:
                data, head = handle.read(), None
    except OSError as error:
        raise Failure(f"cannot read {shown(path)}: {error.strerror}")
    if head is None:
        head = data[:4]
    if head in CAPTURE_MAGICS:
        replay = replay_program()
        if replay is None:
            raise Failure("fdm-replay, which reads captures, is neither beside this script nor on PATH")
        command = [replay, "-" if data is not None else path, "--csv"] + (["--port", str(port)] if port else [])
        try:
            done = subprocess.run(command, input=data, capture_output=True, timeout=600)
        except subprocess.TimeoutExpired:
            raise Failure(f"fdm-replay took more than 600 s to read {shown(path)}")
        except OSError as error:
            raise Failure(f"cannot run {shown(replay)}: {error.strerror}")
        message = done.stderr.decode("utf-8", "replace").strip().replace("fdm-replay: ", "")
        if done.returncode != 0 and not done.stdout:
            raise Failure(message or f"fdm-replay failed with status {done.returncode}")
        if done.returncode == 0 and message:  # which flow it took, when the capture holds several
            sys.stderr.write(f"{PROGRAM}: " + message.replace("; writing ", "; drawing ")
                             .replace("wrote the datagrams", "drew the datagrams") + "\n")
        return done.stdout.decode("ascii", "replace"), (message or None) if done.returncode != 0 else None
    if port:
        raise BadUsage(f"--port {port} picks a flow of a capture, and {shown(path)} is a table: leave it out")
    if data is None:
        try:
            with open(path, "rb") as handle:
                data = handle.read()
        except OSError as error:
            raise Failure(f"cannot read {shown(path)}: {error.strerror}")
    return data.decode("utf-8-sig", "replace"), None


def number(row, name):
    try:
        return float(row[name])
    except (TypeError, ValueError):
        return math.nan


def load(path, sample_time, port=None):
    """The flight's columns (time from the first row, angles in degrees), what the time axis is, and a
    warning from reading the capture (or None)."""
    text, warning = table_text(path, port)
    rows = list(csv.DictReader(io.StringIO(text)))
    needed = ("latitude", "longitude", "altitude", "height_above_ground", "roll", "pitch", "heading",
              "calibrated_airspeed", "climb_rate")
    if rows and all(RUNNER_COLUMNS[name] in rows[0] for name in needed):
        flight = {name: [number(row, RUNNER_COLUMNS[name]) for row in rows] for name in needed}
        flight["time"] = [i * sample_time for i in range(len(rows))]
        axis = f"row number x {sample_time:g} s (the runner's input table)"
    elif rows and all(name in rows[0] for name in needed + ("received_at",)):
        flight = {name: [number(row, name) for row in rows] for name in needed}
        received = [number(row, "received_at") for row in rows]
        gaps = sorted(b - a for a, b in zip(received, received[1:]))
        if gaps and gaps[len(gaps) // 2] < 0.001:
            # Bunched: sent faster than any FlightGear reads (orvalink-run --fast). The block's own clock word
            # counts whole seconds of the same wall clock, so it is bunched too: the sample time spaces them.
            flight["time"] = [i * sample_time for i in range(len(rows))]
            axis = f"datagram number x {sample_time:g} s (receive times bunched, as in a --fast recording)"
        else:
            flight["time"] = [t - received[0] for t in received]
            axis = "receive time"
    else:
        raise Failure(f"{shown(path)} holds no flight: neither a capture of FlightGear datagrams, fdm-listen's CSV "
                      "nor orvalink-run's input table")
    for name in ("latitude", "longitude", "roll", "pitch", "heading"):
        flight[name] = [math.degrees(v) for v in flight[name]]
    return flight, axis, warning


def heading_points(times, headings):
    """(time, heading) in 0 to 360 degrees, with a gap (NaN) where the heading wraps round, instead of a
    line across the panel."""
    out = []
    for time, value in zip(times, headings):
        value = value % 360.0 if math.isfinite(value) else value
        if out and math.isfinite(value) and math.isfinite(out[-1][1]) and abs(value - out[-1][1]) > 180.0:
            out.append((time, math.nan))
        out.append((time, value))
    return out


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

    figure = plt.figure(figsize=(12, 9), dpi=100)
    grid = figure.add_gridspec(2, 2)
    track = figure.add_subplot(grid[0, 0])
    height = figure.add_subplot(grid[0, 1])
    attitude = figure.add_subplot(grid[1, 0])
    speeds = grid[1, 1].subgridspec(2, 1, hspace=0.05)
    speed = figure.add_subplot(speeds[0])
    climb = figure.add_subplot(speeds[1], sharex=speed)
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

    attitude.plot(t, flight["roll"], label="roll")
    attitude.plot(t, flight["pitch"], label="pitch")
    attitude.plot([x for x, _ in heading_points(t, flight["heading"])],
                  [y for _, y in heading_points(t, flight["heading"])], label="heading (0 to 360)")
    attitude.set(title="Attitude", xlabel="time (s)", ylabel="deg")
    attitude.legend(loc="best")

    # Each on its own axes: on twin axes two constant lines hide each other.
    speed.plot(t, flight["calibrated_airspeed"], color="tab:blue")
    speed.set(title="Airspeed and climb rate", ylabel="airspeed (kt)")
    speed.tick_params(labelbottom=False)
    climb.plot(t, flight["climb_rate"], color="tab:orange")
    climb.set(xlabel="time (s)", ylabel="climb rate (ft/s)")

    for axes in (track, height, attitude, speed, climb):
        axes.grid(True, alpha=0.3)
    figure.tight_layout()
    try:
        figure.savefig(output)
    except OSError as error:
        raise Failure(f"cannot write {shown(output)}: {error.strerror}")
    finally:
        plt.close(figure)


def udp_port(text):
    """--port's value: a whole number from 1 to 65535, decimal."""
    if not (text.isascii() and text.isdigit() and 1 <= int(text) <= 65535):
        raise argparse.ArgumentTypeError(f"{shown(text)}: a whole number from 1 to 65535")
    return int(text)


def seconds(text):
    """--sample-time's value: seconds from 0.0001 to 3600."""
    try:
        value = float(text)
    except ValueError:
        value = math.nan
    if not (math.isfinite(value) and 0.0001 <= value <= 3600):
        raise argparse.ArgumentTypeError(f"{shown(text)}: seconds from 0.0001 to 3600")
    return value


class Parser(argparse.ArgumentParser):
    def error(self, message):
        sys.stderr.write(f"{PROGRAM}: {message} (try '{PROGRAM} --help')\n")
        sys.exit(2)


def main():
    parser = Parser(prog=PROGRAM, description="Draws a recorded flight: ground track, height, attitude, speeds.")
    parser.add_argument("input", help="a capture (pcap, pcapng) or fdm-listen's CSV")
    parser.add_argument("-o", "--output", required=True, help="the picture: .png, .svg or .pdf")
    parser.add_argument("--title", help="the page's title (default: the input's name)")
    parser.add_argument("--sample-time", type=seconds, default=0.05, metavar="S",
                        help="seconds between rows where the input has no usable times: the runner's input table, "
                             "or a recording made faster than real time (default 0.05, the runner's)")
    parser.add_argument("--port", type=udp_port, metavar="N",
                        help="of a capture that holds several flows, the datagrams to UDP port N (default: the "
                             "first flow, which it names)")
    parser.add_argument("--version", action="version", version=f"{PROGRAM} {VERSION}")
    args = parser.parse_args()
    if os.path.splitext(args.output)[1].lower() not in FORMATS:
        parser.error(f"--output {shown(args.output)}: a file name ending in .png, .svg or .pdf")
    try:
        matplotlib_or_exit()  # before the input is read: a re-run in another Python could not read a pipe again
        flight, axis, warning = load(args.input, args.sample_time, args.port)
        plot(flight, args.output, args.title or ("standard input" if args.input == "-" else os.path.basename(args.input)))
    except Failure as failure:
        sys.stderr.write(f"{PROGRAM}: {failure}\n")
        return 1
    except BadUsage as problem:
        sys.stderr.write(f"{PROGRAM}: {problem} (try '{PROGRAM} --help')\n")
        return 2
    except KeyboardInterrupt:  # Ctrl-C, as every tool takes it: a summary and exit 0
        sys.stderr.write(f"{PROGRAM}: stopped, nothing drawn\n")
        return 0
    if warning:
        sys.stderr.write(f"{PROGRAM}: warning: {warning}\n")
    count = len(flight["time"])
    sys.stderr.write(f"{PROGRAM}: {count} row{'' if count == 1 else 's'}, {flight['time'][-1]:.1f} s "
                     f"(time axis: {axis}), drawn in {shown(args.output)}\n")
    return 1 if warning else 0


if __name__ == "__main__":
    sys.exit(main())
