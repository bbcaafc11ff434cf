#!/usr/bin/env python3
"""A CDDB server on loopback for the CDDB client's tests.

usage: cddb_server.py start STATE_DIR   start in the background (port in STATE_DIR/port)
       cddb_server.py stop STATE_DIR    stop the server that start started
       cddb_server.py serve STATE_DIR   run in the foreground

It serves STATE_DIR/db/CATEGORY/DISCID (xmcd entries, seeded below at start) the way public
servers do over HTTP: POST of "cmd=cddb+query ..." and "cmd=cddb+read ..." forms to any
script path, and submissions to /~cddb/submit.cgi, which it parses and checks before it files
them (200) or refuses them (500). Every submission attempt is logged to STATE_DIR/submit.log.

A request whose address starts "http://" is taken as sent to a proxy and served the same way,
so that a client configured with an unknown server and this port as its proxy only succeeds
through the proxy.

The query string of the script path chooses how to misbehave ("?mode=a,b"):
  slow=MS        wait MS milliseconds before answering
  hang           read the request and never answer (until the client goes)
  drop           read the request and close without a word
  garbage        answer "200 OK" with bytes that are no CDDB answer
  garbage-read   the same for reads only
  inexact        a query without an exact match lists every entry with as many tracks (211)
  refuse-proxy   requests through the proxy get 407
Queries whose disc id differs from libdiscid's for the same offsets are refused with 500.
"""
import os
import random
import signal
import socketserver
import subprocess
import sys
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

try:
    import libdiscid
except ImportError:  # reported by the status line of every query
    libdiscid = None

# The discs the tests look up: (category, track start LBAs, lead-out LBA, entry lines).
SEED = [
    # The disc of the id example (12021502): escapes, and values continued on further lines.
    ("rock", [0, 20000], 40000, [
        "DTITLE=Example Artist / Exa",
        "DTITLE=mple Title",
        "DYEAR=1999",
        "DGENRE=Rock",
        "TTITLE0=First\\tTab",
        "TTITLE1=Second ",
        "TTITLE1=Half",
        "EXTD=Disc notes",
        "EXTT0=Line one\\nLine two \\\\ done",
        "EXTT1=",
        "PLAYORDER=",
    ]),
    # The disc image {300, 450} of the bench drive.
    ("soundtrack", [0, 300], 750, [
        "DTITLE=Bench Artist / Bench Disc", "DYEAR=2005", "DGENRE=Score", "TTITLE0=Opening", "TTITLE1=Closing",
        "EXTT1=Bonus\\nnotes",
    ]),
    # Three 3-track discs that an inexact query of another 3-track disc lists.
    ("jazz", [0, 15000, 30000], 45000, ["DTITLE=Jazz Band / Blue One", "TTITLE0=a", "TTITLE1=b", "TTITLE2=c"]),
    ("blues", [0, 16000, 31000], 46000, ["DTITLE=Blues Band / Blue Two", "TTITLE0=a", "TTITLE1=b", "TTITLE2=c"]),
    ("folk", [0, 17000, 32000], 47000, ["DTITLE=Folk Band / Blue Three", "TTITLE0=a", "TTITLE1=b", "TTITLE2=c"]),
]


def secs(lba):
    return (lba + 150) // 75


def disc_id(starts, leadout):
    total = sum(sum(int(d) for d in str(secs(s))) for s in starts)
    return (total % 255) << 24 | (secs(leadout) - secs(starts[0])) << 8 | len(starts)


def entry_text(starts, leadout, lines, revision=0):
    head = ["# xmcd", "#", "# Track frame offsets:"] + ["#\t%d" % (s + 150) for s in starts]
    head += ["#", "# Disc length: %d seconds" % secs(leadout), "#", "# Revision: %d" % revision, "#"]
    return "\n".join(head + ["DISCID=%08x" % disc_id(starts, leadout)] + lines) + "\n"


def parse_entry(text):
    """(comments, {key: value}) of an entry; repeated keys continue the first."""
    comments, fields = [], {}
    for line in text.split("\n"):
        line = line.rstrip("\r")
        if line.startswith("#"):
            comments.append(line[1:])
        elif "=" in line:
            key, value = line.split("=", 1)
            fields[key] = fields.get(key, "") + value
    return comments, fields


