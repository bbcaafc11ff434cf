"""What the native checks share: Windows paths for Wine, pcmtool runs, soxi's frame count, a test
signal, a full disk, and one line per check with the exit status at the end."""
import math
import resource
import signal
import struct
import subprocess
import sys

failures = 0


def win(path):
    return "Z:" + path.replace("/", "\\")


def check(ok, what, detail=""):
    """Prints one result line, with the tail of detail when it failed, and counts failures."""
    global failures
    print(("ok   " if ok else "FAIL ") + what + ("" if ok else "\n     " + str(detail).strip()[-600:]))
    failures += not ok
    return ok


def finish():
    print("%d failed" % failures)
    sys.exit(1 if failures else 0)


def pcmtool(runner, exe, *args, **kw):
    """Runs pcmtool (or a copy, exe) under Wine; absolute paths become Windows paths."""
    return subprocess.run([runner, exe] + [win(a) if a.startswith("/") else a for a in args],
                          capture_output=True, text=True, **kw)


def frames_of(path):
    """The frame count soxi reads in the file, -1 when it reads none."""
    return int(subprocess.run(["soxi", "-s", path], capture_output=True, text=True).stdout.strip() or -1)


def tone(channels, bits, frames, rate):
    """Little-endian PCM, a sine per channel at half scale: 8-bit unsigned, 16/24-bit signed."""
    out = bytearray()
    for f in range(frames):
        for c in range(channels):
            v = 0.5 * math.sin(2 * math.pi * (220 + 110 * c) * f / rate)
            if bits == 8:
                out += struct.pack("B", int(128 + v * 127))
            else:
                out += struct.pack("<i", int(v * ((1 << (bits - 1)) - 1)))[:bits // 8]
    return bytes(out)


def full_disk_at(size):
    """For subprocess.run(preexec_fn=..., restore_signals=False): writes past size bytes fail."""
    def limit():
        resource.setrlimit(resource.RLIMIT_FSIZE, (size, size))
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    return limit
