#!/usr/bin/env python3
"""Writes random PCM through our AIFF destination and has sox read it back: the samples must
come back bit-exact, for 8/16/24 bits, mono and stereo, and odd frame counts.

usage: check_aiff_with_sox.py RUNNER PCMWRITE_EXE   (RUNNER runs a Windows program under Wine)
"""
import os
import random
import re
import resource
import signal
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
            rc = subprocess.run([runner, writer, "AIFF", "Z:" + raw.replace("/", "\\"), "Z:" + aif.replace("/", "\\"),
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

    # A full disk (a file-size limit here) that the buffered samples and the header fix-ups
    # meet only at Close: the error is reported, and Close still succeeds.
    def small_disk():
        resource.setrlimit(resource.RLIMIT_FSIZE, (1024, 1024))
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)

    with open(raw, "wb") as f:
        f.write(bytes(2000))
    os.remove(aif)
    result = subprocess.run([runner, writer, "AIFF", "Z:" + raw.replace("/", "\\"), "Z:" + aif.replace("/", "\\"),
                             "2", "44100", "16"], capture_output=True, text=True, preexec_fn=small_disk,
                            restore_signals=False)
    ok = result.returncode == 0 and re.fullmatch(r"e: File cannot be written \(error \d+\)\n", result.stderr)
    print("%-3s full disk at Close: writer %d %s" % ("ok" if ok else "BAD", result.returncode, result.stderr.strip()))
    passed += bool(ok)
    failed += not ok
print("%d passed, %d failed" % (passed, failed))
sys.exit(1 if failed else 0)
