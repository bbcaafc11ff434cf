#!/usr/bin/env python3
"""MP4/AAC output through the DirectShow destination and the dshowaac filters under Wine,
checked with ffprobe and ffmpeg: one AAC stream of the input's length, including a last part
shorter than a second, a reasonable SNR after decoding, a valid file when Close follows Open at
once, and the graph messages when a filter is not registered or the graph cannot run.

usage: check_mp4_output.py RUNNER PCMTOOL TXCONV DSHOWAAC [--measure]
--measure times a 5-minute WAV to MP4 against native ffmpeg instead.
"""
import array
import json
import math
import os
import shutil
import subprocess
import sys
import tempfile
import time

from txcheck import check, finish, pcmtool, win

runner, tool, txconv, filters = sys.argv[1:5]
measure = "--measure" in sys.argv[5:]
RATE = 44100
MUXER_KEY = r"HKCR\CLSID\{12C79975-0C8E-46BF-A680-2BAB64E2F4A4}"

if not shutil.which("ffmpeg") or not shutil.which("ffprobe"):
    print("skipped: ffmpeg is not installed")
    sys.exit(77)


def wine(*args):
    return subprocess.run([runner] + list(args), capture_output=True, text=True, timeout=120)


def register(on):
    return wine("regsvr32", "/s", *([] if on else ["/u"]), win(filters)).returncode == 0


def chirp(path, seconds, channels, rate, fmt):
    expr = "0.4*sin(2*PI*(200+400*t)*t)|0.4*sin(2*PI*(900-200*t)*t)"
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                    "aevalsrc=%s:s=%d:d=%g" % (expr, rate, seconds), "-ac", str(channels), "-f", fmt, path],
                   check=True)


def probe(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-print_format", "json", "-show_format", "-show_streams", path],
                         capture_output=True, text=True)
    return json.loads(out.stdout) if out.returncode == 0 else None


def decode(path, channels):
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "s16le", "-ac", str(channels), "-"],
                         capture_output=True, check=True).stdout
    a = array.array("h")
    a.frombytes(raw)
    return a


def snr(ours, ref, channels):
    """SNR in dB of the decode against the source, at the lag (frames) where they match best."""
    def score(d):
        return sum(ref[i * channels] * ours[(i + d) * channels] for i in range(RATE, RATE + 8192, 8))
    lag = max(range(-1100, 1101), key=score)
    start = max(0, -lag) * channels
    # Source samples that the decode lacks count as noise.
    got = len(ours) - lag * channels
    signal = sum(ref[i] * ref[i] for i in range(start, len(ref)))
    noise = sum((ref[i] - (ours[i + lag * channels] if i < got else 0)) ** 2 for i in range(start, len(ref)))
    return lag, 10 * math.log10(signal / max(noise, 1))


def stream_check(what, path, seconds, channels, rate):
    info = probe(path)
    if not check(info is not None, what + ": ffprobe reads the file", path):
        return
    streams = info["streams"]
    s = streams[0] if streams else {}
    duration = float(s.get("duration", info["format"].get("duration", -1)))
    print("     %s: %s, %d stream(s), %s %s ch %s Hz, %.4f s (want %.4f)" %
          (what, info["format"]["format_name"], len(streams), s.get("codec_name"), s.get("channels"),
           s.get("sample_rate"), duration, seconds))
    check("mp4" in info["format"]["format_name"] and len(streams) == 1 and s.get("codec_name") == "aac" and
          s.get("channels") == channels and int(s.get("sample_rate", 0)) == rate,
          what + ": one AAC stream with the input's channels and rate", json.dumps(s))
    # Within one AAC frame of the input: a last part shorter than a second reached the encoder.
    check(abs(duration - seconds) <= 1024.0 / rate, what + ": length %.4f s of %.4f s" % (duration, seconds))


