#!/usr/bin/env python3
"""Damaged and unusual files on which Wine's GStreamer decoders stall for good: every conversion
must still end, soon after the stall limit (set low here), with the stall message, a failed exit
status and no temporary file left behind. Also: the pull reader on a stalling file, --tags on all
of them, an unusual but sound M4A that must still convert, and headers declaring more channels
than the decoders take (which would end the process inside GStreamer), refused before decoding.

usage: check_damaged_files.py RUNNER TXCONV MEDIATOOL
"""
import glob
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

runner, txconv, mediatool = sys.argv[1:4]
LIMIT_MS = 2000
# Wine's start-up, a cancelled decoder's unwinding, or a second limit when it must be abandoned.
DEADLINE = 2 * LIMIT_MS / 1000 + 8
DS_STALL = "DirectShow: Decoder made no progress for 2 seconds, the file may be damaged"
WM_STALL = "Windows Media reader made no progress for 2 seconds, the file may be damaged"
NOT_INSTALLED = "Decoding filter for the file format was not installed! (error "
TOO_MANY = "DirectShow: %d channels cannot be decoded (at most 63)"
# The library's temporary files: the driver's analysis pass and the DirectShow reader's buffer.
TEMP_GLOBS = ("ana*.tmp", "dss*.tmp")
temp_dirs = glob.glob(os.path.join(os.path.dirname(runner), "harness", "wineprefix", "drive_c", "users", "*",
                                   "Temp"))
failures = []


def win(path):
    return "Z:" + path.replace("/", "\\")


def check(name, problems):
    print("%-4s %s%s" % ("ok" if not problems else "BAD", name, "".join("\n     " + p for p in problems)))
    if problems:
        failures.append(name)


def temp_files():
    return {f for d in temp_dirs for g in TEMP_GLOBS for f in glob.glob(os.path.join(d, g))}


def run(program, *args):
    before = temp_files()
    started = time.monotonic()
    result = subprocess.run([runner, program] + list(args), capture_output=True, timeout=120, encoding="utf-8",
                            errors="replace", env=dict(os.environ, TRELVOX_STALL_MS=str(LIMIT_MS)))
    lines = [l for l in result.stderr.splitlines() if l.startswith(("error:", "info:", "e: ", "i: "))]
    return result.returncode, time.monotonic() - started, lines, sorted(temp_files() - before)


def ext80(rate):
    exponent = int(math.floor(math.log2(rate)))
    return struct.pack(">HQ", 16383 + exponent, int(rate * 2 ** (63 - exponent)))


def aiff(path, channels, frames, data):
    """16-bit AIFF at 44.1 kHz whose sound chunk holds data as it is: an odd size gets no pad byte."""
    comm = struct.pack(">hIh", channels, frames, 16) + ext80(44100)
    ssnd = struct.pack(">II", 0, 0) + data
    body = b"COMM" + struct.pack(">I", len(comm)) + comm + b"SSND" + struct.pack(">I", len(ssnd)) + ssnd
    with open(path, "wb") as f:
        f.write(b"FORM" + struct.pack(">I", 4 + len(body)) + b"AIFF" + body)


def sv8_header_only(path):
    """Musepack SV8: the magic and a stream header packet, no audio packets."""
    def varint(n):
        out = [n & 0x7F]
        while n > 0x7F:
            n >>= 7
            out.append(0x80 | (n & 0x7F))
        return bytes(reversed(out))
    payload = struct.pack(">I", 0) + bytes([8]) + varint(3 * 44100) + varint(0) + bytes([0x1F, 0x19])
    with open(path, "wb") as f:
        f.write(b"MPCK" + b"SH" + varint(3 + len(payload)) + payload)


def ape_old_header(path):
    """Monkey's Audio with a header of version 3950 (the layout before 3980) and nothing after it."""
    with open(path, "wb") as f:
        f.write(b"MAC " + struct.pack("<HHHHIIIII", 3950, 2000, 0, 2, 44100, 0, 0, 1, 100))


def m4a_variants(temp):
    """From an AAC file with moov after mdat: one whose mdat claims a 64-bit size that covers only
    its own header, so that a parser walks into the audio as atoms; and one whose metadata list
    holds an item of size 0 after a sound one (unusual, but it must convert)."""
    base = os.path.join(temp, "base.m4a")
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "sine=f=440:d=2", "-c:a", "aac",
                    "-metadata", "title=Hello", base], check=True)
    data = open(base, "rb").read()
    mdat = data.index(b"mdat") - 4
    walk = bytearray(data)
    walk[mdat:mdat + 4] = struct.pack(">I", 1)
    walk[mdat + 8:mdat + 16] = struct.pack(">Q", 16)
    open(os.path.join(temp, "walk.m4a"), "wb").write(walk)
    ilst = data.index(b"ilst") - 4
    ilst_size = struct.unpack(">I", data[ilst:ilst + 4])[0]
    extra = struct.pack(">I4s", 0, b"\xa9ART") + b"\0" * 16
    grown = bytearray(data[:ilst + ilst_size] + extra + data[ilst + ilst_size:])
    # Every atom around the list grows by the extra bytes; moov comes last, so no offset moves.
    for name in (b"ilst", b"meta", b"udta", b"moov"):
        at = grown.index(name) - 4
        grown[at:at + 4] = struct.pack(">I", struct.unpack(">I", grown[at:at + 4])[0] + len(extra))
    open(os.path.join(temp, "zero-item.m4a"), "wb").write(grown)