def revision_of(comments):
    for c in comments:
        if c.startswith(" Revision:"):
            return int(c.split(":", 1)[1])
    return None


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"
    server_version = "cddbd-test/1.0"

    def log_message(self, *args):
        pass

    def do_POST(self):
        target = self.path
        proxied = target.startswith("http://")
        if proxied:
            target = "/" + target[len("http://"):].split("/", 1)[1]
        script, _, query = target.partition("?")
        modes = {}
        for word in urllib.parse.parse_qs(query).get("mode", [""])[0].split(","):
            if word:
                name, _, value = word.partition("=")
                modes[name] = value
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length).decode("latin-1")
        if proxied and "refuse-proxy" in modes:
            return self.reply("Proxy authentication required\r\n", code=407)
        if "slow" in modes:
            time.sleep(int(modes["slow"] or "500") / 1000)
        if "hang" in modes:
            # Waits for the client to give up (its side closes) or for a minute.
            self.connection.settimeout(60)
            try:
                self.connection.recv(1)
            except OSError:
                pass
            return
        if "drop" in modes:
            self.close_connection = True
            return
        if script == "/~cddb/submit.cgi":
            return self.reply(self.submit(body))
        form = urllib.parse.parse_qs(body.rstrip("\r\n"))
        cmd = form.get("cmd", [""])[0].split()
        hello = form.get("hello", [""])[0].split()
        if len(hello) != 4 or form.get("proto") != ["5"] or length != len(body) or not body.endswith("\r\n"):
            return self.reply("500 Command syntax error: %r %r %d\r\n" % (hello, form.get("proto"), length))
        if "garbage" in modes or ("garbage-read" in modes and cmd[:2] == ["cddb", "read"]):
            rng = random.Random(length)
            return self.reply(bytes(rng.randrange(256) for _ in range(300)).decode("latin-1"))
        if cmd[:2] == ["cddb", "query"]:
            return self.reply(self.query(cmd[2:], "inexact" in modes))
        if cmd[:2] == ["cddb", "read"] and len(cmd) == 4:
            return self.reply(self.read(cmd[2], cmd[3]))
        return self.reply("500 Unrecognized command\r\n")

    def reply(self, text, code=200):
        data = text.encode("latin-1")
        self.send_response(code)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def db(self):
        return os.path.join(self.server.state, "db")

    def entries(self):
        for category in sorted(os.listdir(self.db())):
            for name in sorted(os.listdir(os.path.join(self.db(), category))):
                with open(os.path.join(self.db(), category, name), encoding="latin-1") as f:
                    yield category, name, parse_entry(f.read())[1]

    def query(self, args, inexact):
        try:
            given, count = int(args[0], 16), int(args[1])
            offsets, seconds = [int(a) for a in args[2:2 + count]], int(args[2 + count])
        except (ValueError, IndexError):
            return "500 Command syntax error\r\n"
        if libdiscid is None:
            return "500 No libdiscid in the server's Python\r\n"
        # libdiscid wants the lead-out in sectors; the query gives whole seconds, so rebuild it
        # from the seconds (the id only uses whole seconds).
        try:
            expected = libdiscid.put(1, count, seconds * 75, offsets).freedb_id
        except Exception as error:
            return "500 libdiscid refuses the offsets: %s\r\n" % error
        if "%08x" % given != expected:
            return "500 Disc id %08x, libdiscid says %s\r\n" % (given, expected)
        line = lambda c, n, f: "%s %s %s" % (c, n, f.get("DTITLE", ""))
        exact = [line(c, n, f) for c, n, f in self.entries() if n == "%08x" % given]
        if len(exact) == 1:
            return "200 %s\r\n" % exact[0]
        if exact:
            return "210 Found exact matches, list follows (until terminating `.')\r\n" + "\r\n".join(exact) + "\r\n.\r\n"
        close = [line(c, n, f) for c, n, f in self.entries() if sum(k.startswith("TTITLE") for k in f) == count]
        if inexact and close:
            return "211 Found inexact matches, list follows (until terminating `.')\r\n" + "\r\n".join(close) + "\r\n.\r\n"
        return "202 No match for disc ID %08x.\r\n" % given

    def read(self, category, name):
        path = os.path.join(self.db(), os.path.basename(category), os.path.basename(name))
        if not os.path.isfile(path):
            return "401 %s %s No such CD entry in database.\r\n" % (category, name)
        with open(path, encoding="latin-1") as f:
            text = f.read()
        return "210 %s %s CD database entry follows (until terminating `.')\r\n%s.\r\n" % (category, name, text)

    def submit(self, body):
        h = self.headers
        log = {k: h.get(k, "") for k in ("Category", "Discid", "User-Email", "Submit-Mode", "X-Cddbd-Note")}
        with open(os.path.join(self.server.state, "submit.log"), "a") as f:
            f.write(repr(log) + "\n")
        problems = []
        if not log["User-Email"] or "@" not in log["User-Email"]:
            problems.append("no e-mail address")
        if log["Submit-Mode"] != "submit" or "Harvane Support <" not in log["X-Cddbd-Note"]:
            problems.append("headers %r" % log)
        if not body.endswith("\r\n\r\n\r\n"):
            problems.append("entry does not end with two empty lines")
        lines = body[:-2].split("\r\n")
        if any(len(l) > 254 or "\n" in l for l in lines):
            problems.append("a line longer than 254 characters or with a bare line feed")
        comments, fields = parse_entry(body)
        if comments[:3] != [" xmcd", "", " Track frame offsets:"]:
            problems.append("head %r" % comments[:3])
        offsets = [int(c.strip()) for c in comments[3:] if c.startswith("\t")]
        length = [c for c in comments if c.startswith(" Disc length: ")]
        if not offsets or not length:
            problems.append("no offsets or length")
        else:
            seconds = int(length[0].split()[2])
            expected = libdiscid.put(1, len(offsets), seconds * 75, offsets).freedb_id if libdiscid else fields.get("DISCID")
            if fields.get("DISCID") != expected or log["Discid"] != expected:
                problems.append("disc id %r/%r, expected %s" % (fields.get("DISCID"), log["Discid"], expected))
        if not any(c.startswith(" Submitted via: Harvanex v5.0") for c in comments):
            problems.append("no Submitted via comment")
        for key in ["DTITLE", "DYEAR", "DGENRE", "EXTD", "PLAYORDER"] + ["TTITLE%d" % i for i in range(len(offsets))]:
            if key not in fields:
                problems.append("no " + key)
        category = os.path.basename(log["Category"])
        path = os.path.join(self.db(), category, os.path.basename(log["Discid"]))
        revision = revision_of(comments)
        if os.path.isfile(path):
            with open(path, encoding="latin-1") as f:
                old = revision_of(parse_entry(f.read())[0])
            if revision != (old or 0) + 1:
                problems.append("revision %r after %r" % (revision, old))
        elif revision != 0:
            problems.append("revision %r of a new entry" % revision)
        if not category:
            problems.append("no category")
        if problems:
            return "500 Submission refused: %s\r\n" % "; ".join(problems)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="latin-1", newline="") as f:
            f.write(body[:-2])
        return "200 CDDB submission accepted\r\n"


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = False


