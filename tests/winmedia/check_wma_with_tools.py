#!/usr/bin/env python3
"""Windows Media files written by txconv, checked with ffprobe, ffmpeg and mutagen: a WAV becomes
WMA of the right codec, bit rate and length, which decodes close to the source through ffmpeg
and through the library's own Windows Media source; tags go MP3 -> WMA -> MP3; a tag edited in
place leaves the audio as it was; no replay copy ("wpp") is left behind; and without the
writer runtime the conversion fails with a runtime message and leaves no file.

usage: check_wma_with_tools.py RUNNER TXCONV MEDIATOOL TAGTOOL
"""
import glob
import json
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
import txcheck  # noqa: E402
from txcheck import check, win  # noqa: E402

runner, txconv, mediatool, tagtool = sys.argv[1:5]
bindir = os.path.dirname(txconv)
if not os.path.exists(os.path.join(bindir, "TrelvoxWM.dll")):
    print("skipped: no TrelvoxWM.dll beside txconv (the FFmpeg libraries were not built)")
    sys.exit(77)
temp_dirs = glob.glob(os.path.join(os.path.dirname(runner), "harness", "wineprefix", "drive_c", "users", "*",
                                   "Temp"))
FRAME = 2048  # samples of one wmav2 frame at 44.1 kHz


def run(*args, exe=txconv):
    return subprocess.run([runner, exe] + list(args), capture_output=True, text=True, errors="replace",
                          timeout=600)


def probe(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_streams", "-show_format", "-of", "json", path],
                         capture_output=True, text=True).stdout
    return json.loads(out or "{}")


def decode(path, rate=44100):
    """16-bit stereo PCM of path through ffmpeg."""
    return subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "s16le", "-ac", "2", "-ar", str(rate), "-"],
                          capture_output=True).stdout


