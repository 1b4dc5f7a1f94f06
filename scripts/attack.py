#!/usr/bin/env python3
"""Replays known attacks against orvane-server and orvane-terminal.

Usage:
    python3 scripts/attack.py --build DIR [--short] [--only NAME] [--book FILE]
                              [--keep]

Every row starts the processes it attacks itself (binaries from DIR/apps),
on loopback only, each server on a free port (--port 0 --port-file F) with
its own log (--log F) and with every limit the row depends on given
explicitly. Each row is bounded in time, stops its server with SIGTERM and
kills whatever it started, by process group, before the next row starts.
One table row is printed per attack: name, PASS or FAIL, what was measured,
and the criterion. The exit status is 1 when any row fails, 2 on bad usage.

--short scales the longest rows down (fewer connections, shorter guessing)
so that the whole run takes about a minute; --only NAME runs one row;
--keep keeps the scratch directory (logs, certificates) for a look.

Python 3 standard library only.
"""

import argparse
import http.client
import os
import re
import resource
import select
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time

# ---- What this script drives the hosts by. Adjust names here only. ----

OPT_MAX_CONNECTIONS = "--max-connections"
OPT_MULTI_SESSIONS = "--multi-sessions"
OPT_SESSIONS_PER_USER = "--sessions-per-user"
OPT_SESSIONS_PER_ADDRESS = "--sessions-per-address"
OPT_LOGON_DELAY_MS = "--logon-delay-ms"
OPT_LOGON_DELAY_MAX_MS = "--logon-delay-max-ms"
OPT_LOCKOUT_FAILURES = "--lockout-failures"
OPT_METRICS_PORT = "--metrics-port"
OPT_WAIT_SESSIONS = "--wait-sessions"
OPT_TLS_CERT = "--tls-cert"
OPT_TLS_KEY = "--tls-key"
OPT_CONFIG = "--config"

LOG_REOPENED = "log reopened"
LOG_STATUS = "status: "
LOG_STATUS_CONNECTIONS = re.compile(r"status: (\d+) connections")
LOG_STOPPED_BY_SIGTERM = "stopping: SIGTERM"
LOG_CAP_REACHED = "connection cap reached"
# A line saying the open-file limit lowered the connection cap.
LOG_CAP_FROM_FILE_LIMIT = re.compile(r"connection cap lowered from \d+ to \d+ by the open file limit")
LOG_SLOW_READER = "slow reader"
LOG_METRICS_URL = re.compile(r"metrics on http://127\.0\.0\.1:(\d+)/metrics")
LOG_STAMP = re.compile(r"^\d{4}-\d\d-\d\dT")

TEXT_WRONG_PASSWORD = "Wrong user name or password"
TEXT_TOO_MANY_FOR_USER = "Too many sessions"
TEXT_TOO_MANY_FROM_ADDRESS = "Too many sessions from this address"
TEXT_LOCKED_OUT = "locked out"
STDERR_UNKNOWN_OPTION = re.compile(r"unknown (?:argument|key) '?([\w-]+)")

TERMINAL_PASSWORD_WARNING = "visible to other local users"
TERMINAL_LOGGED_ON = "logged on:"
TERMINAL_BREACH = "broke the terminal's limits"

METRIC_LOGONS = "orvane_logons_total"
METRIC_LOGON_REFUSALS = "orvane_logon_refusals_total"
METRIC_SLOW_READER_CUTS = "orvane_slow_reader_cuts_total"

EXIT_BAD_OPTIONS = 64
CODE_INVALID_SID = -500

# ---- The wire: token codes and framing (src/protocol/token_table.cpp) ----

TOKEN_CODES = {
    "LOGIN": "Q,^X,mi\"aJwndovb[@)'N_U(:2",
    "RESULT_LOST": "/c-zlP;9XonCZ=?y\\2e]9-jr5=",
    "RESULT_OK": "U;p\"!wvDIIE+%ub,>pd",
    "RESULT": "56VTH{@?Wc\\\"%n-6<\\Et5C@QV",
    "ERROR": "yI,tEt?WS3!%>)fp/`",
    "RESULT_COUNT": "-r_\\O-k?[$KLY,D&JyLy:%32nf",
    "NO_ROWS": "#^bf]Rk>ZmgS\"qG!Xz=Wp/b_XX",
    "CONNECT_HANDCHAKE": "2Exe^x^r.%(e0$FKhlZ961Xnbr",
    "DISCONNECT": "&DEIq).Vm/_,\"Uzbu#dX0Qf9O8",
    "GETOPENPOS": "I-+HRzQ2;SDoAUZ.h_q^\\y{ngU",
    "START_MARKET": ",_tMR'v25N4^<`R9v+Q^6I##py",
    "GET_ALL_SYMBOLS": "*Kzdw0_Z:++zY^H>`w!5Nl]rPq",
    "GET_ACCOUNTS": "T0!xmGD-R:K29\"Qh40q#8gF_ta",
    "GET_ACCOUNT_HISTORY": "+ZrOq)vvi+K{r%_a[[bSr\"uVlw",
    "GET_PRIVS": "QoBhTShnq>bFFFO6D&`X258<+r",
    "MARKET_DATA": "\"=2Myj8+@hD!e9I#7KK\\prR'>y",
    "STOP_FEED": "`29=GPHg]=!w'B3ozaZZZq_(ZV",
}
TOKEN_NAMES = {code: name for name, code in TOKEN_CODES.items()}
TOKEN_END = "s?<"
SID_END = "&h,"
PARAMETER = "G)_"
TERMINATOR = "+3!"
LOGON_SID = -1


def request(token, sid, params=()):
    """A request's bytes: its token, the SID as given (any text), parameters."""
    text = TOKEN_CODES[token] + TOKEN_END + str(sid) + SID_END
    return (text + "".join(PARAMETER + p for p in params) + TERMINATOR).encode("latin-1")


