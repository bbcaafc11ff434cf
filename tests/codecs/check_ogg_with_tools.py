#!/usr/bin/env python3
"""Encodes PCM with our Ogg Vorbis destination and checks the files with the Vorbis tools:
ogginfo finds no errors, oggdec gives back every sample, and the comment header holds exactly
ENCODER=Harvane.

usage: check_ogg_with_tools.py RUNNER PCMWRITE_EXE
"""
import math
import os
import struct
import subprocess
import sys
import tempfile

runner, writer = sys.argv[1], sys.argv[2]
CASES = [  # channels, rate, bits, frames, options
    (2, 44100, 16, 44100 * 2 + 17, []),
    (1, 22050, 8, 12345, []),
    (2, 48000, 16, 30000, ["quality-based=no", "avg-bitrate=128", "min-bitrate=64", "max-bitrate=192"]),
    (6, 48000, 16, 24000, []),
]


def tone(channels, bits, frames, rate):
    out = bytearray()
    for f in range(frames):
        for c in range(channels):
            v = math.sin(2 * math.pi * (220 + 110 * c) * f / rate) * 0.5
            out += struct.pack("B", int(128 + v * 127)) if bits == 8 else struct.pack("<h", int(v * 32767))
    return bytes(out)


passed = failed = 0
with tempfile.TemporaryDirectory() as temp:
    for channels, rate, bits, frames, options in CASES:
        raw, ogg, wav = (os.path.join(temp, n) for n in ("in.raw", "out.ogg", "out.wav"))
        for p in (ogg, wav):
            if os.path.exists(p):
                os.remove(p)
        with open(raw, "wb") as f:
            f.write(tone(channels, bits, frames, rate))
        win = lambda p: "Z:" + p.replace("/", "\\")
        rc = subprocess.run([runner, writer, "Ogg Vorbis", win(raw), win(ogg), str(channels), str(rate), str(bits)]
                            + options).returncode
        info = subprocess.run(["ogginfo", ogg], capture_output=True, text=True)
        comments = subprocess.run(["vorbiscomment", "-l", ogg], capture_output=True, text=True).stdout.split()
        subprocess.run(["oggdec", "-Q", "-o", wav, ogg])
        decoded = -1
        if os.path.exists(wav):
            decoded = int(subprocess.run(["soxi", "-s", wav], capture_output=True, text=True).stdout.strip() or -1)
        problems = []
        if rc:
            problems.append("writer exited %d" % rc)
        if info.returncode or "WARNING" in info.stdout or "ERROR" in info.stdout:
            problems.append("ogginfo: " + info.stdout[-400:])
        if "Channels: %d" % channels not in info.stdout or "Rate: %d" % rate not in info.stdout:
            problems.append("ogginfo reports other channels or rate")
        if comments != ["ENCODER=Harvane"]:
            problems.append("comments %r" % comments)
        if decoded != frames:
            problems.append("oggdec gave %d frames, expected %d" % (decoded, frames))
        name = "%d ch %d Hz %d-bit %s" % (channels, rate, bits, " ".join(options) or "quality 40")
        print("%-4s %s%s" % ("ok" if not problems else "BAD", name, "".join("\n     " + p for p in problems)))
        passed += not problems
        failed += bool(problems)
print("%d passed, %d failed" % (passed, failed))
sys.exit(1 if failed else 0)
