#!/usr/bin/env python3
"""Writes random PCM through our AIFF destination and has sox read it back: the samples must
come back bit-exact, for 8/16/24 bits, mono and stereo, and odd frame counts.

usage: check_aiff_with_sox.py RUNNER PCMTOOL_EXE   (RUNNER runs a Windows program under Wine)
"""
import os
import random
import re
import subprocess
import sys
import tempfile

from txcheck import check, finish, frames_of, full_disk_at, pcmtool

runner, exe = sys.argv[1], sys.argv[2]
with tempfile.TemporaryDirectory() as temp:
    raw, aif = os.path.join(temp, "in.raw"), os.path.join(temp, "out.aif")
    for bits in (8, 16, 24):
        for channels in (1, 2):
            frames = 4411 if channels == 1 else 1000  # odd and even byte counts
            data = bytes(random.getrandbits(8) for _ in range(frames * channels * bits // 8))
            with open(raw, "wb") as f:
                f.write(data)
            if os.path.exists(aif):
                os.remove(aif)
            rc = pcmtool(runner, exe, "write", "AIFF", raw, aif, str(channels), "44100", str(bits)).returncode
            encoding = "unsigned-integer" if bits == 8 else "signed-integer"
            back = subprocess.run(["sox", aif, "-t", "raw", "-e", encoding, "-b", str(bits), "-L", "-"],
                                  capture_output=True)
            info = frames_of(aif)
            check(rc == 0 and back.returncode == 0 and back.stdout == data and info == frames,
                  "%d-bit %d ch %d frames: writer %d, sox %d, soxi %d" % (bits, channels, frames, rc,
                                                                         back.returncode, info),
                  back.stderr.decode(errors="replace"))

    # A full disk (a file-size limit here) that the buffered samples and the header fix-ups
    # meet only at Close: the error is reported, and Close still succeeds.
    with open(raw, "wb") as f:
        f.write(bytes(2000))
    os.remove(aif)
    result = pcmtool(runner, exe, "write", "AIFF", raw, aif, "2", "44100", "16", preexec_fn=full_disk_at(1024),
                     restore_signals=False)
    check(result.returncode == 0 and re.fullmatch(r"e: File cannot be written \(error \d+\)\n", result.stderr),
          "full disk at Close: writer %d %s" % (result.returncode, result.stderr.strip()))
finish()