def response(token, params=()):
    text = TOKEN_CODES[token] + TOKEN_END + "".join(PARAMETER + p for p in params)
    return (text + TERMINATOR).encode("latin-1")


class Message:
    """One received message: the token's name (None when unknown), the SID
    text of a request (None for a response) and the parameters."""

    def __init__(self, text):
        head = text.find(TOKEN_END)
        self.token = TOKEN_NAMES.get(text[:head]) if head >= 0 else None
        body = text[head + len(TOKEN_END):] if head >= 0 else text
        first = body.find(PARAMETER)
        lead = body if first < 0 else body[:first]
        self.sid = lead[:-len(SID_END)] if lead.endswith(SID_END) else None
        self.params = [] if first < 0 else body[first + len(PARAMETER):].split(PARAMETER)

    def param(self, index, default=""):
        return self.params[index] if index < len(self.params) else default

    def __repr__(self):
        return "Message(%s, %r)" % (self.token, self.params[:4])


class Splitter:
    """Cuts a byte stream into messages at the terminator."""

    def __init__(self):
        self._held = ""

    def feed(self, data):
        text = self._held + data.decode("latin-1")
        parts = text.split(TERMINATOR)
        self._held = parts.pop()
        return [Message(p) for p in parts if p]


# ---- Processes: every child in its own group, killed on the way out ----

_children = []


def spawn(argv, **kwargs):
    child = subprocess.Popen(argv, start_new_session=True, **kwargs)
    _children.append(child)
    return child


def kill_group(child):
    """Kills the child's process group, whatever of it is left (the child
    may have gone and left its own children behind)."""
    try:
        os.killpg(child.pid, signal.SIGKILL)
    except (ProcessLookupError, PermissionError):
        pass
    try:
        child.wait(timeout=5)
    except subprocess.TimeoutExpired:
        pass


def kill_all_children():
    while _children:
        kill_group(_children.pop())


def wait_until(done, seconds, step=0.02):
    deadline = time.monotonic() + seconds
    while True:
        value = done()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(step)


def read_text(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode("latin-1")
    except FileNotFoundError:
        return ""


class Unsupported(Exception):
    """The server refused an option this row needs: it does not have it yet."""


class Server:
    """One orvane-server started for a row: a free port, its port file and
    log in the row's directory, the options the row gives."""

    def __init__(self, run, name, options, log=True, stderr=None, nofile=None,
                 book_in_options=False):
        self.dir = os.path.join(run.scratch, name)
        os.makedirs(self.dir, exist_ok=True)
        self.port_file = os.path.join(self.dir, "port")
        self.log = os.path.join(self.dir, "server.log") if log else None
        self.stderr_path = os.path.join(self.dir, "stderr")
        argv = [run.server_binary]
        if not book_in_options:
            argv += ["--book", run.book]
        if "--port" not in options:
            argv += ["--port", "0"]
        # A low hash cost: the rows start servers on a book of many users.
        if "--password-iterations" not in options:
            argv += ["--password-iterations", "1000"]
        argv += ["--port-file", self.port_file]
        if self.log:
            argv += ["--log", self.log]
        argv += [str(o) for o in options]
        preexec = None
        if nofile is not None:
            def preexec():
                resource.setrlimit(resource.RLIMIT_NOFILE, (nofile, nofile))
        err = stderr if stderr is not None else open(self.stderr_path, "wb")
        self.process = spawn(argv, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                             stderr=err, preexec_fn=preexec)
        if stderr is None:
            err.close()
        self.port = self._bound_port()

    def _bound_port(self):
        def ready():
            text = read_text(self.port_file).strip()
            return text.isdigit() or self.process.poll() is not None
        wait_until(ready, 15)
        text = read_text(self.port_file).strip()
        if text.isdigit():
            return int(text)
        code = self.process.poll()
        said = read_text(self.stderr_path)
        self.stop()
        unknown = STDERR_UNKNOWN_OPTION.search(said)
        if code == EXIT_BAD_OPTIONS and unknown:
            raise Unsupported("server lacks " + unknown.group(1))
        raise RuntimeError("server did not start (exit %s): %s" % (code, said.strip()[:300]))

    @property
    def pid(self):
        return self.process.pid

    def alive(self):
        return self.process.poll() is None

    def rss_mb(self):
        for line in read_text("/proc/%d/status" % self.pid).splitlines():
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024.0
        return 0.0

    def log_text(self):
        return read_text(self.log) if self.log else ""

    def signal(self, number):
        if self.alive():
            os.kill(self.pid, number)

    def wait_log(self, needle, seconds=3, after=0):
        """A text or pattern in the log past offset `after`, within `seconds`
        (the match for a pattern, True for a text); None when it never came."""
        def found():
            text = self.log_text()
            if isinstance(needle, str):
                return needle in text[after:] or None
            return needle.search(text, after)
        return wait_until(found, seconds)

    def status_connections(self):
        """Asks for a status line (SIGUSR1); the connections it counts."""
        before = len(self.log_text())
        self.signal(signal.SIGUSR1)
        match = wait_until(lambda: LOG_STATUS_CONNECTIONS.search(self.log_text(), before), 3)
        return int(match.group(1)) if match else None

    def stop(self):
        """SIGTERM, then the group killed if it lingers; the exit code."""
        if self.alive():
            os.kill(self.pid, signal.SIGTERM)
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                pass
        kill_group(self.process)
        return self.process.returncode

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


# ---- A client on a real socket ----

class Peer:
    """A connection to the server that speaks the wire: log-on, requests,
    and what came back."""

    def __init__(self, port, source=None, tls=None, rcvbuf=None, timeout=5.0):
        raw = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        if rcvbuf:
            raw.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, rcvbuf)
        if source:
            raw.bind((source, 0))
        raw.settimeout(timeout)
        raw.connect(("127.0.0.1", port))
        self.sock = tls.wrap_socket(raw, server_hostname="localhost") if tls else raw
        self.splitter = Splitter()
        self.inbox = []
        self.closed = False
        self.sid = None

    def send_raw(self, data):
        self.sock.sendall(data)

    def send(self, token, params=(), sid=None):
        self.send_raw(request(token, self.sid if sid is None else sid, params))

    def _pump(self, timeout):
        if self.closed:
            return False
        self.sock.settimeout(max(timeout, 0.001))
        try:
            data = self.sock.recv(1 << 16)
        except (socket.timeout, ssl.SSLWantReadError):
            return True
        except (ConnectionError, ssl.SSLError, OSError):
            data = b""
        if not data:
            self.closed = True
            return False
        self.inbox.extend(self.splitter.feed(data))
        return True

    def wait_for(self, wanted, seconds):
        """The first message whose token is in `wanted` within `seconds`;
        None on the connection's end or the time passing."""
        deadline = time.monotonic() + seconds
        while True:
            for i, message in enumerate(self.inbox):
                if message.token in wanted:
                    del self.inbox[: i + 1]
                    return message
            left = deadline - time.monotonic()
            if left <= 0 or not self._pump(min(left, 0.2)):
                return None

    def drain(self, seconds):
        """Everything that arrives within `seconds` (or until the end)."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline and self._pump(deadline - time.monotonic()):
            pass
        got, self.inbox = self.inbox, []
        return got

    def logon(self, user, password, seconds=5.0):
        """The log-on answer (LOGIN or ERROR), None when none came."""
        self.send_raw(request("LOGIN", LOGON_SID, [user, password]))
        answer = self.wait_for({"LOGIN", "ERROR"}, seconds)
        if answer is not None and answer.token == "LOGIN":
            self.sid = answer.param(0)
        return answer

    def close(self):
        try:
            self.sock.close()
        except OSError:
            pass


def logon(port, user, password, seconds=5.0, **kwargs):
    """A fresh connection's log-on: (answer or None, the peer)."""
    peer = Peer(port, timeout=seconds, **kwargs)
    return peer.logon(user, password, seconds), peer


