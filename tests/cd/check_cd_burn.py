#!/usr/bin/env python3
"""Writes an audio CD through txconv --burn to the CD bench's blank CD-R and reads it back: four
files in four formats (44.1 kHz stereo Wave, 48 kHz mono Wave that goes through ACM, Ogg
Vorbis, and an MP3 whose ID3 tag gives its CD-Text), ripped back along the secure path and split
from the exported image by bchunk, each track bit-exact with the Red Book conversion of its
source. The references: the 44.1 kHz Wave's own samples; the others converted to Wave by
txconv, the 48 kHz file through the same ACM conversion to 44.1 kHz stereo. The track starts,
the image's CD-Text through cueprint, and a test write that leaves the disc blank.

usage: check_cd_burn.py RUNNER TXCONV_EXE
"""
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from txcheck import check, finish, win  # noqa: E402

runner, txconv = sys.argv[1], sys.argv[2]
FRAME = 2352


def txconv_run(*args):
    result = subprocess.run([runner, txconv] + list(args), capture_output=True, timeout=300, encoding="utf-8",
                            errors="replace")
    return result.returncode, result.stdout + result.stderr


def data_of(wav):
    """The bytes of a Wave file's data chunk."""
    with open(wav, "rb") as f:
        data = f.read()
    at = 12
    while at + 8 <= len(data):
        size = int.from_bytes(data[at + 4:at + 8], "little")
        if data[at:at + 4] == b"data":
            return data[at + 8:at + 8 + size]
        at += 8 + size + (size & 1)
    return b""


def frames(pcm):
    """pcm with its last frame filled up with silence, as the disc holds it."""
    return pcm + bytes(-len(pcm) % FRAME)


with tempfile.TemporaryDirectory() as tmp:
    def path(name):
        return os.path.join(tmp, name)

    def sox(*args):
        subprocess.run(["sox", "-n"] + list(args), check=True, capture_output=True)

    sox("-r", "44100", "-c", "2", "-b", "16", path("stereo.wav"), "synth", "101384s", "whitenoise", "vol", "0.3")
    sox("-r", "48000", "-c", "1", "-b", "16", path("mono.wav"), "synth", "2.0", "sine", "440", "vol", "0.5")
    sox("-r", "44100", "-c", "2", "-b", "16", path("vorbis.wav"), "synth", "2.3", "sine", "300", "vol", "0.4")
    subprocess.run(["oggenc", "-Q", "-q", "3", "-o", path("vorbis.ogg"), path("vorbis.wav")], check=True)
    sox("-r", "44100", "-c", "2", "-b", "16", path("lame.wav"), "synth", "1.7", "sine", "660", "vol", "0.4")
    subprocess.run(["lame", "--quiet", "--tt", "Fourth", "--ta", "Lame Artist", path("lame.wav"), path("tagged.mp3")],
                   check=True)
    sources = [path("stereo.wav"), path("mono.wav"), path("vorbis.ogg"), path("tagged.mp3")]

    # The Red Book conversion of each source, made by the library's own Wave destination.
    os.mkdir(path("ref"))
    rc, text = txconv_run("-f", "Wave", "--opt", "wave-format=44100 Hz; 16 bits; Stereo", "-o", win(path("ref")),
                          "-y", win(path("mono.wav")))
    rc2, text2 = txconv_run("-f", "Wave", "-o", win(path("ref")), "-y", win(path("vorbis.ogg")), win(path("tagged.mp3")))
    check(rc == 0 and rc2 == 0, "the references convert", text + text2)
    expected = [frames(data_of(path("stereo.wav")))] + [
        frames(data_of(path("ref/" + name))) for name in ("mono.wav", "vorbis.wav", "tagged.wav")]

    rc, text = txconv_run("--virtual-drive", win(path("out.cue")), "--burn", "D:", *[win(s) for s in sources],
                          "--title", "Round Trip", "--artist", "Round Trip Band")
    check(rc == 0 and "Converting audio files to Red-book format..." in text and
          "Recording Options: Speed 255 (0)" in text and "the disc is written" in text,
          "--burn writes four files to the blank CD-R", text)
    check(not any(name.startswith("bcd") for name in os.listdir(tmp)), "no track file is left behind")

    # The image the writer kept: bchunk's tracks and cueprint's CD-Text.
    split = subprocess.run(["bchunk", "-w", path("out.bin"), path("out.cue"), path("part")], capture_output=True,
                           text=True)
    for n, want in enumerate(expected, 1):
        got = data_of(path("part%02d.wav" % n)) if os.path.exists(path("part%02d.wav" % n)) else b""
        check(split.returncode == 0 and got == want,
              "bchunk: track %d is the Red Book conversion of its source (%d of %d bytes)" % (n, len(got), len(want)),
              split.stdout + split.stderr)

    def cueprint(*args):
        return subprocess.run(["cueprint"] + list(args) + [path("out.cue")], capture_output=True,
                              text=True).stdout.rstrip("\n")

    texts = [cueprint("-d", "%T|%P", "-t", "")] + [cueprint("-n", str(n), "-d", "", "-t", "%t|%p") for n in range(1, 5)]
    want = ["Round Trip|Round Trip Band", "stereo|Round Trip Band", "mono|Round Trip Band", "vorbis|Round Trip Band",
            "Fourth|Lame Artist"]
    check(texts == want, "cueprint: titles and performers from --title, --artist, file names and the ID3 tag",
          "%s, want %s" % (texts, want))

    # The disc read back through the secure path; the rip log tells where each track starts.
    os.mkdir(path("rip"))
    rc, text = txconv_run("--virtual-drive", win(path("out.cue")), "--cd", "D:", "--secure", "-f", "Wave", "-o",
                          win(path("rip")), "-y", "--no-cddb")
    ripped = {int(name[:2]): path("rip/" + name) for name in os.listdir(path("rip")) if re.match(r"\d\d .*\.wav$", name)}
    check(rc == 0 and sorted(ripped) == [1, 2, 3, 4], "the written disc rips through the secure path", text)
    for n, want in enumerate(expected, 1):
        got = data_of(ripped[n]) if n in ripped else b""
        check(got == want, "secure rip: track %d bit-exact (%d of %d bytes)" % (n, len(got), len(want)))
    starts = [sum(len(e) for e in expected[:i]) // FRAME for i in range(4)]
    found = [int(m) for m in re.findall(r"from LBA (\d+)", text)]
    check(found == starts, "the tracks start at LBA %s, track 1 right behind the pregap" % starts, text)
    listing = txconv_run("--virtual-drive", win(path("out.cue")), "--cd")[1]
    check("Round Trip Band / Round Trip" in listing or "CDDB id" in listing, "--cd lists the written disc", listing)

    # A test write goes through the conversion and the recording and leaves the disc blank.
    rc, text = txconv_run("--virtual-drive", win(path("test.cue")), "--burn", "D:", "--test-write", "--burn-proof",
                          "--speed", "16", win(path("stereo.wav")))
    check(rc == 0 and "Recording Options: Test mode enabled" in text and "BURN-Proof enabled" in text and
          "Recording Options: Speed 8 (16)" in text and not os.path.exists(path("test.cue")),
          "--test-write --burn-proof --speed 16: the lines, and no disc written", text)

finish()
