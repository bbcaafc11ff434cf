#!/usr/bin/env python3
"""Our tags against native tag tools: what we write, id3v2 and ffprobe read; what id3v2,
ffmpeg and metaflac write, we read. Usage: native_tags.py <TagTool.exe>; the harness
environment (TX_HARNESS_DIR, TX_WINE_LOADER, TX_WINEARCH) must be set."""
import json
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
RUN = os.path.join(HERE, "..", "harness", "run.sh")
TOOL = sys.argv[1]
failures = []


def check(what, expected, actual):
    if expected != actual:
        failures.append(f"{what}: expected {expected!r}, got {actual!r}")


def win(path):
    return "Z:" + path.replace("/", "\\")


def tagtool(*args):
    out = subprocess.run([RUN, TOOL, *args], capture_output=True, check=False)
    return out.returncode, out.stdout.decode("utf-8", "replace").replace("\r", "")


def dump(path):
    code, out = tagtool("dump", win(path))
    frames = {}
    for line in out.splitlines():
        key, _, value = line.partition("=")
        frames[key] = value
    return frames


def run(*cmd):
    subprocess.run(cmd, check=True, capture_output=True)


def mp3_samples(path):
    raw = subprocess.run(["mpg123", "-q", "-s", path], check=True, capture_output=True).stdout
    return len(raw)


def ffprobe_tags(path):
    out = subprocess.run(["ffprobe", "-v", "quiet", "-print_format", "json", "-show_format", path],
                         check=True, capture_output=True).stdout
    return {k.lower(): v for k, v in json.loads(out)["format"].get("tags", {}).items()}


MUTAGEN_WRITE = r"""
import sys
from mutagen.id3 import ID3, APIC, COMM, TALB, TCON, TDRC, TIT2, TPE1, TRCK
tags = ID3()
tags.add(TIT2(encoding=3, text=["東京 Nights"]))
tags.add(TPE1(encoding=1, text=["Björk", "Sugarcubes"]))
tags.add(TALB(encoding=2, text=["Début"]))
tags.add(TCON(encoding=0, text=["17", "RX", "Dream Pop"]))
tags.add(TDRC(encoding=3, text=["2004-05-06"]))
tags.add(TRCK(encoding=0, text=["3/12"]))
tags.add(COMM(encoding=3, lang="eng", desc="", text=["Grüße"]))
tags.add(APIC(encoding=3, mime="image/png", type=3, desc="front", data=b"\x89PNG" + b"\xff\xe0" * 200))
tags.save(sys.argv[1], v2_version=4)
"""


def mutagen_python():
    """An interpreter that has mutagen: ours, or the one its mid3v2 tool runs with."""
    candidates = [sys.executable]
    mid3v2 = shutil.which("mid3v2")
    if mid3v2:
        with open(mid3v2, "rb") as script:
            first = script.readline().decode("utf-8", "replace")
        if first.startswith("#!"):
            candidates.append(first[2:].strip().split()[0])
    for python in candidates:
        if subprocess.run([python, "-c", "import mutagen"], capture_output=True).returncode == 0:
            return python
    return None


