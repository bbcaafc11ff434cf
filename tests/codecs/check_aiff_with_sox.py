#!/usr/bin/env python3
"""Writes random PCM through our AIFF destination and has sox read it back: the samples must
come back bit-exact, for 8/16/24 bits, mono and stereo, and odd frame counts.

usage: check_aiff_with_sox.py RUNNER WRITER_EXE   (RUNNER runs a Windows program under Wine)
"""
import os
import random
import subprocess
import sys
import tempfile

runner, writer = sys.argv[1], sys.argv[2]
passed = failed = 0
with tempfile.TemporaryDirectory() as temp:
    for bits in (8, 16, 24):
        for channels in (1, 2):
            frames = 4411 if channels == 1 else 1000  # odd and even byte counts
            raw = os.path.join(temp, "in.raw")
            aif = os.path.join(temp, "out.aif")
            data = bytes(random.getrandbits(8) for _ in range(frames * channels * bits // 8))
            with open(raw, "wb") as f:
                f.write(data)
            if os.path.exists(aif):
                os.remove(aif)
            rc = subprocess.run([runner, writer, "Z:" + raw.replace("/", "\\"), "Z:" + aif.replace("/", "\\"),
                                 str(channels), "44100", str(bits)]).returncode
            encoding = "unsigned-integer" if bits == 8 else "signed-integer"
            back = subprocess.run(["sox", aif, "-t", "raw", "-e", encoding, "-b", str(bits), "-L", "-"],
                                  capture_output=True)
            info = subprocess.run(["soxi", "-s", aif], capture_output=True, text=True).stdout.strip()
            ok = rc == 0 and back.returncode == 0 and back.stdout == data and info == str(frames)
            print("%-3s %d-bit %d ch %d frames: writer %d, sox %d, soxi %s" %
                  ("ok" if ok else "BAD", bits, channels, frames, rc, back.returncode, info))
            if not ok and back.returncode:
                print(back.stderr.decode(errors="replace"))
            passed += ok
            failed += not ok
print("%d passed, %d failed" % (passed, failed))
sys.exit(1 if failed else 0)
