#!/usr/bin/env python3
"""Checks the QCP source and the PureVoice library beside it: a QCELP file is read as the PCM
ffmpeg decodes from it, from the start and from a start time, and without the library the
source says how to get one. Usage: check_qcp.py RUNNER PCMTOOL_EXE"""
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile

from txcheck import check, finish, pcmtool

runner, exe = sys.argv[1], sys.argv[2]
bindir = os.path.dirname(exe)

QCELP_13K = bytes.fromhex("416d7f5e15b1d011ba9100805fb4b97e")  # {5E7F6D41-B115-11D0-BA91-00805FB4B97E}


def qcp(path, packets, seed):
    """A fixed-rate QCELP 13K file: every packet a full-rate frame of pseudo-random bits."""
    rng = random.Random(seed)
    fmt = struct.pack("<BB16sH80sHHHHHI", 1, 0, QCELP_13K, 2, b"Qcelp 13K", 14000, 35, 160, 8000, 16, 5)
    fmt += bytes([34, 4, 16, 3, 7, 2, 3, 1, 0, 0]) + bytes(6) + bytes(20)
    data = b"".join(bytes([4]) + bytes(rng.getrandbits(8) for _ in range(34)) for _ in range(packets))
    body = b"QLCM" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(data)) + data
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", len(body)) + body)


def ffmpeg_pcm(path):
    return subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "s16le", "-ac", "1", "-ar", "8000", "-"],
                          capture_output=True, check=True).stdout


def compare(name, ours, theirs):
    n = min(len(ours), len(theirs)) // 2
    a, b = struct.unpack(f"<{n}h", ours[:2 * n]), struct.unpack(f"<{n}h", theirs[:2 * n])
    worst = max((abs(x - y) for x, y in zip(a, b)), default=99999)
    # The same decoder, built for another target: float rounding may move a sample by one.
    check(len(ours) == len(theirs) and worst <= 1,
          f"{name}: {len(ours)} bytes vs ffmpeg {len(theirs)}, largest sample difference {worst}")


with tempfile.TemporaryDirectory(prefix="txqcp") as tmp:
    path = os.path.join(tmp, "voice.qcp")
    qcp(path, 257, 7)  # 5.14 s
    reference = ffmpeg_pcm(path)
    loudest = max(abs(x) for x in struct.unpack(f"<{len(reference) // 2}h", reference))
    check(loudest > 1000, f"the fixture decodes to a signal (peak {loudest})")
    raw = os.path.join(tmp, "ours.raw")
    result = pcmtool(runner, exe, "read", "PureVoice QCP", path, raw)
    check(result.returncode == 0, "the QCP source opens and plays the file", result.stderr)
    if result.returncode == 0:
        tag, ch, sr, bits, written, length = map(int, result.stdout.split())
        check((tag, ch, sr, bits) == (1, 1, 8000, 16) and length == 257 * 160 * 2,
              f"PCM 8 kHz 16-bit mono, length {length} bytes from the frame count", result.stdout)
        compare("from the start", open(raw, "rb").read(), reference)

    # From 2 s on: the library starts over and decodes up to block 100.
    result = pcmtool(runner, exe, "read", "PureVoice QCP", path, raw, "2000")
    if result.returncode == 0:
        compare("from 2 s", open(raw, "rb").read(), reference[100 * 160 * 2:])
    else:
        check(False, "the QCP source plays from a start time", result.stderr)

    # Not a QCP file: the library's own error comes back.
    bogus = os.path.join(tmp, "bogus.qcp")
    with open(bogus, "wb") as f:
        f.write(b"RIFF\0\0\0\0WAVEfmt " + bytes(100))
    result = pcmtool(runner, exe, "read", "PureVoice QCP", bogus, raw)
    check(result.returncode != 0 and "e: Can't open QCP file (error 80040004)" in result.stderr,
          "a file that is no QCP file", result.stderr)

    # A copy of the program without the library beside it.
    alone = os.path.join(tmp, "alone")
    os.makedirs(alone)
    for name in (os.path.basename(exe), "Trelvox.dll"):
        shutil.copy(os.path.join(bindir, name), alone)
    result = pcmtool(runner, os.path.join(alone, os.path.basename(exe)), "read", "PureVoice QCP", path, raw,
                     cwd=alone)
    check(result.returncode != 0 and result.stderr.startswith("e: QCP library not found\ni: To install now, see "),
          "no Qscl.dll: not found, with the installation line", result.stderr)

finish()