def serve(state):
    db = os.path.join(state, "db")
    for root, dirs, files in os.walk(db, topdown=False):
        for name in files:
            os.remove(os.path.join(root, name))
        for name in dirs:
            os.rmdir(os.path.join(root, name))
    for category, starts, leadout, lines in SEED:
        os.makedirs(os.path.join(db, category), exist_ok=True)
        with open(os.path.join(db, category, "%08x" % disc_id(starts, leadout)), "w", encoding="latin-1") as f:
            f.write(entry_text(starts, leadout, lines))
    server = Server(("127.0.0.1", 0), Handler)
    server.state = state
    with open(os.path.join(state, "port.tmp"), "w") as f:
        f.write(str(server.server_address[1]))
    os.replace(os.path.join(state, "port.tmp"), os.path.join(state, "port"))
    signal.signal(signal.SIGTERM, lambda *a: sys.exit(0))
    server.serve_forever()


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("start", "stop", "serve"):
        sys.exit(__doc__)
    command, state = sys.argv[1], os.path.abspath(sys.argv[2])
    os.makedirs(state, exist_ok=True)
    pidfile, portfile = os.path.join(state, "pid"), os.path.join(state, "port")
    if command == "serve":
        return serve(state)
    if os.path.exists(pidfile):
        with open(pidfile) as f:
            pid = int(f.read())
        try:
            os.kill(pid, signal.SIGTERM)
        except OSError:
            pass
        os.remove(pidfile)
    if command == "stop":
        return
    for name in ("port", "submit.log"):
        if os.path.exists(os.path.join(state, name)):
            os.remove(os.path.join(state, name))
    log = open(os.path.join(state, "server.log"), "w")
    child = subprocess.Popen([sys.executable, os.path.abspath(__file__), "serve", state], stdin=subprocess.DEVNULL,
                             stdout=log, stderr=log, start_new_session=True)
    with open(pidfile, "w") as f:
        f.write(str(child.pid))
    for _ in range(100):
        if os.path.exists(portfile):
            return
        if child.poll() is not None:
            break
        time.sleep(0.05)
    sys.exit("the CDDB server did not start; see %s" % os.path.join(state, "server.log"))


if __name__ == "__main__":
    main()