with tempfile.TemporaryDirectory() as d:
    if measure:
        wav, out, native = os.path.join(d, "long.wav"), os.path.join(d, "long.mp4"), os.path.join(d, "native.m4a")
        chirp(wav, 300, 2, RATE, "wav")
        register(True)
        t = time.time()
        r = subprocess.run([runner, txconv, "-f", "MP4", "-o", win(d), win(wav)], capture_output=True, text=True)
        ours = time.time() - t
        t = time.time()
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-i", wav, "-c:a", "aac", "-b:a", "128k", native], check=True)
        theirs = time.time() - t
        print("5-minute WAV to MP4/AAC 128 kbit/s: txconv %.1f s (rc %d, %d bytes), native ffmpeg %.1f s (%d bytes)" %
              (ours, r.returncode, os.path.getsize(out) if os.path.exists(out) else 0, theirs,
               os.path.getsize(native)))
        sys.exit(0)

    check(register(True), "regsvr32 registers the filters")

    # Stereo 16-bit, 5.5 s: written in blocks of changing sizes, then checked and decoded.
    raw, out = os.path.join(d, "chirp.raw"), os.path.join(d, "chirp.m4a")
    chirp(raw, 5.5, 2, RATE, "s16le")
    t = time.time()
    r = pcmtool(runner, tool, "write", "MP4", raw, out, "2", str(RATE), "16", timeout=120)
    print("     5.5 s stereo written in %.2f s" % (time.time() - t))
    if check(r.returncode == 0 and os.path.exists(out), "stereo 16-bit PCM written", r.stderr):
        stream_check("stereo", out, 5.5, 2, RATE)
        ref = array.array("h")
        with open(raw, "rb") as f:
            ref.frombytes(f.read())
        ours = decode(out, 2)
        lag, db = snr(ours, ref, 2)
        print("     decoded %d frames of %d, lag %d frames, SNR %.1f dB" % (len(ours) // 2, len(ref) // 2, lag, db))
        # Over the whole input: losing the last half second alone brings it down to about 10 dB.
        check(db >= 15 and abs(lag) <= 2, "decoded SNR %.1f dB at lag %d" % (db, lag))

    # Mono 8-bit at 22050 Hz, 2.3 s: another PCM layout and rate, another odd length.
    raw8, out8 = os.path.join(d, "mono.raw"), os.path.join(d, "mono.mp4")
    chirp(raw8, 2.3, 1, 22050, "u8")
    r = pcmtool(runner, tool, "write", "MP4", raw8, out8, "1", "22050", "8", timeout=120)
    if check(r.returncode == 0, "mono 8-bit PCM written", r.stderr):
        stream_check("mono", out8, 2.3, 1, 22050)

    # Close right after Open: no data, still a complete file (the muxer leaves out a track
    # without samples).
    empty, outEmpty = os.path.join(d, "empty.raw"), os.path.join(d, "empty.m4a")
    open(empty, "wb").close()
    r = pcmtool(runner, tool, "write", "MP4", empty, outEmpty, "2", str(RATE), "16", timeout=60)
    info = probe(outEmpty) if os.path.exists(outEmpty) else None
    check(r.returncode == 0 and info is not None and "mp4" in info["format"]["format_name"] and
          float(info["format"].get("duration", 0)) == 0,
          "Close right after Open leaves a complete MP4 of no length", r.stderr + json.dumps(info))

    # 24-bit PCM asks for 3-byte buffer alignment, which the system's allocator refuses when the
    # graph runs: Open reports it, releases the half-started graph and leaves no file.
    raw24, out24 = os.path.join(d, "s24.raw"), os.path.join(d, "s24.m4a")
    chirp(raw24, 0.5, 2, 48000, "s24le")
    r = pcmtool(runner, tool, "write", "MP4", raw24, out24, "2", "48000", "24", timeout=60)
    check(r.returncode != 0 and "e: Media control run failed (error 8004020E)" in r.stderr.splitlines() and
          not os.path.exists(out24), "24-bit PCM: the run message, no output, no hang", r.stderr)

    # txconv's -f MP4, end to end from a WAV file.
    wav = os.path.join(d, "song.wav")
    chirp(wav, 3.25, 2, RATE, "wav")
    r = subprocess.run([runner, txconv, "-f", "MP4", "-o", win(d), win(wav)], capture_output=True, text=True,
                       timeout=120)
    made = os.path.join(d, "song.mp4")
    if check(r.returncode == 0 and os.path.exists(made), "txconv -f MP4 writes song.mp4", r.stdout + r.stderr):
        stream_check("txconv", made, 3.25, 2, RATE)

    # A filter that is not registered: Open fails with its message and leaves no file.
    for what, missing, message in (
            ("muxer", lambda: wine("reg", "delete", MUXER_KEY, "/f"), "e: 3ivx D4 Media Muxer not available (error 80040154)"),
            ("encoder", lambda: register(False), "e: 3ivx D4 Audio Encoder not available (error 80040154)")):
        missing()
        gone = os.path.join(d, "gone-%s.m4a" % what)
        r = pcmtool(runner, tool, "write", "MP4", raw, gone, "2", str(RATE), "16", timeout=60)
        check(r.returncode != 0 and message in r.stderr.splitlines() and not os.path.exists(gone),
              "without the %s: \"%s\" and no output" % (what, message[3:]), r.stderr)
    register(True)

finish()
