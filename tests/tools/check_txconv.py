#!/usr/bin/env python3
"""Runs txconv as a user does and checks what it wrote with sox and ffprobe: outputs, ranges,
normalization, exit codes, refusals (missing input, read-only directory, existing output),
parallel jobs giving the same bytes as one job, the demo, --tags, playlists in and out, --play
into an ALSA file sink, and conversions between
MP3, Ogg Vorbis and WMA checked with ffmpeg, id3v2, mutagen and ogginfo.

usage: check_txconv.py RUNNER TXCONV_EXE
"""
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

runner, txconv = sys.argv[1], sys.argv[2]
failures = []


def win(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run(*args, cwd=None):
    result = subprocess.run([runner, txconv] + list(args), capture_output=True, cwd=cwd, timeout=300,
                            encoding="utf-8", errors="replace")
    return result.returncode, result.stdout, result.stderr


def check(name, condition, detail=""):
    print("%-4s %s%s" % ("ok" if condition else "BAD", name, "" if condition else "\n     " + str(detail)[-1500:]))
    if not condition:
        failures.append(name)
    return condition


def sox(*args):
    return subprocess.run(["sox"] + list(args), capture_output=True, text=True, check=True)


def samples(path):
    return int(subprocess.run(["soxi", "-s", path], capture_output=True, text=True).stdout.strip() or -1)


def peak(path):
    stat = subprocess.run(["sox", path, "-n", "stat"], capture_output=True, text=True).stderr
    for line in stat.splitlines():
        if line.startswith("Maximum amplitude"):
            return float(line.split(":")[1])
    return -1.0


def probe(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-print_format", "json", "-show_streams", path],
                         capture_output=True, text=True)
    streams = json.loads(out.stdout or "{}").get("streams", [])
    return streams[0] if streams else {}


def pcm(path):
    return subprocess.run(["sox", path, "-t", "raw", "-"], capture_output=True).stdout


def tone(path, seconds, volume, freq=440, channels=2, rate=44100, lead=0.0):
    effects = ["pad", str(lead)] if lead else []
    sox("-n", "-r", str(rate), "-c", str(channels), "-b", "16", path, "synth", str(seconds), "sine", str(freq),
        "vol", str(volume), *effects)


with tempfile.TemporaryDirectory() as temp:
    t = lambda *names: os.path.join(temp, *names)
    os.mkdir(t("in"))
    tone(t("in", "a.wav"), 2, 0.25)
    tone(t("in", "b.wav"), 2, 0.5, freq=660)

    # A plain conversion keeps every sample and names the output after the input.
    rc, out, err = run("-o", win(t("out")), win(t("in", "a.wav")))
    info = probe(t("out", "a.wav"))
    check("Wave to Wave: exit 0 and one result line", rc == 0 and "a.wav -> " in out, (rc, out, err))
    check("Wave to Wave: ffprobe sees 16-bit stereo 44.1 kHz PCM",
          info.get("codec_name") == "pcm_s16le" and info.get("channels") == 2 and info.get("sample_rate") == "44100",
          info)
    check("Wave to Wave: every sample equal", pcm(t("out", "a.wav")) == pcm(t("in", "a.wav")))

    # A range is cut exactly; effects go through the second pass.
    rc, out, err = run("-o", win(t("range")), "--start", "500", "--end", "1500", win(t("in", "a.wav")))
    check("--start 500 --end 1500 gives exactly 44100 frames", rc == 0 and samples(t("range", "a.wav")) == 44100,
          (rc, err, samples(t("range", "a.wav"))))
    rc, out, err = run("-o", win(t("norm")), "--normalize", win(t("in", "a.wav")))
    check("--normalize lifts a quarter-scale tone to full scale", rc == 0 and peak(t("norm", "a.wav")) > 0.99,
          (rc, err, peak(t("norm", "a.wav"))))
    rc, out, err = run("-o", win(t("album")), "--normalize=album", win(t("in", "a.wav")), win(t("in", "b.wav")))
    pa, pb = peak(t("album", "a.wav")), peak(t("album", "b.wav"))
    check("--normalize=album keeps the files' ratio with the loudest at full scale",
          rc == 0 and pb > 0.99 and abs(pa - pb / 2) < 0.01 and "album gain" in err, (rc, err, pa, pb))

    # --bpm turns the tempo analysis on for this run only: the stored setting is left as it was.
    def bpm_setting():
        query = subprocess.run([runner, "reg", "query", r"HKCU\Software\Belvonix\Harvane\Settings", "/v",
                                "BPMAnalysis"], capture_output=True, encoding="utf-8", errors="replace")
        return query.stdout if query.returncode == 0 else None
    before = bpm_setting()
    rc, out, err = run("-o", win(t("bpm")), "--bpm", win(t("in", "a.wav")))
    check("--bpm converts and restores the stored tempo setting", rc == 0 and bpm_setting() == before,
          (rc, err, before, bpm_setting()))

    # Another encoder, checked by ffprobe.
    rc, out, err = run("-f", "ogg vorbis", "-o", win(t("ogg")), win(t("in", "b.wav")))
    info = probe(t("ogg", "b.ogg"))
    check("-f 'ogg vorbis' writes a Vorbis stream of the same length",
          rc == 0 and info.get("codec_name") == "vorbis" and abs(float(info.get("duration", 0)) - 2.0) < 0.05,
          (rc, err, info))

    # A missing input fails alone: the other file is converted, and the exit status says so.
    rc, out, err = run("-o", win(t("missing")), win(t("in", "nope.wav")), win(t("in", "b.wav")))
    check("a missing input: exit 1, an error line naming it, the other file converted",
          rc == 1 and "error: " in err and "nope.wav" in err and os.path.exists(t("missing", "b.wav")), (rc, err))

    # A directory nobody can write into: the conversion fails cleanly and leaves nothing.
    os.mkdir(t("ro"))
    if os.geteuid() == 0:
        locked = subprocess.run(["chattr", "+i", t("ro")], capture_output=True).returncode == 0
    else:
        os.chmod(t("ro"), 0o555)
        locked = True
    if not locked:
        print("skip read-only output directory: chattr +i is not available to root here")
    else:
        try:
            rc, out, err = run("-o", win(t("ro")), win(t("in", "a.wav")))
            check("a read-only output directory: exit 1 with an error line and no file",
                  rc == 1 and "error: " in err and os.listdir(t("ro")) == [], (rc, err, os.listdir(t("ro"))))
        finally:
            if os.geteuid() == 0:
                subprocess.run(["chattr", "-i", t("ro")])
            os.chmod(t("ro"), 0o755)

    # An existing output is kept unless -y says otherwise; stdin is no console here.
    os.mkdir(t("exist"))
    shutil.copy(t("in", "b.wav"), t("exist", "a.wav"))
    with open(t("exist", "a.wav"), "rb") as f:
        before = f.read()
    rc, out, err = run("-o", win(t("exist")), "--fade-in", "300", win(t("in", "a.wav")))
    with open(t("exist", "a.wav"), "rb") as f:
        kept = f.read() == before
    check("an existing output without -y: exit 1, the file untouched, no 'partial' claim",
          rc == 1 and kept and "already exists" in err and "partial" not in err, (rc, err))
    rc, out, err = run("-o", win(t("exist")), "-y", "--fade-in", "300", win(t("in", "a.wav")))
    with open(t("exist", "a.wav"), "rb") as f:
        replaced = f.read() != before
    check("-y replaces it", rc == 0 and replaced, (rc, err))

    # Ctrl-C (SIGINT, which Wine turns into the console's Ctrl-C event) once the output is
    # open: the conversion stops, says where its partial output is, and the status is 130.
    tone(t("in", "long.wav"), 300, 0.3)
    os.mkdir(t("cancel"))
    target = t("cancel", "long.wav")
    proc = subprocess.Popen([runner, txconv, "--normalize", "-o", win(t("cancel")), win(t("in", "long.wav"))],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, encoding="utf-8", errors="replace")
    deadline = time.time() + 60
    while not os.path.exists(target) and proc.poll() is None and time.time() < deadline:
        time.sleep(0.01)
    proc.send_signal(signal.SIGINT)
    out, err = proc.communicate(timeout=120)
    check("Ctrl-C: exit 130 and the partial output reported",
          proc.returncode == 130 and "cancelled: " in err and "partial output left in" in err, (proc.returncode, err))

    # A playlist as input stands for its entries; --playlist lists the outputs beside it.
    os.mkdir(t("in", "sub"))
    shutil.copy(t("in", "b.wav"), t("in", "sub", "c.wav"))
    with open(t("in", "list.m3u"), "w", newline="") as f:
        f.write("#EXTM3U\r\n#EXTINF:2,A\r\na.wav\r\n#EXTINF:2,C\r\nsub/c.wav\r\nhttp://radio.example/\r\n")
    rc, out, err = run("-o", win(t("pl")), "--playlist", win(t("pl", "list.m3u")), win(t("in", "list.m3u")))
    with open(t("pl", "list.m3u"), "rb") as f:
        lines = f.read().split(b"\r\n")[2:]
    check("a playlist in, --playlist out: its two files converted and listed as .\\ paths",
          rc == 0 and pcm(t("pl", "c.wav")) == pcm(t("in", "b.wav")) and lines == [b".\\a.wav", b".\\c.wav", b""],
          (rc, err, lines))

    # --play through Wine's ALSA driver into a file sink: every byte reaches the device.
    sink = t("sink.raw")
    with open(t("alsa.conf"), "w") as f:
        f.write('pcm.null { type null }\npcm.!default { type file slave.pcm "null" file "%s" format "raw" }\n' % sink)
    audio = dict(os.environ, TX_DLLOVERRIDES="winealsa.drv=b", ALSA_CONFIG_PATH=t("alsa.conf"))
    play = subprocess.run([runner, txconv, "--play", win(t("in", "a.wav"))], capture_output=True, timeout=120,
                          encoding="utf-8", errors="replace", env=audio)
    with open(sink, "rb") as f:
        played = f.read()
    check("--play: exit 0, the position line, the whole PCM at the device",
          play.returncode == 0 and "played 0:02 of 0:02" in play.stdout and played == pcm(t("in", "a.wav")),
          (play.returncode, play.stdout, play.stderr, len(played)))
    proc = subprocess.Popen([runner, txconv, "--play", win(t("in", "long.wav"))], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, encoding="utf-8", errors="replace", env=audio)
    time.sleep(3)
    proc.send_signal(signal.SIGINT)
    out, err = proc.communicate(timeout=60)
    check("--play stopped by Ctrl-C: exit 130 long before the end", proc.returncode == 130 and "played 0:" in out,
          (proc.returncode, out, err))

    # --formats says what this build can create, not what the table names: MP4 is written
    # through the DirectShow destination, which no row names.
    rc, out, err = run("--formats")
    flags = {line[4:19].strip(): line[19:21] for line in out.splitlines()}
    check("--formats: Wave rw, Windows Media rw, Track r-, MP4 rw",
          rc == 0 and len(flags) == 18 and (flags.get("Wave"), flags.get("Windows Media"), flags.get("Track"),
                                            flags.get("MP4")) == ("rw", "rw", "r-", "rw"), (rc, out, err))

    # Usage errors are told apart from failed conversions.
    for args in (["--frobnicate"], ["--jobs", "0", "x.wav"], ["-f", "MPEG", "x.wav"], ["-f", "nosuch", "x.wav"],
                 ["--opt", "no-such-option", win(t("in", "a.wav"))]):
        rc, out, err = run(*args)
        check("usage error %s: exit 2 with an error line" % " ".join(args[:2]), rc == 2 and "error: " in err,
              (rc, err))
    rc, out, err = run("-o", win(t("in")), win(t("in", "a.wav")))
    check("an output that would replace its input is refused", rc == 1 and "replace the input" in err, (rc, err))

    # Eight files on two threads give the same bytes as one after the other.
    os.mkdir(t("batch"))
    for i in range(8):
        tone(t("batch", "f%d.wav" % i), 1 + i % 3, 0.2 + 0.1 * i, freq=300 + 50 * i, channels=1 + i % 2,
             rate=(44100, 22050)[i % 2], lead=0.3)
    batch = [win(t("batch", "f%d.wav" % i)) for i in range(8)]
    effects = ["--trim", "--fade-out", "200", "--normalize"]
    rc1, _, err1 = run("--jobs", "1", "-o", win(t("jobs1")), *effects, *batch)
    rc2, _, err2 = run("--jobs", "2", "-o", win(t("jobs2")), *effects, *batch)
    same = all(open(t("jobs1", "f%d.wav" % i), "rb").read() == open(t("jobs2", "f%d.wav" % i), "rb").read()
               for i in range(8) if os.path.exists(t("jobs1", "f%d.wav" % i)) and os.path.exists(t("jobs2", "f%d.wav" % i)))
    check("--jobs 2 on 8 files: the same bytes as --jobs 1",
          rc1 == 0 and rc2 == 0 and same and len(os.listdir(t("jobs2"))) == 8, (rc1, rc2, err1, err2))

    # The demo: no file, and a Wave file appears in the current directory.
    os.mkdir(t("demo"))
    rc, out, err = run(cwd=t("demo"))
    demo = t("demo", "txconv-demo.wav")
    check("the demo writes txconv-demo.wav of 3 s", rc == 0 and os.path.exists(demo) and samples(demo) == 3 * 44100,
          (rc, out, err))
    rc, out, err = run(cwd=t("demo"))
    check("the demo runs again over its own output", rc == 0, (rc, out, err))

    # Tags of an MP3 written by lame and tagged by id3v2 (ID3v2.3; it stores its arguments'
    # bytes as Latin-1 text).
    if shutil.which("lame") and shutil.which("id3v2"):
        song = t("in", "song.mp3")
        subprocess.run(["lame", "--quiet", t("in", "a.wav"), song], check=True)
        subprocess.run([b"id3v2", b"-2", b"-a", b"Some Artist", b"-t", "Grüße".encode("latin-1"), b"-T", b"3/9",
                        song.encode()], check=True, capture_output=True)
        rc, out, err = run("--tags", win(song))
        check("--tags prints the frames, non-ASCII text in UTF-8",
              rc == 0 and "TPE1" in out and "Some Artist" in out and "TIT2" in out and "Grüße" in out
              and "3/9" in out, (rc, out, err))
    else:
        print("skip --tags of an MP3: lame or id3v2 missing")
    rc, out, err = run("--tags", win(t("in", "nope.mp3")))
    check("--tags of a missing file fails", rc == 1 and "error: " in err, (rc, err))

    # End to end through the encoders, checked with native tools.
    FRAME_SLACK = 1152 + 576 + 529  # one MP3 frame, the encoder delay and the decoder delay

    def decoded_frames(path):
        wav = path + ".decoded.wav"
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-i", path, wav], capture_output=True)
        return samples(wav)

    def id3_lists(path):  # id3v2's listing and mutagen's (native python3, if it has it)
        listed = subprocess.run(["id3v2", "-l", path], capture_output=True, encoding="utf-8",
                                errors="replace").stdout
        mutagen = subprocess.run(["/usr/bin/python3", "-c", "import sys, mutagen.id3\n"
                                  "for f in mutagen.id3.ID3(sys.argv[1]).values(): print(f.pprint())", path],
                                 capture_output=True, encoding="utf-8", errors="replace")
        return listed, mutagen.stdout if mutagen.returncode == 0 else None

    mp3_opts = ["-f", "MP3", "--opt", "vbr-mode=abr", "--opt", "bitrate=128"]
    rc, out, err = run(*mp3_opts, "-o", win(t("mp3")), win(t("in", "a.wav")))
    mp3 = t("mp3", "a.mp3")
    info = probe(mp3)
    listed, by_mutagen = id3_lists(mp3)
    check("WAV -> MP3 ABR 128: 44.1 kHz stereo MP3 of the right length",
          rc == 0 and info.get("codec_name") == "mp3" and info.get("sample_rate") == "44100"
          and info.get("channels") == 2 and abs(decoded_frames(mp3) - 2 * 44100) <= FRAME_SLACK,
          (rc, err, info, decoded_frames(mp3)))
    check("WAV -> MP3: id3v2 and mutagen read TSSE 'Harvane, ABR 128 kbps'",
          "Harvane, ABR 128 kbps" in listed and (by_mutagen is None or "TSSE=Harvane, ABR 128 kbps" in by_mutagen),
          (listed, by_mutagen))

    # A tagged MP3 (non-ASCII title, as id3v2 stores it: Latin-1) to MP3 keeps its tags; its
    # non-ASCII name comes back in UTF-8 on the result line.
    if shutil.which("lame") and shutil.which("id3v2"):
        tagged = t("in", "Ärtist - Tïtle.mp3")
        subprocess.run(["lame", "--quiet", t("in", "b.wav"), tagged], check=True)
        subprocess.run([b"id3v2", b"-2", b"-a", "Ärtist".encode("latin-1"), b"-t", "Tïtle".encode("latin-1"),
                        b"-A", b"Some Album", tagged.encode()], check=True, capture_output=True)
        rc, out, err = run(*mp3_opts, "-o", win(t("retag")), win(tagged))
        listed, by_mutagen = id3_lists(t("retag", "Ärtist - Tïtle.mp3"))
        check("MP3 -> MP3: artist, title and album carried across, TSSE added",
              rc == 0 and all(v in listed for v in ("Ärtist", "Tïtle", "Some Album", "Harvane, ABR 128 kbps"))
              and (by_mutagen is None or all(v in by_mutagen for v in ("TPE1=Ärtist", "TIT2=Tïtle",
                                                                        "TALB=Some Album"))),
              (rc, err, listed, by_mutagen))
        check("a non-ASCII path is printed in UTF-8", "Ärtist - Tïtle.mp3 -> " in out, (out, err))

        # MP3 -> Ogg Vorbis: a clean stream of the right length, our encoder name in the comments.
        rc, out, err = run("-f", "Ogg Vorbis", "-o", win(t("vorbis")), win(tagged))
        ogg = t("vorbis", "Ärtist - Tïtle.ogg")
        ogginfo = subprocess.run(["ogginfo", ogg], capture_output=True, encoding="utf-8", errors="replace")
        check("MP3 -> Ogg Vorbis: ogginfo finds no errors, ENCODER=Harvane, the right length",
              rc == 0 and ogginfo.returncode == 0 and "ENCODER=Harvane" in ogginfo.stdout
              and "error" not in ogginfo.stdout.lower() and abs(decoded_frames(ogg) - 2 * 44100) <= FRAME_SLACK,
              (rc, err, ogginfo.stdout, decoded_frames(ogg)))
    else:
        print("skip MP3 -> MP3 and MP3 -> Ogg Vorbis: lame or id3v2 missing")

    # WMA (from ffmpeg's encoder) through the Windows Media source.
    wma = t("in", "c.wma")
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-i", t("in", "a.wav"), "-c:a", "wmav2", "-b:a", "128k", wma],
                   check=True, capture_output=True)
    rc, out, err = run(*mp3_opts, "-o", win(t("wma")), win(wma))
    check("WMA -> MP3 decodes to the right length",
          rc == 0 and abs(decoded_frames(t("wma", "c.mp3")) - 2 * 44100) <= FRAME_SLACK + 2048,
          (rc, err, decoded_frames(t("wma", "c.mp3"))))

print("%d failed" % len(failures))
sys.exit(1 if failures else 0)