def snr(reference, test):
    """The signal-to-noise ratio in dB of the left channel, test delayed by the codec's delay (the
    lag that fits a stretch of a second best)."""
    ref = struct.unpack("<%dh" % (len(reference) // 2), reference)[::2]
    got = struct.unpack("<%dh" % (len(test) // 2), test)[::2]
    start, length = 22050, 4410
    lag = min(range(0, 4096), key=lambda d: sum((ref[i] - got[i + d]) ** 2 for i in range(start, start + length, 3)))
    n = min(len(ref), len(got) - lag)
    signal = sum(ref[i] * ref[i] for i in range(4096, n))
    noise = sum((ref[i] - got[i + lag]) ** 2 for i in range(4096, n)) or 1
    return 10 * math.log10(signal / noise)


def replay_files():
    return {f for d in temp_dirs for f in glob.glob(os.path.join(d, "wpp*"))}


with tempfile.TemporaryDirectory() as temp:
    t = lambda name: os.path.join(temp, name)
    before = replay_files()

    # WAV -> WMA with the defaults (codec 0, format 29).
    seconds = 5
    subprocess.run(["sox", "-n", "-r", "44100", "-b", "16", "-c", "2", t("tone.wav"), "synth", str(seconds),
                    "sine", "440", "sine", "660", "gain", "-6"], check=True)
    started = time.monotonic()
    r = run("-y", "-f", "Windows Media", "-o", win(temp), win(t("tone.wav")))
    took = time.monotonic() - started
    check(r.returncode == 0 and os.path.exists(t("tone.wma")), "txconv -f \"Windows Media\" tone.wav",
          r.stdout + r.stderr)
    info = probe(t("tone.wma"))
    stream = (info.get("streams") or [{}])[0]
    duration = float(info.get("format", {}).get("duration", 0))
    check(stream.get("codec_name") == "wmav2" and stream.get("sample_rate") == "44100" and
          stream.get("channels") == 2, "ffprobe: wmav2, 44100 Hz, stereo", stream)
    check(abs(int(stream.get("bit_rate", 0)) - 128000) <= 8000, "ffprobe: 128 kbps (%s)" % stream.get("bit_rate"),
          stream)
    pcm = decode(t("tone.wma"))
    frames = len(pcm) // 4
    check(abs(frames - seconds * 44100) <= FRAME, "ffmpeg decodes %d frames of %d" % (frames, seconds * 44100))
    source = open(t("tone.wav"), "rb").read()[44:]
    quality = snr(source, pcm)
    check(quality > 10, "SNR against the source: %.1f dB" % quality)
    r = run("decode", "wm", win(t("tone.wma")), win(t("tone.raw")), exe=mediatool)
    ours = os.path.getsize(t("tone.raw")) // 4 if os.path.exists(t("tone.raw")) else 0
    # Wine's reader also hands out the writer's leading frame of silence, which ffmpeg skips.
    check(r.returncode == 0 and abs(ours - seconds * 44100) <= 2 * FRAME,
          "our Windows Media source decodes %d frames" % ours, r.stdout + r.stderr)
    print("     %d s of audio in %.2f s through txconv" % (seconds, took))

    # Tags MP3 -> WMA -> MP3.
    subprocess.run(["lame", "--quiet", "-b", "128", t("tone.wav"), t("song.mp3")], check=True)
    subprocess.run(["id3v2", "-t", "Song Title", "-a", "The Artist", "-A", "The Album", "-T", "7", "-y", "2004",
                    "-g", "17", "-c", "A comment", t("song.mp3")], check=True)
    r = run("-y", "-f", "Windows Media", "-o", win(t("wma")), win(t("song.mp3")))
    check(r.returncode == 0, "txconv song.mp3 to WMA", r.stdout + r.stderr)
    tags = {k.lower(): v for k, v in probe(t("wma/song.wma")).get("format", {}).get("tags", {}).items()}
    expected = {"title": "Song Title", "artist": "The Artist", "album": "The Album", "comment": "A comment"}
    check(all(tags.get(k) == v for k, v in expected.items()), "ffprobe sees the tags", tags)
    # mutagen's own tool, which runs with the interpreter that has mutagen.
    inspect = shutil.which("mutagen-inspect")
    if inspect:
        out = subprocess.run([inspect, t("wma/song.wma")], capture_output=True, text=True).stdout
        values = dict(line.split("=", 1) for line in out.splitlines() if "=" in line)
        wanted = {"Title": "Song Title", "Author": "The Artist", "WM/AlbumTitle": "The Album",
                  "WM/TrackNumber": "7", "WM/Year": "2004", "Description": "A comment"}
        check(all(values.get(k) == v for k, v in wanted.items()) and "WM/GenreID" in values and
              values.get("WM/EncodingSettings"), "mutagen's ASF reader sees the attributes", out)
    else:
        print("     (no mutagen-inspect: the ASF attributes are not checked)")
    r = run("-y", "-f", "MP3", "-o", win(t("back")), win(t("wma/song.wma")))
    check(r.returncode == 0, "txconv song.wma back to MP3", r.stdout + r.stderr)
    listing = subprocess.run(["id3v2", "-l", t("back/song.mp3")], capture_output=True, text=True).stdout
    check(all(s in listing for s in ("Song Title", "The Artist", "The Album", "TRCK", "2004", "A comment",
                                     "Rock", "TSSE")), "id3v2 sees them again in the MP3", listing)

    # Editing in place changes the header only.
    shutil.copy(t("wma/song.wma"), t("edit.wma"))
    audio = decode(t("edit.wma"))
    r = run("write", win(t("edit.wma")), "47=Edited Title", "61=Someone Else", exe=tagtool)
    dump = run("dump", win(t("edit.wma")), exe=tagtool).stdout
    check("HR=0" in r.stdout and "47=Edited Title" in dump and "61=Someone Else" in dump,
          "TagTool edits the WMA's tags", r.stdout + dump)
    check(decode(t("edit.wma")) == audio and len(audio) > 0, "the decoded audio is the same after the edit")

    check(replay_files() == before, "no replay copy left", replay_files() - before)

    # Without the writer runtime (Wine's own stubs only): the runtime's failure, and no file.
    bare = t("bare")
    os.mkdir(bare)
    for name in ("txconv.exe", "Trelvox.dll"):
        shutil.copy(os.path.join(bindir, name), bare)
    r = run("-y", "-f", "Windows Media", "-o", win(t("none")), win(t("tone.wav")), exe=os.path.join(bare, "txconv.exe"))
    errors = [l for l in r.stderr.splitlines() if l.startswith("error:")]
    check(r.returncode == 1 and errors and "(error " in errors[0] and not os.path.exists(t("none/tone.wma")),
          "without TrelvoxWM.dll: %s" % (errors[0] if errors else "no error"), r.stdout + r.stderr)

txcheck.finish()