def logged_on(answer):
    return answer is not None and answer.token == "LOGIN"


def refusal_text(answer):
    return answer.param(1) if answer is not None and answer.token == "ERROR" else ""


def outcome(answer):
    """A log-on answer in a few words."""
    if logged_on(answer):
        return "in"
    return "refused %r" % refusal_text(answer) if answer is not None else "no answer"


def user(n):
    return "client%d" % n, "pass%d" % n


# ---- Many idle connections at once ----

class Flood:
    """n non-blocking connects to the port, held open without a byte sent;
    records when each connected and when the server closed it."""

    def __init__(self, port, n, on_tick=None, batch=100, source=None):
        self.poller = select.poll()
        self.socks = {}
        self.connected = {}
        self.closed = {}
        self.on_tick = on_tick
        for start in range(0, n, batch):
            for _ in range(start, min(n, start + batch)):
                self._connect(port, source)
            self.watch(0.01)

    def _connect(self, port, source):
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.setblocking(False)
        if source:
            s.bind((source, 0))
        s.connect_ex(("127.0.0.1", port))
        self.socks[s.fileno()] = s
        self.poller.register(s.fileno(), select.POLLOUT | select.POLLIN)

    def watch(self, seconds):
        deadline = time.monotonic() + seconds
        while True:
            left = deadline - time.monotonic()
            for fd, event in self.poller.poll(max(0, int(left * 1000))):
                self._event(fd, event)
            if self.on_tick:
                self.on_tick()
            if left <= 0:
                return

    def _event(self, fd, event):
        s = self.socks[fd]
        now = time.monotonic()
        if fd not in self.connected:
            if s.getsockopt(socket.SOL_SOCKET, socket.SO_ERROR) != 0:
                self._gone(fd, now)
                return
            self.connected[fd] = now
            self.poller.modify(fd, select.POLLIN)
            if not event & (select.POLLIN | select.POLLHUP | select.POLLERR):
                return
        try:
            data = s.recv(4096)
        except BlockingIOError:
            return
        except OSError:
            data = b""
        if not data:
            self._gone(fd, now)

    def _gone(self, fd, now):
        self.closed[fd] = now
        self.connected.setdefault(fd, now)
        self.poller.unregister(fd)

    def open_count(self):
        return sum(1 for fd in self.connected if fd not in self.closed)

    def hanging(self):
        return len(self.socks) - len(self.connected)

    def slowest_close(self):
        return max((self.closed[fd] - self.connected[fd] for fd in self.closed), default=0.0)

    def late_closes(self, seconds):
        return sum(1 for fd in self.closed if self.closed[fd] - self.connected[fd] > seconds)

    def close_all(self):
        for s in self.socks.values():
            s.close()
        self.socks.clear()


class PeakRss:
    def __init__(self, server):
        self.server = server
        self.peak = server.rss_mb()

    def __call__(self):
        self.peak = max(self.peak, self.server.rss_mb())


# ---- A slow reader: answers asked for, never read ----

def book_accounts(book, client):
    accounts = []
    with open(book) as f:
        for line in f:
            fields = line.split()
            if len(fields) > 2 and fields[0] == "ACCOUNT" and fields[1] == str(client):
                accounts.append(fields[2])
    return accounts


def big_asks(sid, account, queries, resends):
    """Requests whose answers are large: history, positions, then symbols
    (the last multi-row answer, 20 rows), and row 1 of it asked for again."""
    one_round = (request("GET_ACCOUNT_HISTORY", sid, [account])
                 + request("GETOPENPOS", sid) + request("GET_ALL_SYMBOLS", sid))
    return one_round * queries + request("RESULT_LOST", sid, ["1"]) * resends


