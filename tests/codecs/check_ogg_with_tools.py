#!/usr/bin/env python3
"""Encodes PCM with our Ogg Vorbis destination and checks the files with the Vorbis tools:
ogginfo finds no errors, oggdec gives back every sample, and the comment header holds exactly
ENCODER=Harvane.

usage: check_ogg_with_tools.py RUNNER PCMTOOL_EXE
"""
import os
import subprocess
import sys
import tempfile

from txcheck import check, finish, frames_of, pcmtool, tone

runner, exe = sys.argv[1], sys.argv[2]
CASES = [  # channels, rate, bits, frames, options
    (2, 44100, 16, 44100 * 2 + 17, []),
    (1, 22050, 8, 12345, []),
    (2, 48000, 16, 30000, ["quality-based=no", "avg-bitrate=128", "min-bitrate=64", "max-bitrate=192"]),
    (6, 48000, 16, 24000, []),
]

with tempfile.TemporaryDirectory() as temp:
    raw, ogg, wav = (os.path.join(temp, n) for n in ("in.raw", "out.ogg", "out.wav"))
    for channels, rate, bits, frames, options in CASES:
        for p in (ogg, wav):
            if os.path.exists(p):
                os.remove(p)
        with open(raw, "wb") as f:
            f.write(tone(channels, bits, frames, rate))
        rc = pcmtool(runner, exe, "write", "Ogg Vorbis", raw, ogg, str(channels), str(rate), str(bits),
                     *options).returncode
        info = subprocess.run(["ogginfo", ogg], capture_output=True, text=True)
        comments = subprocess.run(["vorbiscomment", "-l", ogg], capture_output=True, text=True).stdout.split()
        subprocess.run(["oggdec", "-Q", "-o", wav, ogg])
        decoded = frames_of(wav)
        name = "%d ch %d Hz %d-bit %s" % (channels, rate, bits, " ".join(options) or "quality 40")
        check(rc == 0, name + ": written")
        check(info.returncode == 0 and "WARNING" not in info.stdout and "ERROR" not in info.stdout
              and "Channels: %d" % channels in info.stdout and "Rate: %d" % rate in info.stdout,
              name + ": ogginfo finds no problem, the channels and the rate", info.stdout[-400:])
        check(comments == ["ENCODER=Harvane"], name + ": comments %r" % comments)
        check(decoded == frames, name + ": oggdec gives %d frames for %d" % (decoded, frames))
finish()