def convert(temp, name, messages, extra=(), crash_ok=False):
    """Converts name to Wave in a directory of its own; messages: the accepted error texts.
    crash_ok: the decoder is left running, and 64-bit Wine may crash ending its thread when the
    process ends; the exit status is then that of the crash, which is shown."""
    out = os.path.join(temp, "out-" + name)
    os.mkdir(out)
    path = os.path.join(temp, name)
    rc, seconds, lines, left = run(txconv, "-y", *extra, "-o", win(out), win(path))
    errors = [l[len("error: %s: " % win(path)):] for l in lines if l.startswith("error: %s: " % win(path))]
    partial = [l for l in lines if "partial output left in" in l]
    problems = []
    if rc != 1 and not (crash_ok and rc < 0):
        problems.append("exit status %d" % rc)
    if seconds > DEADLINE:
        problems.append("took %.1f s, more than %.1f s" % (seconds, DEADLINE))
    if len(errors) != 1 or not any(errors[0].startswith(m) for m in messages):
        problems.append("lines %r" % lines)
    if left:
        problems.append("temporary files left: %r" % left)
    stray = [f for f in os.listdir(out) if not any(win(os.path.join(out, f)) in p for p in partial)]
    if stray:
        problems.append("files beside the output: %r" % stray)
    check("%-14s %s ends in %.1f s, status %d: %s" % (name, " ".join(extra), seconds, rc, " | ".join(errors)),
          problems)


with tempfile.TemporaryDirectory() as temp:
    t = lambda name: os.path.join(temp, name)
    sv8_header_only(t("header.mpc"))
    ape_old_header(t("old.ape"))
    shutil.copy(t("old.ape"), t("old-ape.mp3"))  # the MP3 row decodes through the Windows Media reader
    aiff(t("odd.aiff"), 2, 1, b"\x01\x02\x03\x04\x05")
    # One second of the two its header announces: the decoder stalls after the first second.
    aiff(t("cut.aiff"), 1, 88200, bytes(44100 * 2))
    with open(t("cut.aiff"), "r+b") as f:
        f.seek(4 + 4 + 4 + 8 + 18 + 4)
        f.write(struct.pack(">I", 8 + 88200 * 2))
    aiff(t("many.aiff"), 255, 1, bytes(510))
    with open(t("many.au"), "wb") as f:
        f.write(b".snd" + struct.pack(">5I", 24, 128, 3, 8000, 64) + bytes(128))
    have_ffmpeg = shutil.which("ffmpeg") is not None
    if have_ffmpeg:
        m4a_variants(temp)

    convert(temp, "header.mpc", [DS_STALL])
    convert(temp, "old.ape", [DS_STALL])
    convert(temp, "odd.aiff", [DS_STALL])
    # Two passes: the analysis file must go as well.
    convert(temp, "cut.aiff", [DS_STALL], ["--normalize=track"])
    convert(temp, "old-ape.mp3", [WM_STALL], crash_ok=True)
    convert(temp, "many.aiff", [TOO_MANY % 255])
    convert(temp, "many.au", [TOO_MANY % 64])
    if have_ffmpeg:
        # Wine's MP4 parser mostly refuses this file at once and sometimes waits for ever.
        convert(temp, "walk.m4a", [DS_STALL, NOT_INSTALLED], crash_ok=True)
        rc, seconds, lines, left = run(txconv, "-y", "-o", win(temp), win(t("zero-item.m4a")))
        check("zero-item.m4a converts (%.1f s)" % seconds,
              [] if rc == 0 and os.path.getsize(t("zero-item.wav")) > 44100 * 2 else ["rc %d %r" % (rc, lines)])
    else:
        print("skipped: the M4A files, ffmpeg is not installed")

    # The pull reader hands out what was decoded before the stall, then nothing.
    rc, seconds, lines, left = run(mediatool, "read", "ds", win(t("cut.aiff")), win(t("reader")), "100")
    problems = [] if lines == ["e: " + DS_STALL] and seconds <= DEADLINE and not left else [
        "rc %d, %.1f s, lines %r, left %r" % (rc, seconds, lines, left)]
    check("ISampleReader on cut.aiff ends in %.1f s" % seconds, problems)

    # Tags are read by the library's own parsers: they end at once, with or without a tag.
    names = ["header.mpc", "old.ape", "old-ape.mp3", "odd.aiff", "cut.aiff"] + (["walk.m4a"] if have_ffmpeg else [])
    rc, seconds, lines, left = run(txconv, *[a for n in names for a in ("--tags", win(t(n)))])
    check("--tags on all of them ends in %.1f s" % seconds,
          [] if rc in (0, 1) and seconds <= 10 and len(lines) == len(names) else ["rc %d %r" % (rc, lines)])

print("%d failed" % len(failures))
sys.exit(1 if failures else 0)