def flood_unread(port, client, sessions, seconds, on_tick):
    """Logs `sessions` sessions of one client on with tiny receive windows
    and sends each the big asks until the server cuts it or the time is
    up; how many were cut (their sends failed) and how many logged on."""
    name, password = user(client)
    account = book_accounts(RUN.book, client)[0]
    peers = []
    for _ in range(sessions):
        answer, peer = logon(port, name, password, rcvbuf=4096)
        if logged_on(answer):
            peers.append([peer, memoryview(big_asks(peer.sid, account, 3000, 30000))])
        else:
            peer.close()
    logged = len(peers)
    for peer, _ in peers:
        peer.sock.setblocking(False)
    cut = 0
    deadline = time.monotonic() + seconds
    while peers and time.monotonic() < deadline:
        _, writable, _ = select.select([], [p[0].sock for p in peers], [], 0.05)
        for entry in list(peers):
            peer, rest = entry
            if peer.sock not in writable:
                continue
            try:
                sent = peer.sock.send(rest[:1 << 16])
                entry[1] = rest[sent:]
                if not len(entry[1]):
                    entry[1] = memoryview(request("RESULT_LOST", peer.sid, ["1"]) * 1000)
            except BlockingIOError:
                pass
            except OSError:
                cut += 1
                peer.close()
                peers.remove(entry)
        on_tick()
    for peer, _ in peers:
        peer.close()
    return cut, logged


# ---- The rows ----

class Row:
    """A row's outcome; its body names the criterion before it measures, so
    that a row that breaks off still shows what it checks."""

    def __init__(self, name):
        self.name, self.ok, self.figures, self.criterion, self.seconds = name, False, "", "", 0.0


def plain_server(name, extra=(), **kwargs):
    return Server(RUN, name, ["--ticks", "0", "--rate", "10", OPT_SESSIONS_PER_ADDRESS, "100"]
                  + list(extra), **kwargs)


def row_sigpipe(row):
    row.criterion = "alive, log-on OK after the log reader went"
    read_end, write_end = os.pipe()
    reader = spawn([sys.executable, "-c", "import sys; sys.stdin.readline()"], stdin=read_end)
    os.close(read_end)
    try:
        server = plain_server("sigpipe", log=False, stderr=write_end)
    finally:
        os.close(write_end)
    with server:
        reader_gone = wait_until(lambda: reader.poll() is not None, 5)
        answer, peer = logon(server.port, *user(1001))  # its log line meets no reader
        peer.close()
        server.signal(signal.SIGUSR1)
        time.sleep(0.2)
        answer, peer = logon(server.port, *user(1002))
        peer.close()
        alive = server.alive()
        ok = reader_gone and alive and logged_on(answer)
    return ok, "reader gone=%s, alive=%s, log-on %s" % (bool(reader_gone), alive,
                                                         outcome(answer))


def row_signals(row):
    row.criterion = "SIGHUP reopens, SIGUSR1 status, SIGTERM exit 0 + port file removed"
    server = plain_server("signals")
    with server:
        os.rename(server.log, server.log + ".1")
        server.signal(signal.SIGHUP)
        reopened = bool(server.wait_log(LOG_REOPENED))
        server.signal(signal.SIGUSR1)
        status = bool(server.wait_log(LOG_STATUS))
        code = server.stop()
        stopped = LOG_STOPPED_BY_SIGTERM in server.log_text()
        port_file_gone = not os.path.exists(server.port_file)
    ok = reopened and status and stopped and code == 0 and port_file_gone
    return ok, "reopened=%s status=%s stop logged=%s exit=%s port file gone=%s" % (
        reopened, status, stopped, code, port_file_gone)


def row_bad_numbers(row):
    row.criterion = "each exits 64 within 2 s naming the option on stderr"
    cases = [("--rate", "nan"), ("--rate", "inf"), ("--rate", "-1"), ("--rate", "1e400"),
             ("--port", "70000"), ("--ticks", "-5")]
    failures = []
    for i, (option, value) in enumerate(cases):
        d = os.path.join(RUN.scratch, "bad-numbers", str(i))
        os.makedirs(d, exist_ok=True)
        argv = [RUN.server_binary, "--book", RUN.book, "--port-file", os.path.join(d, "port"),
                "--log", os.path.join(d, "log")]
        argv += ([] if option == "--port" else ["--port", "0"]) + [option, value]
        child = spawn(argv, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                      stderr=subprocess.PIPE)
        try:
            _, err = child.communicate(timeout=2)
            code = child.returncode
        except subprocess.TimeoutExpired:
            code, err = "still running", b""
        finally:
            kill_group(child)
        if code != EXIT_BAD_OPTIONS or option.encode() not in err:
            failures.append("%s %s: exit %s" % (option, value, code))
    figures = "%d/%d refused" % (len(cases) - len(failures), len(cases))
    return not failures, figures + ("; " + ", ".join(failures) if failures else "")


def make_certificate():
    d = os.path.join(RUN.scratch, "tls")
    os.makedirs(d, exist_ok=True)
    cert, key = os.path.join(d, "server.crt"), os.path.join(d, "server.key")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                    "ec_paramgen_curve:P-256", "-nodes", "-subj", "/CN=localhost",
                    "-addext", "subjectAltName=DNS:localhost", "-keyout", key, "-out", cert,
                    "-days", "2"], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=30)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
    context.load_verify_locations(cert)
    return cert, key, context


