"""What the scripted tool tests share: where the programs are, how to start
one (under the emulator for a Windows build), and a loopback receiver.

A test script takes BIN_DIR [EMULATOR] as its first arguments."""
import os
import socket
import subprocess
import sys

BIN = os.path.abspath(sys.argv.pop(1) if len(sys.argv) > 1 else ".")
EMULATOR = sys.argv.pop(1) if len(sys.argv) > 1 else ""
TIMEOUT = 60 if EMULATOR else 20


def tool(name):
    """The command that starts a tool, as a list: NAME.exe under the emulator for a Windows build."""
    if EMULATOR:
        return [EMULATOR, os.path.join(BIN, name + ".exe")]
    return [os.path.join(BIN, name)]


def receiver(timeout=5.0):
    """A UDP socket on a loopback port the system picks."""
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind(("127.0.0.1", 0))
    sock.settimeout(timeout)
    return sock


# Wine's own loader sometimes fails an assertion as a process exits, after
# the program did its work; the exit status is then Wine's, not the tool's.
WINE_LOADER_CRASH = "Inconsistency detected by ld.so"


def run_once_more_after_wine_loader_crash(run):
    def wrapped(*args, **kwargs):
        done = run(*args, **kwargs)
        err = done.stderr if isinstance(done.stderr, str) else (done.stderr or b"").decode("utf-8", "replace")
        if WINE_LOADER_CRASH in err:
            print(f"note: Wine's loader crashed at exit ({WINE_LOADER_CRASH}); running {args[0]!r} once more",
                  file=sys.stderr)
            done = run(*args, **kwargs)
        return done
    return wrapped


if EMULATOR:
    subprocess.run = run_once_more_after_wine_loader_crash(subprocess.run)
