#!/usr/bin/env python3
"""Encodes PCM with our MP3 destination and checks the files with native tools: mpg123 finds
the rate, channel mode and bit-rate mode (abr/vbr from the Xing header, the CBR rate), decodes
the right length, and id3v2/mid3v2 read the tags written through the destination's metadata.
The bytes equal those of LAME's own lame.exe for the same settings. Then the ways lame_enc.dll
is found or missed, and a full disk.

usage: check_mp3_with_tools.py RUNNER PCMTOOL_EXE
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

from txcheck import check, finish, frames_of, full_disk_at, pcmtool, tone, win

runner, writer = sys.argv[1], sys.argv[2]
bindir = os.path.dirname(writer)
APP_PATHS = r"HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\Trelvox.exe"
FRAME_SLACK = 1152 + 576 + 529  # one frame, the encoder delay and the decoder delay
CASES = [  # channels, rate, bits, seconds, options, expected mpg123 summary, output rate
    (2, 44100, 16, 3.3, [], "abr128 44100 j-s", 44100),
    (1, 22050, 8, 2.1, ["vbr-mode=CBR", "bitrate=64"], "cbr64 22050 mono", 22050),
    (2, 48000, 24, 2.0, ["vbr-mode=vbr", "vbr-quality=80", "joint-stereo=off"], "vbr 48000 stereo", 48000),
    (2, 44100, 16, 2.5, ["vbr-mode=fastvbr", "sample-rate=32kHz", "joint-stereo"], "vbr 32000 j-s", 32000),
    (2, 44100, 16, 2.0, ["vbr-mode=cbr", "bitrate=192000bps", "joint-stereo=off"], "cbr192 44100 stereo", 44100),
]


def encode(exe, raw, out, channels, rate, bits, options, **kw):
    if os.path.exists(out):
        os.remove(out)
    return pcmtool(runner, exe, "write", "MP3", raw, out, str(channels), str(rate), str(bits), *options, **kw)


def summary(mp3):
    text = subprocess.run(["mpg123", "-t", mp3], capture_output=True, text=True).stderr
    found = re.search(r"MPEG \S+ L III (\S+ \d+ \S+)", text)
    return found.group(1) if found else text


with tempfile.TemporaryDirectory(prefix="txmp3") as temp:
    raw, mp3, wav = (os.path.join(temp, n) for n in ("in.raw", "out.mp3", "out.wav"))
    for channels, rate, bits, seconds, options, expected, outrate in CASES:
        frames = int(rate * seconds)
        with open(raw, "wb") as f:
            f.write(tone(channels, bits, frames, rate))
        tags = ["tag:47=Harvane Title", "tag:61=Some Artist"] if not options else []
        result = encode(writer, raw, mp3, channels, rate, bits, options + tags)
        name = "%d ch %d Hz %d-bit %s" % (channels, rate, bits, " ".join(options) or "defaults")
        check(result.returncode == 0, name + ": written", result.stderr)
        check(summary(mp3) == expected, name + ": mpg123 sees " + expected, summary(mp3))
        with open(mp3, "rb") as f:
            xing = b"Xing" in f.read(4096)
        check(xing == (not expected.startswith("cbr")), name + ": Xing header %s" % ("present" if xing else "absent"))
        subprocess.run(["mpg123", "-q", "-w", wav, mp3], capture_output=True)
        decoded = frames_of(wav)
        wanted = frames * outrate // rate
        check(0 <= decoded - wanted <= FRAME_SLACK, name + ": decodes %d frames for %d" % (decoded, wanted))
        if tags:
            listed = subprocess.run(["id3v2", "-l", mp3], capture_output=True, text=True).stdout
            check("TIT2" in listed and "Harvane Title" in listed and "Some Artist" in listed,
                  name + ": id3v2 reads the tags", listed)
            listed = subprocess.run(["mid3v2", "-l", mp3], capture_output=True, text=True).stdout
            check("TIT2=Harvane Title" in listed and "TPE1=Some Artist" in listed, name + ": mutagen reads the tags",
                  listed)
            check(summary(mp3) == expected, name + ": still decodes after tagging", summary(mp3))

    # The bytes are LAME's own: its command line encoder, from the same build of LAME, given the
    # settings the destination passes by default (ABR 128 at quality 5, VBR quality 3, not
    # marked original, no ReplayGain analysis) writes the same file.
    with open(raw, "wb") as f:
        f.write(tone(2, 16, 44100 * 4, 44100))
    reference = os.path.join(temp, "lame.mp3")
    result = encode(writer, raw, mp3, 2, 44100, 16, [])
    made = pcmtool(runner, os.path.join(bindir, "lame.exe"), "--quiet", "-r", "-s", "44.1", "--bitwidth", "16",
                   "--signed", "--little-endian", "-o", "-V", "3", "--abr", "128", "-q", "5", "--noreplaygain", raw,
                   reference)
    ours = open(mp3, "rb").read() if result.returncode == 0 else b""
    theirs = open(reference, "rb").read() if made.returncode == 0 else b""
    differ = next((i for i, (x, y) in enumerate(zip(ours, theirs)) if x != y), min(len(ours), len(theirs)))
    check(ours and ours == theirs, "ABR 128: the bytes of LAME's lame.exe",
          "%d and %d bytes, first difference at %d; %s %s" % (len(ours), len(theirs), differ, result.stderr,
                                                              made.stderr))

    # A caller's copy without lame_enc.dll beside it: not installed, until the App Paths key
    # of Trelvox.exe names a folder that has the library.
    with open(raw, "wb") as f:
        f.write(tone(2, 16, 4410, 44100))
    alone, elsewhere = os.path.join(temp, "alone"), os.path.join(temp, "lame")
    os.makedirs(alone)
    os.makedirs(elsewhere)
    for dll in (os.path.basename(writer), "Trelvox.dll"):
        shutil.copy(os.path.join(bindir, dll), alone)
    shutil.copy(os.path.join(bindir, "lame_enc.dll"), elsewhere)
    lonely = os.path.join(alone, os.path.basename(writer))
    subprocess.run([runner, "reg", "delete", APP_PATHS, "/f"], capture_output=True)
    result = encode(lonely, raw, mp3, 2, 44100, 16, [], cwd=alone)
    check(result.returncode == 1 and result.stderr.startswith("e: LAME MP3 encoder was not installed, see ")
          and not os.path.exists(mp3), "no lame_enc.dll: not installed", result.stderr)
    subprocess.run([runner, "reg", "add", APP_PATHS, "/v", "Path", "/d", win(elsewhere), "/f"], capture_output=True)
    try:
        result = encode(lonely, raw, mp3, 2, 44100, 16, [], cwd=alone)
        check(result.returncode == 0 and summary(mp3) == "abr128 44100 j-s", "found through App Paths",
              result.stderr)
    finally:
        subprocess.run([runner, "reg", "delete", APP_PATHS, "/f"], capture_output=True)

    # A full disk (a file-size limit here) and a name that cannot be created: a clean error.
    with open(raw, "wb") as f:
        f.write(tone(2, 16, 44100 * 10, 44100))

    result = encode(writer, raw, mp3, 2, 44100, 16, [], preexec_fn=full_disk_at(48 * 1024), restore_signals=False)
    check(result.returncode == 1 and re.fullmatch(r"e: Output file cannot be written \(error \d+\)\n", result.stderr),
          "full disk: cannot be written", "rc %d %s" % (result.returncode, result.stderr))
    # The same at Close: the 48 KB of MP3 wait in the stream's 64 KB buffer until Close
    # flushes them. The error is reported, and Close still succeeds.
    with open(raw, "wb") as f:
        f.write(tone(2, 16, 44100 * 3, 44100))
    result = encode(writer, raw, mp3, 2, 44100, 16, [], preexec_fn=full_disk_at(16 * 1024), restore_signals=False)
    check(result.returncode == 0 and re.fullmatch(r"e: Output file cannot be written \(error \d+\)\n", result.stderr),
          "full disk at Close: reported, Close succeeds", "rc %d %s" % (result.returncode, result.stderr))
    result = encode(writer, raw, os.path.join(temp, "bad<name>.mp3"), 2, 44100, 16, [])
    check(result.returncode == 1 and result.stderr == "e: Output file cannot be opened for writing\n",
          "unusable name: cannot be opened", "rc %d %s" % (result.returncode, result.stderr))

finish()