def row_tls_idle_flood(row):
    n, cap = (1500, 1000) if RUN.short else (6000, 5000)
    row.criterion = ("RSS after <= before+50 MB; %d over the cap closed within 2 s; cap "
                     "logged; TLS log-on 10 s after; log < 2 MB" % (n - cap))
    cert, key, context = make_certificate()
    server = Server(RUN, "tls-idle-flood", ["--ticks", "0", "--rate", "10",
                                            OPT_MAX_CONNECTIONS, cap,
                                            OPT_SESSIONS_PER_ADDRESS, "100",
                                            OPT_TLS_CERT, cert, OPT_TLS_KEY, key])
    with server:
        before = server.rss_mb()
        peak = PeakRss(server)
        flood = Flood(server.port, n, on_tick=peak)
        flood.watch(3.0)
        held, closed = flood.open_count(), len(flood.closed)
        slowest, late, hanging = flood.slowest_close(), flood.late_closes(2.0), flood.hanging()
        flood.close_all()
        time.sleep(10)
        after = server.rss_mb()
        answer, peer = logon(server.port, *user(1001), tls=context)
        peer.close()
        alive = server.alive()
        log = server.log_text()
    cap_logged = LOG_CAP_REACHED in log
    ok = (alive and after <= before + 50 and closed >= n - cap and late == 0 and hanging == 0
          and cap_logged and logged_on(answer) and len(log) < 2 << 20)
    figures = ("RSS %.0f/%.0f/%.0f MB (before/peak/after); held %d, closed %d (slowest %.2f s, "
               "%d late, %d hanging); cap logged=%s; TLS log-on %s; log %d B%s" % (
                   before, peak.peak, after, held, closed, slowest, late, hanging, cap_logged,
                   outcome(answer), len(log), "" if alive else "; SERVER DIED"))
    return ok, figures


def row_fd_limit(row):
    n = 1100
    row.criterion = ("open-file cap or cap reached logged; no connect left unserved; "
                     "log-on within 2 s after")
    server = Server(RUN, "fd-limit", ["--ticks", "0", "--rate", "10", OPT_MAX_CONNECTIONS, 5000,
                                      OPT_SESSIONS_PER_ADDRESS, "100"], nofile=1024)
    with server:
        flood = Flood(server.port, n)
        flood.watch(2.0)
        served = server.status_connections()
        held = flood.open_count()
        unserved = held - served if served is not None else held
        late = flood.late_closes(2.0) + flood.hanging()
        flood.close_all()
        started = time.monotonic()
        answer = wait_until(lambda: logged_on(try_logon(server.port, 1001, 0.5)), 2.0, step=0.05)
        took = time.monotonic() - started
        log = server.log_text()
    logged = LOG_CAP_REACHED in log or bool(LOG_CAP_FROM_FILE_LIMIT.search(log))
    ok = logged and unserved <= 0 and late == 0 and bool(answer)
    figures = ("cap logged=%s; held %d, served %s, unserved %d, closed %d (%d late/hanging); "
               "log-on after %.2f s=%s" % (logged, held, served, unserved, len(flood.closed),
                                           late, took, "OK" if answer else "FAILED"))
    return ok, figures


def try_logon(port, client, seconds, source=None):
    try:
        answer, peer = logon(port, *user(client), seconds=seconds, source=source)
        peer.close()
        return answer
    except OSError:
        return None


def row_user_hog(row):
    row.criterion = ('4th log-on of a user refused "%s", another user still in; 6th from one '
                     'address refused "%s"' % (TEXT_TOO_MANY_FOR_USER, TEXT_TOO_MANY_FROM_ADDRESS))
    per_user, user_figure = False, ""
    try:
        with plain_server("user-hog-user", [OPT_MULTI_SESSIONS,
                                            OPT_SESSIONS_PER_USER, "3"]) as server:
            answers, peers = [], []
            for _ in range(4):
                answer, peer = logon(server.port, *user(1001))
                answers.append(answer)
                peers.append(peer)
            other, peer = logon(server.port, *user(1002))
            peers.append(peer)
            for p in peers:
                p.close()
        first_three = all(logged_on(a) for a in answers[:3])
        fourth = refusal_text(answers[3])
        per_user = first_three and TEXT_TOO_MANY_FOR_USER in fourth and logged_on(other)
        user_figure = "user: 3 in=%s, 4th %s, other %s" % (first_three, outcome(answers[3]),
                                                            outcome(other))
    except Unsupported as e:
        user_figure = "user: " + str(e)
    with Server(RUN, "user-hog-address", ["--ticks", "0", "--rate", "10",
                                          OPT_SESSIONS_PER_ADDRESS, "5"]) as server:
        answers, peers = [], []
        for client in range(1001, 1007):
            answer, peer = logon(server.port, *user(client))
            answers.append(answer)
            peers.append(peer)
        for p in peers:
            p.close()
    five = all(logged_on(a) for a in answers[:5])
    sixth = refusal_text(answers[5])
    per_address = five and TEXT_TOO_MANY_FROM_ADDRESS in sixth
    figures = "%s; address: 5 in=%s, 6th %s" % (user_figure, five, outcome(answers[5]))
    return per_user and per_address, figures


def row_unsent_budget(row):
    row.criterion = 'sessions cut with "%s" in the log; RSS growth < 100 MB' % LOG_SLOW_READER
    sessions = 4
    with plain_server("unsent-budget", [OPT_MULTI_SESSIONS,
                                        OPT_SESSIONS_PER_USER, sessions]) as server:
        before = server.rss_mb()
        peak = PeakRss(server)
        cut, logged = flood_unread(server.port, 1178, sessions, 8 if RUN.short else 15, peak)
        time.sleep(0.3)
        peak()
        alive = server.alive()
        log = server.log_text()
    cut_lines = sum(1 for line in log.splitlines() if LOG_SLOW_READER in line)
    growth = peak.peak - before
    ok = (alive and logged == sessions and cut == sessions and cut_lines >= sessions
          and growth < 100)
    figures = "%d sessions, %d cut (%d log lines), RSS %.0f -> peak %.0f MB (+%.0f)%s" % (
        logged, cut, cut_lines, before, peak.peak, growth, "" if alive else "; SERVER DIED")
    return ok, figures


def delay_schedule_ms(k, base, most):
    """The delay k failures in a row earn (k 1-based): the least time between
    the k-th and the (k+1)-th wrong-password answer."""
    return min(base * (2 ** (k - 1)), most)