def main():
    for tool in ("id3v2", "metaflac", "flac", "mpg123", "ffmpeg", "ffprobe"):
        if not shutil.which(tool):
            print(f"skipped: {tool} is not installed")
            return 77
    tmp = tempfile.mkdtemp()
    try:
        wav = os.path.join(tmp, "tone.wav")
        run("ffmpeg", "-v", "quiet", "-f", "lavfi", "-i", "sine=frequency=440:duration=1", "-ac", "2", wav)
        mp3 = os.path.join(tmp, "tone.mp3")
        run("ffmpeg", "-v", "quiet", "-i", wav, "-c:a", "libmp3lame", "-write_xing", "0", "-id3v2_version", "0",
            mp3)
        samples = mp3_samples(mp3)

        # Ours, read by theirs; the decoder sees the same audio.
        title = "Café Straße 東京"
        code, out = tagtool("write", win(mp3), "47=" + title, "61=Some Artist", "68=3/12")
        check("write result", (0, "HR=00000000\n"), (code, out))
        tags = ffprobe_tags(mp3)
        check("ffprobe title", title, tags.get("title"))
        check("ffprobe artist", "Some Artist", tags.get("artist"))
        check("ffprobe track", "3/12", tags.get("track"))
        listing = subprocess.run(["id3v2", "-l", mp3], capture_output=True).stdout.decode("utf-8", "replace")
        check("id3v2 sees the artist", True, "TPE1" in listing and "Some Artist" in listing)
        check("samples after writing", samples, mp3_samples(mp3))

        # An empty tag removes the tag again.
        code, out = tagtool("write", win(mp3))
        check("empty tag result", 0, code)
        check("no tag left", {}, ffprobe_tags(mp3))
        check("samples after removing", samples, mp3_samples(mp3))

        # Theirs, read by ours: ID3v2.3 and ID3v1 by id3v2, ID3v2.4 by ffmpeg.
        run("id3v2", "-2", "-t", "V23 Title", "-a", "V23 Artist", "-T", "5/9", mp3)
        frames = dump(mp3)
        check("v2.3 title", "V23 Title", frames.get("47"))
        check("v2.3 track", "5/9", frames.get("68"))
        run("id3v2", "-D", mp3)
        run("id3v2", "-1", "-t", "V1 Title", "-a", "V1 Artist", mp3)
        frames = dump(mp3)
        check("v1 title", "V1 Title", frames.get("47"))
        check("v1 artist", "V1 Artist", frames.get("61"))
        run("id3v2", "-D", mp3)
        mp3v23 = os.path.join(tmp, "v23.mp3")
        run("ffmpeg", "-v", "quiet", "-i", mp3, "-c", "copy", "-id3v2_version", "3", "-metadata",
            "title=Grüße 東京", mp3v23)
        check("UTF-16 v2.3 title by ffmpeg", "Grüße 東京", dump(mp3v23).get("47"))
        # ID3v2.4 as ffmpeg writes it (UTF-8 texts, a recording time instead of a year).
        mp3v24 = os.path.join(tmp, "v24.mp3")
        run("ffmpeg", "-v", "quiet", "-i", mp3, "-c", "copy", "-id3v2_version", "4", "-metadata",
            "title=Grüße", "-metadata", "artist=V24", "-metadata", "date=2004-05-06", mp3v24)
        frames = dump(mp3v24)
        check("v2.4 title by ffmpeg", "Grüße", frames.get("47"))
        check("v2.4 artist by ffmpeg", "V24", frames.get("61"))
        check("v2.4 year by ffmpeg", "2004", frames.get("80"))
        # Writing over a 2.4 tag replaces it (by a 2.3 one) and leaves the audio alone.
        samples24 = mp3_samples(mp3v24)
        code, out = tagtool("write", win(mp3v24), "47=Rewritten")
        check("rewrite of a v2.4 file", (0, "HR=00000000\n"), (code, out))
        check("ffprobe after rewriting v2.4", "Rewritten", ffprobe_tags(mp3v24).get("title"))
        check("samples after rewriting v2.4", samples24, mp3_samples(mp3v24))
        # ID3v2.4 as mutagen writes it: every text encoding, lists of values, comment, picture.
        python = mutagen_python()
        if python:
            mutagen24 = os.path.join(tmp, "mutagen24.mp3")
            shutil.copy(mp3, mutagen24)
            subprocess.run([python, "-c", MUTAGEN_WRITE, mutagen24], check=True, capture_output=True)
            frames = dump(mutagen24)
            check("mutagen v2.4 UTF-8 title", "東京 Nights", frames.get("47"))
            check("mutagen v2.4 UTF-16 artists", "Björk/Sugarcubes", frames.get("61"))
            check("mutagen v2.4 UTF-16BE album", "Début", frames.get("29"))
            check("mutagen v2.4 genres", "Rock, Remix, Dream Pop", frames.get("32"))
            check("mutagen v2.4 year", "2004", frames.get("80"))
            check("mutagen v2.4 track", "3/12", frames.get("68"))
            check("mutagen v2.4 comment", True, "Grüße" in frames.get("4", ""))
            check("mutagen v2.4 picture", True, "front" in frames.get("2", ""))
            check("mutagen v2.4 frame count", "9", frames.get("COUNT"))
        else:
            print("mutagen is not installed: its ID3v2.4 checks are skipped")

        # FLAC: Vorbis comments mapped to frames, the first of a name wins, an ID3 tag wins.
        flac = os.path.join(tmp, "tone.flac")
        run("flac", "-s", "-o", flac, wav)
        run("metaflac", "--set-tag=TITLE=Song", "--set-tag=title=Other", "--set-tag=TRACKNUMBER=3/12",
            "--set-tag=ARTIST=Björk", "--set-tag=LYRICS=la la", "--set-tag=DATE=2004", flac)
        frames = dump(flac)
        check("flac title", "Song", frames.get("47"))
        check("flac track", "3/12", frames.get("68"))
        check("flac artist", "Björk", frames.get("61"))
        check("flac year", "2004", frames.get("80"))
        check("flac frame count", "4", frames.get("COUNT"))
        # An ID3v2.3 tag by id3v2 and a 2.4 one by ffmpeg, each in front of the FLAC stream.
        withid3 = os.path.join(tmp, "id3.flac")
        id3only = os.path.join(tmp, "id3only.mp3")
        shutil.copy(mp3, id3only)
        run("id3v2", "-2", "-t", "From ID3", id3only)
        v24head = os.path.join(tmp, "v24head.mp3")
        run("ffmpeg", "-v", "quiet", "-i", mp3, "-c", "copy", "-id3v2_version", "4", "-metadata",
            "title=From ID3v2.4", v24head)
        for source, title in ((id3only, "From ID3"), (v24head, "From ID3v2.4")):
            head = open(source, "rb").read()
            size = 10 + ((head[6] << 21) | (head[7] << 14) | (head[8] << 7) | head[9])
            with open(withid3, "wb") as out:
                out.write(head[:size])
                out.write(open(flac, "rb").read())
            frames = dump(withid3)
            check(f"flac with {title}: its title wins", title, frames.get("47"))
            check(f"flac with {title}: comments still read", "3/12", frames.get("68"))
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    for failure in failures:
        print("FAIL", failure)
    print(f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
