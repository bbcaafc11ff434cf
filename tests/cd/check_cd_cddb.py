#!/usr/bin/env python3
"""Rips through txconv and the CD bench's virtual drive with the disc looked up on the loopback
CDDB server (cddb_server.py): names and tags from the entry (read back with mutagen's mid3v2),
the local cache when the server is down, --no-cddb, a choice among several matches, and a
submission that the server files as the next revision.

usage: check_cd_cddb.py RUNNER TXCONV_EXE STATE_DIR
"""
import os
import re
import socket
import subprocess
import sys
import tempfile

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "support"))
sys.path.insert(0, here)
from txcheck import check, finish, win  # noqa: E402
from cddb_server import disc_id, entry_text, parse_entry, revision_of  # noqa: E402

runner, txconv, state = sys.argv[1], sys.argv[2], sys.argv[3]
with open(os.path.join(state, "port")) as f:
    server = "127.0.0.1:" + f.read().strip()
DISC = [412, 538]  # frames
INEXACT = [377, 455, 290]
# The local cache starts empty, so that no entry of an earlier run answers.
subprocess.run([runner, "cmd", "/c", "del", "/q", r"C:\windows\cdplayer.ini"], capture_output=True, timeout=60)


def make_disc(tmp, name, lengths):
    cue = ""
    for i, frames in enumerate(lengths, 1):
        wav = "%s%d.wav" % (name, i)
        subprocess.run(["sox", "-r", "44100", "-c", "2", "-n", "-b", "16", os.path.join(tmp, wav), "synth",
                        "%ds" % (frames * 588), "sine", "440", "vol", "0.3"], check=True, capture_output=True)
        cue += 'FILE "%s" WAVE\n  TRACK %02d AUDIO\n    INDEX 01 00:00:00\n' % (wav, i)
    path = os.path.join(tmp, name + ".cue")
    with open(path, "w") as f:
        f.write(cue)
    return path


def rip(tmp, cue, name, *args):
    """(status, console text, {output file name: mid3v2 listing})."""
    outdir = os.path.join(tmp, name)
    os.mkdir(outdir)
    result = subprocess.run([runner, txconv, "--virtual-drive", win(cue), "--cd", "D:", "-f", "MP3", "-o",
                             win(outdir), "-y"] + list(args), capture_output=True, timeout=300, encoding="utf-8",
                            errors="replace")
    outputs = {}
    for entry in sorted(os.listdir(outdir)):
        if entry.endswith(".mp3"):
            outputs[entry] = subprocess.run(["mid3v2", "-l", os.path.join(outdir, entry)], capture_output=True,
                                            text=True).stdout
    return result.returncode, result.stdout + result.stderr, outputs


def closed_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def starts(lengths):
    return [sum(lengths[:i]) for i in range(len(lengths))]


with tempfile.TemporaryDirectory() as tmp:
    disc = make_disc(tmp, "a", DISC)
    # The server's entry of this disc, filed as a submission would file it.
    discid = "%08x" % disc_id(starts(DISC), sum(DISC))
    entry = os.path.join(state, "db", "misc", discid)
    os.makedirs(os.path.dirname(entry), exist_ok=True)
    with open(entry, "w", encoding="latin-1") as f:
        f.write(entry_text(starts(DISC), sum(DISC), ["DTITLE=Lookup Artist / Lookup Disc", "DYEAR=2011",
                                                     "DGENRE=Ambient", "TTITLE0=Alpha", "TTITLE1=Beta"]))

    # Looked up by its TOC: the outputs named and tagged from the entry.
    rc, text, outputs = rip(tmp, disc, "lookup", "--cddb", server)
    check(rc == 0 and sorted(outputs) == ["01 Alpha.mp3", "02 Beta.mp3"], "lookup: outputs named from the entry",
          "%d %s\n%s" % (rc, sorted(outputs), text))
    tags = outputs.get("02 Beta.mp3", "")
    for frame in ("TIT2=Beta", "TPE1=Lookup Artist", "TALB=Lookup Disc", "TYER=2011", "TCON=Ambient", "TRCK=2/2"):
        check(frame in tags.splitlines(), "lookup: mutagen reads " + frame, tags)

    # The server down: the local cache the lookup filled answers.
    rc, text, outputs = rip(tmp, disc, "cache", "--cddb", "127.0.0.1:%d" % closed_port(), "--tracks", "1")
    check(rc == 0 and list(outputs) == ["01 Alpha.mp3"] and "Unable to contact CDDB server" in text,
          "server unreachable: the local cache names the track", "%d %s\n%s" % (rc, list(outputs), text))

    rc, text, outputs = rip(tmp, disc, "none", "--cddb", server, "--no-cddb", "--tracks", "1")
    check(rc == 0 and list(outputs) == ["01 Track 1.mp3"] and "Contacting CDDB" not in text,
          "--no-cddb: the default name, no lookup", "%d %s\n%s" % (rc, list(outputs), text))

    # Several (inexact) matches: listed, and without a choice nothing is ripped.
    other = make_disc(tmp, "b", INEXACT)
    inexact = server + "/~cddb/cddb.cgi?mode=inexact"
    rc, text, outputs = rip(tmp, other, "list", "--cddb", inexact)
    listed = re.findall(r"^\s*(\d+)\. (\S+) [0-9a-f]{8} (.*)$", text, re.M)
    blues = [number for number, category, title in listed if title == "Blues Band / Blue Two (inexact)"]
    check(rc == 2 and not outputs and len(listed) >= 3 and len(blues) == 1,
          "several matches: listed, nothing ripped without --cddb-match", "%d %s\n%s" % (rc, listed, text))
    if blues:
        rc, text, outputs = rip(tmp, other, "match", "--cddb", inexact, "--cddb-match", blues[0], "--tracks", "2")
        tags = outputs.get("02 b.mp3", "")
        check(rc == 0 and "TPE1=Blues Band" in tags and "TALB=Blue Two" in tags,
              "--cddb-match %s: the outputs from that entry" % blues[0], "%d %s\n%s" % (rc, list(outputs), text))

    # A corrected entry: the looked-up one with the edits, filed as the next revision (the
    # question before replacing the server's entry answered yes, where there is a console).
    result = subprocess.run([runner, txconv, "--virtual-drive", win(disc), "--cd", "D:", "--cddb", server,
                             "--cddb-submit", "--cddb-email", "ripper@example.org", "--title", "Edited Disc",
                             "--track-title", "2=Omega"], input="y\n", capture_output=True, timeout=300,
                            encoding="utf-8", errors="replace")
    with open(entry, encoding="latin-1") as f:
        comments, fields = parse_entry(f.read())
    got = {key: fields.get(key) for key in ("DTITLE", "DYEAR", "TTITLE0", "TTITLE1")}
    want = {"DTITLE": "Lookup Artist / Edited Disc", "DYEAR": "2011", "TTITLE0": "Alpha", "TTITLE1": "Omega"}
    check(result.returncode == 0 and got == want and revision_of(comments) == 1,
          "--cddb-submit: the server files the edited entry as revision 1",
          "%d %s revision %s\n%s" % (result.returncode, got, revision_of(comments), result.stdout + result.stderr))

    # What the runs set is put back: neither server, script nor address stays in the settings.
    stored = subprocess.run([runner, "reg", "query", r"HKCU\Software\Belvonix\Harvane\AudioCD"], capture_output=True,
                            timeout=60, encoding="utf-8", errors="replace").stdout
    check(not any(word in stored for word in ("127.0.0.1", "cddb.cgi", "ripper@")),
          "the CDDB settings of the runs are put back", stored)

finish()