def guess_passwords(port, name, seconds, parallel=20):
    """`parallel` connections, each logging on with a wrong password,
    reading the answer and connecting again, for `seconds`; the answers as
    (sent, answered, refusal text), in the order they came."""
    answers, lock = [], threading.Lock()
    deadline = time.monotonic() + seconds

    def guess(i):
        while time.monotonic() < deadline:
            try:
                peer = Peer(port, timeout=2)
            except OSError:
                time.sleep(0.05)
                continue
            sent = time.monotonic()
            try:
                answer = peer.logon(name, "wrong%d" % i, seconds=max(0.05, deadline -
                                                                     time.monotonic()))
            except OSError:
                answer = None
            peer.close()
            if answer is not None:
                with lock:
                    answers.append((sent, time.monotonic(), refusal_text(answer)))
    threads = [threading.Thread(target=guess, args=(i,), daemon=True) for i in range(parallel)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return sorted(answers, key=lambda a: a[1])


def row_password_guess(row):
    seconds, most_answers = (5, 8) if RUN.short else (15, 15)
    base, most = 250, 4000
    row.criterion = ("<= %d wrong-password answers in %d s, spaced by the delay schedule; "
                     "<= 10 log lines; locked out after 5, let in after SIGHUP; another log-on "
                     "answered within 2 s while 1,000 wait" % (most_answers, seconds))
    name = user(1001)[0]
    with plain_server("password-guess", [OPT_LOGON_DELAY_MS, base, OPT_LOGON_DELAY_MAX_MS, most,
                                         OPT_LOCKOUT_FAILURES, 0,
                                         OPT_MAX_CONNECTIONS, 5000]) as server:
        answers = guess_passwords(server.port, name, seconds)
        wrong = [a for a in answers if TEXT_WRONG_PASSWORD in a[2]]
        # Measured from the first answer, so that one answer seen late by its
        # thread does not make the next look early.
        early = [k + 1 for k in range(1, len(wrong))
                 if (wrong[k][1] - wrong[0][1]) * 1000 + 50 <
                 sum(delay_schedule_ms(j, base, most) for j in range(1, k + 1))]
        lines = sum(1 for line in server.log_text().splitlines() if name in line)
        waiting_ok, waiting_figure = logon_while_many_wait(server.port)
        alive = server.alive()
    lockout_ok, lockout_figure = lockout()
    ok = (alive and len(wrong) <= most_answers and not early and lines <= 10 and lockout_ok
          and waiting_ok)
    figures = "%d wrong-password answers, %d early %s; %d log lines; %s; %s%s" % (
        len(wrong), len(early), early[:5] if early else "", lines, lockout_figure,
        waiting_figure, "" if alive else "; SERVER DIED")
    return ok, figures


def logon_while_many_wait(port, waiting=1000):
    """`waiting` wrong-password log-ons from 127.0.0.2 to 127.0.0.201 left
    waiting for their answers; is another user's log-on, from an address
    with no failures, answered in 2 s?"""
    peers = []
    try:
        for i in range(waiting):
            peer = Peer(port, source="127.0.0.%d" % (2 + i % 200), timeout=2)
            peer.send_raw(request("LOGIN", LOGON_SID, [user(1001 + i % 200)[0], "wrong"]))
            peers.append(peer)
        started = time.monotonic()
        answer = try_logon(port, 1232, 2.0, source="127.0.0.250")
        took = time.monotonic() - started
    finally:
        for peer in peers:
            peer.close()
    ok = logged_on(answer) and took <= 2.0
    return ok, "log-on with %d waiting: %s in %.2f s" % (len(peers), "OK" if ok else "FAILED",
                                                        took)


def lockout():
    d = os.path.join(RUN.scratch, "password-lockout")
    os.makedirs(d, exist_ok=True)
    config = os.path.join(d, "server.conf")
    with open(config, "w") as f:
        f.write("book = %s\nticks = 0\nrate = 10\n" % RUN.book)
        for option, value in ((OPT_LOCKOUT_FAILURES, 5), (OPT_LOGON_DELAY_MS, 10),
                              (OPT_LOGON_DELAY_MAX_MS, 40), (OPT_SESSIONS_PER_ADDRESS, 100)):
            f.write("%s = %s\n" % (option.lstrip("-"), value))
    name, password = user(1003)
    try:
        with Server(RUN, "password-lockout", [OPT_CONFIG, config],
                    book_in_options=True) as server:
            wrong = 0
            for _ in range(6):
                answer, peer = logon(server.port, name, "wrong")
                peer.close()
                wrong += TEXT_WRONG_PASSWORD in refusal_text(answer) or \
                    TEXT_LOCKED_OUT in refusal_text(answer)
            locked, peer = logon(server.port, name, password)
            peer.close()
            mark = len(server.log_text())
            server.signal(signal.SIGHUP)
            server.wait_log(LOG_REOPENED, after=mark)
            time.sleep(0.2)
            again, peer = logon(server.port, name, password)
            peer.close()
    except Unsupported as e:
        return False, "lock-out: " + str(e)
    ok = wrong == 6 and TEXT_LOCKED_OUT in refusal_text(locked) and logged_on(again)
    return ok, "lock-out: right password %s, after SIGHUP %s" % (outcome(locked),
                                                                 outcome(again))


def row_log_injection(row):
    row.criterion = "log grows < 4 KiB a log-on; no ESC byte; no line starting '2026-01-01 forged'"
    forged = "\n2026-01-01 forged line \x1b[31m"
    long_name = forged + "A" * (64 * 1024 - len(forged))
    with plain_server("log-injection") as server:
        growths = []
        for name in (long_name, "x" + forged):
            before = len(server.log_text())
            answer, peer = logon(server.port, name, "x", seconds=3)
            peer.drain(0.3)
            peer.close()
            time.sleep(0.2)
            growths.append(len(server.log_text()) - before)
        log = server.log_text()
    escapes = log.count("\x1b")
    forged_lines = sum(1 for line in log.split("\n") if line.startswith("2026-01-01 forged"))
    ok = max(growths) < 4096 and escapes == 0 and forged_lines == 0
    return ok, "growth %d B (64 KiB name), %d B (short name); %d ESC; %d forged lines" % (
        growths[0], growths[1], escapes, forged_lines)


def feed_prices(messages):
    """Prices of the running feed: the quotes sent at START_MARKET are the
    book's own (sequence 0), the feed's count from 1."""
    return sum(1 for m in messages if m.token == "MARKET_DATA" and m.param(4, "0") != "0")


def row_wait_sessions(row):
    row.criterion = ("no feed price (sequence > 0) within 2 s after one session's 5 "
                     "START_MARKET; feed prices once a 2nd session starts")
    with Server(RUN, "wait-sessions", ["--ticks", "0", "--rate", "50", OPT_WAIT_SESSIONS, 2,
                                       OPT_SESSIONS_PER_ADDRESS, 100]) as server:
        first_answer, first = logon(server.port, *user(1001))
        for _ in range(5):
            first.send("START_MARKET")
        held = first.drain(2.0)
        early = feed_prices(held)
        snapshot = sum(1 for m in held if m.token == "MARKET_DATA") - early
        second_answer, second = logon(server.port, *user(1002))
        second.send("START_MARKET")
        later = second.drain(2.0)
        first.close()
        second.close()
    ok = logged_on(first_answer) and logged_on(second_answer) and early == 0 and \
        feed_prices(later) > 0
    return ok, "%d feed prices (%d book quotes) before the 2nd session; %d after" % (
        early, snapshot, feed_prices(later))


def row_sids(row):
    row.criterion = "SIDs not consecutive (or 1000+ apart); SID '1.4' and SID+'abc' answered -500"
    with plain_server("sids") as server:
        a, first = logon(server.port, *user(1001))
        b, second = logon(server.port, *user(1002))
        codes = []
        for sid in ("1.4", "%sabc" % first.sid):
            first.send("GET_PRIVS", sid=sid)
            answer = first.wait_for({"ERROR", "RESULT_COUNT"}, 3)
            codes.append(answer.param(0) if answer is not None and answer.token == "ERROR"
                         else "none")
        first.close()
        second.close()
    if not (logged_on(a) and logged_on(b)):
        return False, "log-ons: %s, %s" % (outcome(a), outcome(b))
    difference = int(second.sid) - int(first.sid)
    ok = (abs(difference) > 1000 or abs(difference) != 1) and \
        all(c == str(CODE_INVALID_SID) for c in codes)
    return ok, "SIDs %s, %s (difference %d); codes %s" % (
        first.sid, second.sid, difference, ", ".join(codes))


class HostileServer(threading.Thread):
    """A fake server: it answers a log-on, then the first request with a
    row count of `count` and one row numbered `row`; it reads whatever
    comes after, for every connection, until stopped."""

    def __init__(self, count, row):
        super().__init__(daemon=True)
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(8)
        self.port = self.listener.getsockname()[1]
        self.count, self.row = count, row
        self.stopping = threading.Event()
        self.lost_asked = 0

    def run(self):
        self.listener.settimeout(0.1)
        while not self.stopping.is_set():
            try:
                conn, _ = self.listener.accept()
            except socket.timeout:
                continue
            with conn:
                self.serve(conn)

    def serve(self, conn):
        conn.settimeout(0.1)
        splitter, answered = Splitter(), False
        while not self.stopping.is_set():
            try:
                data = conn.recv(65536)
            except socket.timeout:
                continue
            except OSError:
                return
            if not data:
                return
            for m in splitter.feed(data):
                if m.token == "LOGIN":
                    conn.sendall(response("LOGIN", ["7", "10", "0", ""]))
                elif m.token == "RESULT_LOST":
                    self.lost_asked += 1
                elif m.token not in ("CONNECT_HANDCHAKE", "DISCONNECT", None) and not answered:
                    answered = True
                    conn.sendall(response("RESULT_COUNT", [str(self.count)])
                                 + response("RESULT", [str(self.row), "x"]))

    def stop(self):
        self.stopping.set()
        self.join(2)
        self.listener.close()


def row_hostile_server(row):
    row.criterion = "no bad_alloc, no crash signal, within 5 s; output < 1 MB"
    cases = [(2147483647, 1), (3000000, 2999999), (1000000, 999999)]
    figures, ok = [], True
    d = os.path.join(RUN.scratch, "hostile-server")
    os.makedirs(d, exist_ok=True)
    password_file = os.path.join(d, "password")
    with open(password_file, "w") as f:
        f.write("secret\n")
    for count, number in cases:
        fake = HostileServer(count, number)
        fake.start()
        output = os.path.join(d, "terminal-%d.out" % count)
        try:
            with open(output, "wb") as out:
                terminal = spawn([RUN.terminal_binary, "--port", str(fake.port), "--user", "alice",
                                  "--password-file", password_file, "--seconds", "4"],
                                 stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
            wait_until(lambda: terminal.poll() is not None or
                       TERMINAL_BREACH in read_text(output), 5)
            wait_until(lambda: terminal.poll() is not None, 0.5)
            code = terminal.poll()
        finally:
            kill_group(terminal)
            fake.stop()
        text = read_text(output)
        size = os.path.getsize(output)
        crashed = code is not None and code < 0
        good = "bad_alloc" not in text and not crashed and size < 1 << 20
        ok = ok and good
        figures.append("count %d row %d: %s, breach logged=%s, %d B" % (
            count, number, "running" if code is None else "exit %d" % code,
            TERMINAL_BREACH in text, size))
    return ok, "; ".join(figures)


def row_secrets(row):
    row.criterion = "--password warns about other local users; ORVANE_PASSWORD logs on"
    d = os.path.join(RUN.scratch, "secrets")
    os.makedirs(d, exist_ok=True)
    name, password = user(1001)
    with plain_server("secrets") as server:
        results = []
        for label, extra, env in (
                ("flag", ["--password", "x"], {}),
                ("environment", [], {"ORVANE_PASSWORD": password})):
            output = os.path.join(d, label + ".out")
            environment = dict(os.environ)
            environment.pop("ORVANE_PASSWORD", None)
            environment.update(env)
            with open(output, "wb") as out:
                terminal = spawn([RUN.terminal_binary, "--port", str(server.port), "--user", name,
                                  "--seconds", "3"] + extra, stdin=subprocess.DEVNULL,
                                 stdout=out, stderr=subprocess.STDOUT, env=environment)
            try:
                wanted = TERMINAL_PASSWORD_WARNING if label == "flag" else TERMINAL_LOGGED_ON
                wait_until(lambda: wanted in read_text(output) or terminal.poll() is not None, 5)
                results.append(wanted in read_text(output))
            finally:
                kill_group(terminal)
    ok = all(results)
    return ok, "warning=%s, logged on from ORVANE_PASSWORD=%s" % tuple(results)


def scrape(port, path):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=3)
    try:
        connection.request("GET", path)
        answer = connection.getresponse()
        return answer.status, answer.read().decode("latin-1")
    finally:
        connection.close()


def metric(text, name):
    """The sum of every series of `name` in a Prometheus text page."""
    total = 0.0
    for line in text.splitlines():
        if not line.startswith(name):
            continue
        rest = line[len(name):]
        if rest.startswith("{"):
            rest = rest[rest.find("}") + 1:]
        elif not rest.startswith(" "):
            continue  # another metric whose name begins the same
        total += float(rest.split()[0])
    return total


def row_metrics(row):
    row.criterion = "/health 200 ok; %s, %s, %s each moved up" % (
        METRIC_LOGONS, METRIC_LOGON_REFUSALS, METRIC_SLOW_READER_CUTS)
    with plain_server("metrics", [OPT_METRICS_PORT, 0]) as server:
        match = server.wait_log(LOG_METRICS_URL, 3)
        if not match:
            return False, "no metrics address in the log"
        port = int(match.group(1))
        health = scrape(port, "/health")
        _, before = scrape(port, "/metrics")
        answer, peer = logon(server.port, *user(1001))
        peer.close()
        answer, peer = logon(server.port, user(1002)[0], "wrong")
        peer.close()
        flood_unread(server.port, 1178, 1, 8, lambda: None)
        time.sleep(0.3)
        _, after = scrape(port, "/metrics")
    moved = {n: (metric(before, n), metric(after, n))
             for n in (METRIC_LOGONS, METRIC_LOGON_REFUSALS, METRIC_SLOW_READER_CUTS)}
    ok = health[0] == 200 and health[1].strip() == "ok" and all(b > a for a, b in moved.values())
    return ok, "health %d %r; %s" % (
        health[0], health[1].strip()[:20],
        ", ".join("%s %g->%g" % (n, a, b) for n, (a, b) in moved.items()))


ROWS = [
    ("sigpipe", row_sigpipe),
    ("signals", row_signals),
    ("bad-numbers", row_bad_numbers),
    ("tls-idle-flood", row_tls_idle_flood),
    ("fd-limit", row_fd_limit),
    ("user-hog", row_user_hog),
    ("unsent-budget", row_unsent_budget),
    ("password-guess", row_password_guess),
    ("log-injection", row_log_injection),
    ("wait-sessions", row_wait_sessions),
    ("sids", row_sids),
    ("hostile-server", row_hostile_server),
    ("secrets", row_secrets),
    ("metrics", row_metrics),
]


class Run:
    def __init__(self, args):
        build = os.path.abspath(args.build)
        self.server_binary = find_binary(build, "orvane-server")
        self.terminal_binary = find_binary(build, "orvane-terminal")
        if not (self.server_binary and self.terminal_binary):
            raise ValueError("no orvane-server and orvane-terminal under %s/apps (build them)"
                             % build)
        here = os.path.dirname(os.path.abspath(__file__))
        self.book = os.path.abspath(args.book or os.path.join(here, "..", "data",
                                                              "sample_book.txt"))
        self.short = args.short
        self.scratch = tempfile.mkdtemp(prefix="orvane-attack-")


def find_binary(build, name):
    for path in (os.path.join(build, "apps", name), os.path.join(build, name)):
        if os.access(path, os.X_OK):
            return path
    return None


RUN = None


def run_row(name, body):
    row = Row(name)
    started = time.monotonic()
    try:
        row.ok, row.figures = body(row)
    except Unsupported as e:
        row.ok, row.figures = False, str(e)
    except Exception as e:  # a row that breaks is a failed row, not a stopped run
        row.ok, row.figures = False, "%s: %s" % (type(e).__name__, e)
    finally:
        kill_all_children()
    row.seconds = time.monotonic() - started
    return row


def print_row(row):
    print("%-15s %-4s %5.1fs  %s  [%s]" % (row.name, "PASS" if row.ok else "FAIL", row.seconds,
                                          row.figures, row.criterion), flush=True)


def raise_open_file_limit():
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    if soft < hard:
        resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))


def main():
    global RUN
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="build directory (holds apps/)")
    parser.add_argument("--short", action="store_true", help="the scaled-down run")
    parser.add_argument("--only", choices=[name for name, _ in ROWS], help="run one row")
    parser.add_argument("--book", help="book file (default: data/sample_book.txt)")
    parser.add_argument("--keep", action="store_true", help="keep the scratch directory")
    args = parser.parse_args()
    try:
        RUN = Run(args)
    except ValueError as e:
        parser.error(str(e))
    raise_open_file_limit()
    for number in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(number, lambda *_: sys.exit(1))
    failed = 0
    print("%-15s %-4s %6s  %s  [%s]" % ("row", "ok", "time", "measured", "criterion"))
    try:
        for name, body in ROWS:
            if args.only and name != args.only:
                continue
            row = run_row(name, body)
            print_row(row)
            failed += not row.ok
    finally:
        kill_all_children()
        if args.keep or failed:
            print("scratch directory: " + RUN.scratch)
        else:
            shutil.rmtree(RUN.scratch, ignore_errors=True)
    print("%s: %d row(s) failed" % ("FAIL" if failed else "PASS", failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
