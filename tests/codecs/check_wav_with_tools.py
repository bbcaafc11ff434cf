#!/usr/bin/env python3
"""Checks the Wave classes against native tools: files made by sox are decoded by our source
to the PCM sox decodes, and every file our destination writes is read by sox and ffprobe with
the right format and length. Usage: check_wav_with_tools.py RUNNER PCMTOOL_EXE"""
import json
import os
import subprocess
import sys
import tempfile

from txcheck import check, finish, full_disk_at, pcmtool

runner, exe = sys.argv[1], sys.argv[2]


def samples(raw):
    return [int.from_bytes(raw[i:i + 2], "little", signed=True) for i in range(0, len(raw) - 1, 2)]


def decodes_like_sox(name, wav, rate, channels):
    """Our source decodes wav to the PCM that sox decodes (exactly for PCM files)."""
    ours = wav + ".ours.raw"
    result = pcmtool(runner, exe, "read", "Wave", wav, ours)
    check(result.returncode == 0, f"{name}: our source opens and plays it {result.stderr.strip()}")
    if result.returncode != 0:
        return
    tag, ch, sr, bits, written, length = map(int, result.stdout.split())
    ref = wav + ".sox.raw"
    subprocess.run(["sox", "-V1", wav, "-t", "raw", "-e", "signed" if bits == 16 else "unsigned",
                    "-b", str(bits), ref], check=True)
    a, b = open(ours, "rb").read(), open(ref, "rb").read()
    check((tag, ch, sr) == (1, channels, rate), f"{name}: PCM {tag} {ch} ch {sr} Hz {bits} bits")
    if name.startswith("pcm"):
        check(a == b and length == len(a), f"{name}: {len(a)} bytes (length {length}) identical to sox's decode")
        return
    # Decoders of lossy codecs may round differently (Wine's MS ADPCM decoder and sox's
    # differ by up to 65 in 32768 on this signal): compare over the common length.
    n = min(len(a), len(b)) // 2 * 2
    sa, sb = samples(a[:n]), samples(b[:n])
    worst = max(abs(x - y) for x, y in zip(sa, sb)) if sa else 99999
    check(abs(len(a) - len(b)) <= 2 * 1024 * channels and worst <= 128,
          f"{name}: {len(a)} vs sox {len(b)} bytes, largest sample difference {worst}")


with tempfile.TemporaryDirectory(prefix="txwav") as tmp:
    # Third-party files read by our source. The sox decode of the same file is the reference.
    made = [
        ("pcm16", ["-e", "signed", "-b", "16"], 44100, 2),
        ("pcm8", ["-e", "unsigned", "-b", "8"], 22050, 1),
        ("msadpcm", ["-e", "ms-adpcm"], 22050, 2),
        ("imaadpcm", ["-e", "ima-adpcm"], 22050, 1),
        ("ulaw", ["-e", "u-law"], 8000, 1),
        ("alaw", ["-e", "a-law"], 8000, 2),
        ("gsm", ["-e", "gsm-full-rate"], 8000, 1),
    ]
    for name, encoding, rate, channels in made:
        wav = os.path.join(tmp, name + ".wav")
        subprocess.run(["sox", "-n", "-r", str(rate), "-c", str(channels)] + encoding +
                       [wav, "synth", "1.3", "sine", "300-3000", "sine", "440"], check=True)
        decodes_like_sox(name, wav, rate, channels)
        # Cut inside a frame or block of "data", as an interrupted download leaves it: sox
        # warns and decodes what is there (whole frames; the part of a last ADPCM block), and
        # so do we (whole frames and blocks).
        if name in ("pcm16", "imaadpcm"):
            whole = open(wav, "rb").read()
            cut = os.path.join(tmp, name + "-cut.wav")
            with open(cut, "wb") as f:
                f.write(whole[:len(whole) // 2 + 1])
            decodes_like_sox(name + " cut in half", cut, rate, channels)

    # Files our destination writes, read by sox and ffprobe. Codec names are Wine's ACM names.
    written = [
        ("pcm8", 1, 22050, 8, None, "pcm_u8"),
        ("pcm16", 2, 44100, 16, None, "pcm_s16le"),
        ("pcm24", 1, 48000, 24, None, "pcm_s24le"),
        ("ima", 2, 44100, 16, "IMA ADPCM", "adpcm_ima_wav"),
        ("ulaw", 1, 8000, 16, "U-Law", "pcm_mulaw"),
        ("alaw", 2, 8000, 16, "A-Law", "pcm_alaw"),
        ("gsm", 1, 8000, 16, "GSM 6.10", "gsm_ms"),
    ]
    for name, ch, rate, bits, codec, ffcodec in written:
        raw = os.path.join(tmp, "in-" + name + ".raw")
        subprocess.run(["sox", "-n", "-r", str(rate), "-c", str(ch), "-e",
                        "unsigned" if bits == 8 else "signed", "-b", str(bits), raw,
                        "synth", "2", "sine", "500"], check=True)
        out = os.path.join(tmp, "out-" + name + ".wav")
        result = pcmtool(runner, exe, "write", "Wave", raw, out, str(ch), str(rate), str(bits),
                         "wave-codec=" + (codec or "PCM"))
        check(result.returncode == 0, f"written {name}: destination writes it {result.stderr.strip()}")
        if result.returncode != 0:
            continue
        soxi = subprocess.run(["sox", "--i", "-D", out], capture_output=True, text=True)
        duration = float(soxi.stdout) if soxi.returncode == 0 else -1
        # Block codecs end on their last whole block: up to one block (46 ms for IMA ADPCM
        # here) is left out, and nothing is added.
        check(1.95 <= duration <= 2.0, f"written {name}: sox reads {duration} s")
        probe = subprocess.run(["ffprobe", "-v", "error", "-show_streams", "-of", "json", out],
                               capture_output=True, text=True)
        stream = json.loads(probe.stdout)["streams"][0] if probe.returncode == 0 else {}
        fdur = float(stream.get("duration", -1))
        check(stream.get("codec_name") == ffcodec and stream.get("channels") == ch and
              int(stream.get("sample_rate", 0)) == rate and 1.95 <= fdur <= 2.0,
              f"written {name}: ffprobe sees {stream.get('codec_name')} {stream.get('channels')} ch "
              f"{stream.get('sample_rate')} Hz {fdur} s")

    # A full disk (a file-size limit here) is reported by the Write that meets it.
    result = pcmtool(runner, exe, "write", "Wave", os.path.join(tmp, "in-pcm16.raw"), os.path.join(tmp, "full.wav"),
                     "2", "44100", "16", preexec_fn=full_disk_at(64 * 1024), restore_signals=False)
    check(result.returncode == 1 and result.stderr == "e: Output file cannot be written\n",
          f"full disk: rc {result.returncode} {result.stderr.strip()}")

finish()
