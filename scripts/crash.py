#!/usr/bin/env python3
"""Crash campaign: kills orvane-server again and again while terminals trade,
starts it again on the same store, and checks after every restart that
nothing acknowledged was lost, nothing is half applied and nothing repeated.

Each cycle on a store:
  trade life   the server on the store (no end to its feed), terminals that
               trade from order files drawn from the seed; the server is
               killed with SIGKILL at a random moment, or ends itself at a
               random commit through ORVANE_CRASH_BEFORE_COMMIT=N;
  verify life  the server started again on the same store; the checks read
               the store with SQL, then every terminal logs on again and
               compares its figures with the server's when a short feed ends;
               the server is stopped with SIGTERM.

Checks (--checks, all by default):
  a  every order a terminal saw executed (its answer, with its ticket) is in
     the store: its audit row, its position or history row, the sequences;
  b  nothing is half applied: a closed ticket is in history and not open, a
     guard's position is open, each account's net profit moved by exactly
     its history's profits, the sequences cover every stored ticket and id;
  c  nothing repeated: no ticket twice among positions, one identity per
     ticket across positions and history, one audit row per order number;
  d  every terminal logs on again and its figures equal the server's;
  e  each account's ledger summed from its entry rows equals its stored
     totals to the cent, and so does the balance.

Python standard library only; loopback only; every wait is bounded. The seed
is printed at the start; every random choice comes from it.
"""

import argparse
import os
import random
import re
import shutil
import signal
import socket
import sqlite3
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BOOK = os.path.join(ROOT, "data", "sample_book.txt")
PG_BIN = "/usr/lib/postgresql/15/bin"

CRASH_VARIABLE = "ORVANE_CRASH_BEFORE_COMMIT"
FEED_POSITION_KEY = "feed_delivered"
SYMBOLS = ("EURUSD", "GBPUSD", "USDJPY")
TERMINALS = 3
GUARD_KIND = 3  # an order row that guards a position (stop-loss and take-profit)
# Ledger codes of the entries table, and the account total each one sums to.
LEDGERS = {1: "deposit", 2: "previous_margin", 3: "net_profit", 4: "commission",
           5: "interest", 6: "credit"}
BALANCE_PARTS = ("deposit", "previous_margin", "net_profit", "commission", "interest")

START_TIMEOUT = 20.0      # the server writes its port file
TERMINAL_TIMEOUT = 30.0   # a verify life's terminals compare and exit
DEATH_TIMEOUT = 10.0      # a killed process is gone
HOOK_WAIT = 8.0           # the crash hook had this long to fire before SIGKILL


def cents(value):
    return int(round(float(value) * 100))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(predicate, timeout, step=0.02):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(step)
    return predicate()


class Failure(Exception):
    """A step of the campaign that could not be carried out."""


# ---- the stores, read with plain SQL ----

class SqliteStore:
    kind = "sqlite"

    def __init__(self, scratch):
        self.directory = os.path.join(scratch, "sqlite-store")
        os.makedirs(self.directory)
        self.path = os.path.join(self.directory, "orvane.db")

    def server_args(self):
        return ["--data", self.directory]

    def rows(self, sql, texts=()):
        """Rows of `sql`; TEXT(col) reads a text column, given back as str."""
        sql = re.sub(r"TEXT\(([^)]*)\)", r"hex(\1)", sql)
        db = sqlite3.connect(self.path, timeout=10)
        try:
            out = db.execute(sql).fetchall()
        finally:
            db.close()
        return [tuple(decode(v) if i in texts else v for i, v in enumerate(r)) for r in out]

    def many(self, queries):
        """The rows of each (sql, texts) in turn."""
        return [self.rows(sql, texts) for sql, texts in queries]

    def has_table(self, name):
        return self.rows("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND "
                         "name = '%s'" % name)[0][0] > 0

    def stop(self):
        pass


class PostgresStore:
    """A scratch cluster of our own on a free loopback port."""
    kind = "postgresql"

    def __init__(self, scratch):
        self.directory = os.path.join(scratch, "pg-cluster")
        os.makedirs(self.directory)
        shutil.chown(self.directory, "postgres", "postgres")
        os.chmod(scratch, 0o755)
        self.port = free_port()
        self.started = False
        self.pg("initdb", "-D", self.directory, "-A", "trust", "-U", "orvane", timeout=60)
        self.pg("pg_ctl", "-D", self.directory, "-o",
                "-p %d -k %s -c listen_addresses=127.0.0.1" % (self.port, self.directory),
                "-l", os.path.join(self.directory, "log"), "-w", "-t", "30", "start", timeout=40)
        self.started = True
        run(["psql", "-X", "-q", "-h", "127.0.0.1", "-p", str(self.port), "-U", "orvane",
             "-d", "postgres", "-c", "CREATE DATABASE crash"], timeout=20)
        self.uri = "postgresql://orvane@127.0.0.1:%d/crash" % self.port

    def pg(self, tool, *args, timeout):
        run(["runuser", "-u", "postgres", "--", os.path.join(PG_BIN, tool)] + list(args),
            timeout=timeout)

    def server_args(self):
        return ["--store", self.uri]

    def rows(self, sql, texts=()):
        return self.many([(sql, texts)])[0]

    def many(self, queries):
        """The rows of each (sql, texts) in turn, read by one psql in one
        transaction."""
        command = ["psql", "-X", "-A", "-t", "-F", "\x1f", "-h", "127.0.0.1", "-p",
                   str(self.port), "-U", "orvane", "-d", "crash", "-v", "ON_ERROR_STOP=1",
                   "-c", "BEGIN ISOLATION LEVEL REPEATABLE READ"]
        for sql, _ in queries:
            command += ["-c", re.sub(r"TEXT\(([^)]*)\)", r"encode(\1, 'hex')", sql),
                        "-c", "SELECT '%s'" % self.END]
        out = run(command + ["-c", "COMMIT"], timeout=30)
        results = [[]]
        for line in out.splitlines():
            if line in ("BEGIN", "COMMIT"):
                continue
            if line == self.END:
                results.append([])
                continue
            texts = queries[len(results) - 1][1]
            results[-1].append(tuple(decode(v) if i in texts else number(v)
                                     for i, v in enumerate(line.split("\x1f"))))
        return results[:len(queries)]

    END = "--end of rows--"

    def has_table(self, name):
        return self.rows("SELECT count(*) FROM information_schema.tables WHERE "
                         "table_name = '%s'" % name)[0][0] > 0

    def stop(self):
        if self.started:
            self.started = False
            try:
                self.pg("pg_ctl", "-D", self.directory, "-m", "fast", "-w", "-t", "30", "stop",
                        timeout=40)
            except Failure as e:
                print("postgresql: could not stop the scratch cluster: %s" % e)


def decode(value):
    return bytes.fromhex(value or "").decode("utf-8", "replace")


def number(text):
    for kind in (int, float):
        try:
            return kind(text)
        except ValueError:
            pass
    return text


def run(command, timeout):
    try:
        done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              text=True, timeout=timeout, stdin=subprocess.DEVNULL)
    except subprocess.TimeoutExpired:
        raise Failure("%s took more than %d s" % (command[0], timeout))
    if done.returncode != 0:
        raise Failure("%s exited %d: %s" % (" ".join(command[:4]), done.returncode,
                                            done.stderr.strip()[-500:]))
    return done.stdout


# ---- processes ----

class Processes:
    """Every process the campaign started, ended by its own id at the end."""

    def __init__(self):
        self.started = []

    def start(self, command, log, env=None):
        with open(log, "ab") as out:
            p = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                                 env=env, start_new_session=True)
        self.started.append(p)
        return p

    def end(self, p, sig=signal.SIGKILL):
        if p.poll() is None:
            try:
                os.kill(p.pid, sig)
            except ProcessLookupError:
                pass
        try:
            p.wait(timeout=DEATH_TIMEOUT)
        except subprocess.TimeoutExpired:
            os.kill(p.pid, signal.SIGKILL)
            p.wait(timeout=DEATH_TIMEOUT)
        return p.returncode

    def end_all(self):
        for p in self.started:
            if p.poll() is None:
                self.end(p)


# ---- what the terminals were told ----

ANSWER = re.compile(r": order (\d+): (.*)$")


def read_acks(log, user):
    """The executed orders a terminal printed: (user, number, text)."""
    acks = []
    with open(log, errors="replace") as f:
        for line in f:
            m = ANSWER.search(line.rstrip("\n"))
            if m and not m.group(2).startswith("refused"):
                acks.append((user, int(m.group(1)), m.group(2)))
    return acks


def order_script(rng, lines):
    """An order file in the terminal's language: opens, closes, hedges,
    entry orders and guards, with prices in pips from the moment each goes.
    Small lots, and every position it opens is closed again before it ends,
    so that accounts keep margin over many lives."""
    out = []
    opened = 0
    still_open = []
    for _ in range(lines):
        roll = rng.random()
        symbol = rng.choice(SYMBOLS)
        lots = rng.choice(("0.1", "0.2", "0.3"))
        if roll < 0.35 or opened == 0:
            side = rng.choice(("buy", "sell"))
            guard = ""
            if rng.random() < 0.4:
                n = rng.randint(3, 20)
                sign = "-" if side == "buy" else "+"
                other = "+" if side == "buy" else "-"
                guard = " sl %s%dp tp %s%dp" % (sign, n, other, n)
            out.append("%s %s %s%s" % (side, symbol, lots, guard))
            opened += 1
            still_open.append(opened)
        elif roll < 0.55 and still_open:
            k = still_open.pop(rng.randrange(len(still_open)))
            out.append("close #%d" % k)
        elif roll < 0.6:
            out.append("close #%d 0.1" % rng.randint(1, opened))
        elif roll < 0.65 and opened >= 2:
            out.append("hedge #%d #%d" % (rng.randint(1, opened), rng.randint(1, opened)))
        elif roll < 0.8:
            kind = rng.choice(("limit", "stop"))
            side = rng.choice(("buy", "sell"))
            below = (kind == "limit") == (side == "buy")
            pips = rng.randint(2, 15)
            out.append("%s %s %s %s at %s%dp expires +%dm" % (
                kind, side, symbol, lots, "-" if below else "+", pips, rng.randint(1, 30)))
        else:
            n = rng.randint(5, 40)
            out.append("sltp #%d sl -%dp" % (rng.randint(1, opened), n) if rng.random() < 0.5
                       else "sltp #%d tp +%dp" % (rng.randint(1, opened), n))
    out += ["close #%d" % k for k in still_open]
    return "\n".join(out) + "\n"


# ---- the campaign on one store ----

class Campaign:
    def __init__(self, args, store, scratch, rng, processes, users, results):
        self.args = args
        self.store = store
        self.scratch = os.path.join(scratch, store.kind)
        os.makedirs(self.scratch, exist_ok=True)
        self.rng = rng
        self.processes = processes
        self.users = users  # (name, password, client)
        self.clients = {name: client for name, _, client in users}
        self.results = results
        self.acks = []
        self.seed_totals = {}
        self.seed_profits = {}
        self.tables = None
        self.lives = 0
        self.bin = os.path.abspath(args.build)
        self.cert = os.path.join(scratch, "server.pem")
        self.key = os.path.join(scratch, "server.key")
        self.trade_rates = (200, 2000, 20000)
        self.verify_quotes = 100

    def binary(self, name):
        for path in (os.path.join(self.bin, "apps", name), os.path.join(self.bin, name)):
            if os.path.exists(path):
                return path
        raise Failure("no %s under %s" % (name, self.bin))

    # -- lives --

    def start_server(self, extra, env=None):
        self.lives += 1
        port_file = os.path.join(self.scratch, "port")
        if os.path.exists(port_file):
            os.remove(port_file)
        log = os.path.join(self.scratch, "server-%03d.log" % self.lives)
        command = [self.binary("orvane-server"), "--book", BOOK, "--password-iterations",
                   "1000", "--quiet", "--tls-cert", self.cert, "--tls-key", self.key,
                   "--port-file", port_file, "--wait-sessions", str(TERMINALS),
                   "--seed", str(self.rng.randrange(1 << 32))] + self.store.server_args() + extra
        server = self.processes.start(command, log, env)
        if not wait_for(lambda: os.path.exists(port_file) and os.path.getsize(port_file) > 0
                        or server.poll() is not None, START_TIMEOUT):
            self.processes.end(server)
            raise Failure("the server wrote no port within %d s (log %s)" % (START_TIMEOUT, log))
        if server.poll() is not None:
            raise Failure("the server exited %d at start: %s" % (server.returncode, tail(log)))
        with open(port_file) as f:
            return server, int(f.read().strip()), log

    def start_terminal(self, user, port, label, extra):
        name, password, _ = user
        log = os.path.join(self.scratch, "%s-%03d.log" % (label, self.lives))
        env = dict(os.environ, ORVANE_PASSWORD=password)
        command = [self.binary("orvane-terminal"), "--port", str(port), "--user", name,
                   "--ca", self.cert, "--label", label] + extra
        return self.processes.start(command, log, env), log

    def feed_position(self):
        meta = dict(self.store.rows("SELECT TEXT(key), TEXT(value) FROM meta", texts=(0, 1)))
        return int(meta.get(FEED_POSITION_KEY, "0"))

    def seed(self):
        """Seeds the store from the book in a first verify life."""
        server, _, log = self.start_server(["--ticks", "1"])
        self.seed_totals = {r[0]: r[1] for r in self.store.rows(
            "SELECT account, net_profit FROM accounts")}
        self.seed_profits = self.history_profits(self.store.rows(
            "SELECT client, account, ticket, direction, lots, symbol, open_price, close_price, "
            "profit FROM history"))
        code = self.processes.end(server, signal.SIGTERM)
        if code != 0:
            raise Failure("the seeding server exited %s: %s" % (code, tail(log)))

    def trade_life(self, cycle):
        """Starts the server, lets the terminals trade and crashes it."""
        hook = self.rng.random() < 0.3
        env = dict(os.environ)
        env.pop(CRASH_VARIABLE, None)
        if hook:
            at_commit = self.rng.randint(1, 80)
            env[CRASH_VARIABLE] = str(at_commit)
            how = "%s=%d" % (CRASH_VARIABLE, at_commit)
        else:
            delay = self.rng.uniform(0.3, 1.5 if self.args.short else 4.0)
            how = "SIGKILL after %.2f s" % delay
        # Fast rates too: a feed the store cannot keep up with must not keep
        # orders from being answered.
        rate = self.rng.choice(self.trade_rates)
        server, port, log = self.start_server(["--ticks", "0", "--rate", str(rate)], env)
        terminals = []
        for i, user in enumerate(self.users):
            orders = os.path.join(self.scratch, "orders-%03d-%d.txt" % (self.lives, i))
            with open(orders, "w") as f:
                f.write(order_script(self.rng, 40))
            terminals.append(self.start_terminal(
                user, port, "trade%d" % i,
                ["--seconds", "60", "--orders", orders,
                 "--order-ms", str(self.rng.choice((5, 20, 50)))]))
        started = time.monotonic()
        if hook:
            if not wait_for(lambda: server.poll() is not None, HOOK_WAIT, 0.01):
                how += " (not reached in %.0f s; SIGKILL)" % HOOK_WAIT
        else:
            wait_for(lambda: server.poll() is not None, delay, 0.01)
        lived = time.monotonic() - started
        code = self.processes.end(server, signal.SIGKILL)
        # Answers already on their way are read before the terminals go.
        time.sleep(0.3)
        for p, _ in terminals:
            self.processes.end(p, signal.SIGKILL)
        acks = []
        for (p, tlog), user in zip(terminals, self.users):
            acks += read_acks(tlog, user[0])
        self.acks += acks
        if code != -signal.SIGKILL:
            self.results.fail(self.store.kind, cycle, "kill",
                              "the server ended with %s, not SIGKILL (%s)" % (code, tail(log)))
        return "%s, %.2f s of trading at %d quotes/s, %d orders acknowledged" % (
            how, lived, rate, len(acks))

    def verify_life(self, cycle, checks):
        """Starts the server again and runs the checks."""
        position = self.feed_position()
        server, port, log = self.start_server(
            ["--ticks", str(position + self.verify_quotes), "--rate", "1000"])
        try:
            self.tables = None
            for c in "abc":
                if c in checks:
                    self.check(cycle, c)
            if "d" in checks:
                self.check(cycle, "d", port)
            self.tables = None  # the feed of the comparison moved the store on
            if "e" in checks:
                self.check(cycle, "e")
        finally:
            code = self.processes.end(server, signal.SIGTERM)
        if code != 0:
            self.results.fail(self.store.kind, cycle, "stop",
                              "the server exited %s on SIGTERM: %s" % (code, tail(log)))

    def check(self, cycle, name, *args):
        try:
            problems, said = getattr(self, "check_" + name)(*args)
        except Failure as e:
            problems, said = [str(e)], ""
        except (sqlite3.Error, ValueError, KeyError, IndexError) as e:
            problems, said = ["reading the store failed: %r" % e], ""
        self.results.record(self.store.kind, cycle, name, problems, said)

    # -- the checks --

    def read_store(self):
        """The tables the checks read, as of one moment; kept until the
        store moves on (a new life)."""
        if self.tables is None:
            positions, history, orders, audit, sequences, accounts = self.store.many([
                ("SELECT client, account, ticket, direction, lots, symbol, price, TEXT(note) "
                 "FROM positions", (7,)),
                ("SELECT client, account, ticket, direction, lots, symbol, open_price, "
                 "close_price, profit, TEXT(note) FROM history", (9,)),
                ("SELECT client, account, id, kind, position FROM orders", ()),
                ("SELECT client, account, TEXT(row) FROM audit", (2,)),
                ("SELECT last_ticket, last_order FROM sequences", ()),
                ("SELECT client, account, " + ", ".join(("net_profit",) + tuple(
                    LEDGERS.values())) + " FROM accounts", ())])
            self.tables = positions, history, orders, audit, sequences[0], accounts
        return self.tables

    def check_a(self):
        positions, history, orders, audit, sequences, _ = self.read_store()
        open_at = {p[2]: p for p in positions}
        closed = {}
        for h in history:
            closed.setdefault(h[2], []).append(h)
        order_ids = {o[2] for o in orders}
        audited = {}
        for client, _, row in audit:
            fields = row.split("R,@")
            if len(fields) > 5:
                audited.setdefault((client, int(fields[3])), []).append(fields)
        problems = []
        for user, number, text in self.acks:
            client = self.clients[user]
            what = "%s order %d (%s)" % (user, number, text)
            rows = audited.get((client, number), [])
            if not any(f[4] == "0" and f[-1].endswith(text.split(" at ")[0]) for f in rows):
                problems.append(what + ": no audit row of it")
            m = re.match(r"opened ticket (\d+) at (\S+)", text)
            if m:
                ticket, price = int(m.group(1)), float(m.group(2))
                prices = [open_at[ticket][6]] if ticket in open_at else []
                prices += [h[6] for h in closed.get(ticket, [])]
                if not prices:
                    problems.append(what + ": ticket neither open nor in history")
                elif any(abs(p - price) > 1e-9 for p in prices):
                    problems.append(what + ": stored open price %s" % prices)
                if ticket > sequences[0]:
                    problems.append(what + ": ticket beyond the sequence %d" % sequences[0])
                continue
            m = re.match(r"closed (?:(\S+) lots of )?tickets? (\d+)(?: and (\d+))?", text)
            if m:
                for t in filter(None, (m.group(2), m.group(3))):
                    ticket = int(t)
                    if not closed.get(ticket):
                        problems.append(what + ": ticket %d has no history" % ticket)
                    if m.group(1) is None and ticket in open_at:
                        problems.append(what + ": ticket %d still open" % ticket)
                continue
            m = re.match(r"(placed|changed|deleted) (entry|stop-loss and take-profit) order "
                         r"(\d+)", text)
            if m:
                order = int(m.group(3))
                if order > sequences[1]:
                    problems.append(what + ": order beyond the sequence %d" % sequences[1])
                if m.group(1) == "deleted" and order in order_ids:
                    problems.append(what + ": the deleted order is still there")
                continue
            problems.append(what + ": an answer this campaign does not know")
        return problems, "%d acknowledged orders in the store" % len(self.acks)

    @staticmethod
    def history_profits(history):
        profits = {}
        for h in history:
            profits[h[1]] = profits.get(h[1], 0) + cents(h[8])
        return profits

    def check_b(self):
        positions, history, orders, audit, sequences, accounts = self.read_store()
        problems = []
        open_keys = {(p[1], p[2]) for p in positions}
        history_tickets = {h[2] for h in history}
        for _, _, row in audit:
            fields = row.split("R,@")
            m = re.match(r"closed ticket (\d+)$", fields[-1]) if fields[4:5] == ["0"] else None
            if m and (int(fields[1]), int(m.group(1))) in open_keys:
                problems.append("ticket %s closed (audit) but still open" % m.group(1))
            if m and int(m.group(1)) not in history_tickets:
                problems.append("ticket %s closed (audit) but not in history" % m.group(1))
            m = re.match(r"opened ticket (\d+)$", fields[-1]) if fields[4:5] == ["0"] else None
            if m and (int(fields[1]), int(m.group(1))) not in open_keys and \
                    int(m.group(1)) not in history_tickets:
                problems.append("ticket %s opened (audit) but neither open nor in history"
                                % m.group(1))
        for o in orders:
            if o[3] == GUARD_KIND and (o[1], o[4]) not in open_keys:
                problems.append("order %d guards position %d, which is not open" % (o[2], o[4]))
        profits = self.history_profits(history)
        for a in accounts:
            account, net = a[1], a[2]
            if account not in self.seed_totals:
                continue
            moved = cents(net) - cents(self.seed_totals[account])
            booked = profits.get(account, 0) - self.seed_profits.get(account, 0)
            if moved != booked:
                problems.append("account %d: net profit moved %.2f, its history says %.2f" % (
                    account, moved / 100, booked / 100))
        tickets = [p[2] for p in positions] + [h[2] for h in history]
        if tickets and max(tickets) > sequences[0]:
            problems.append("ticket %d beyond the sequence %d" % (max(tickets), sequences[0]))
        ids = [o[2] for o in orders]
        if ids and max(ids) > sequences[1]:
            problems.append("order %d beyond the sequence %d" % (max(ids), sequences[1]))
        return problems, "%d positions, %d history rows, %d orders, %d accounts consistent" % (
            len(positions), len(history), len(orders), len(accounts))

    def check_c(self):
        positions, history, orders, audit, _, _ = self.read_store()
        problems = []
        seen = {}
        for p in positions:
            if p[2] in seen:
                problems.append("ticket %d open twice" % p[2])
            seen[p[2]] = (p[0], p[1], p[3], p[5], p[6])
        for h in history:
            identity = (h[0], h[1], h[3], h[5], h[6])
            if seen.setdefault(h[2], identity) != identity:
                problems.append("ticket %d stands for two positions: %s and %s" % (
                    h[2], seen[h[2]], identity))
        ids = [o[2] for o in orders]
        if len(ids) != len(set(ids)):
            problems.append("an order id is used twice")
        numbers = {}
        for client, _, row in audit:
            fields = row.split("R,@")
            if len(fields) > 5 and fields[4] == "0":
                key = (client, int(fields[3]))
                numbers[key] = numbers.get(key, 0) + 1
        for (client, number), count in numbers.items():
            if count > 1:
                problems.append("client %d order number %d executed %d times" % (
                    client, number, count))
        notes = {}
        for p in positions:
            if p[7].startswith("order number "):
                notes.setdefault((p[0], p[7]), []).append(p[2])
        for (client, note), tickets in notes.items():
            if len(tickets) > 1:
                problems.append("client %d: %s opened tickets %s" % (client, note, tickets))
        return problems, "%d tickets, %d order numbers, each once" % (len(seen), len(numbers))

    def check_d(self, port):
        terminals = [self.start_terminal(user, port, "verify%d" % i, ["--seconds", "20"])
                     for i, user in enumerate(self.users)]
        problems = []
        compared = 0
        deadline = time.monotonic() + TERMINAL_TIMEOUT
        for (p, log), user in zip(terminals, self.users):
            try:
                p.wait(timeout=max(0.1, deadline - time.monotonic()))
            except subprocess.TimeoutExpired:
                self.processes.end(p)
                problems.append("%s: no comparison within %d s" % (user[0], TERMINAL_TIMEOUT))
                continue
            with open(log, errors="replace") as f:
                text = f.read()
            if "logged on:" not in text:
                problems.append("%s did not log on again: %s" % (user[0], tail(log)))
            m = re.search(r"compared (\d+) account\(s\) with the server: all equal", text)
            if p.returncode != 0 or not m:
                different = [l for l in text.splitlines() if "DIFFERENT" in l]
                problems.append("%s exited %d: %s" % (user[0], p.returncode,
                                                      "; ".join(different) or tail(log)))
            else:
                compared += int(m.group(1))
        return problems, "%d terminals logged on again, %d accounts equal to the cent" % (
            len(self.users), compared)

    def check_e(self):
        if not self.store.has_table("entries"):
            raise Failure("store has no entries table")
        entries, accounts = self.store.many([
            ("SELECT account, ledger, SUM(amount) FROM entries GROUP BY account, ledger", ()),
            ("SELECT account, " + ", ".join(LEDGERS.values()) + " FROM accounts", ())])
        sums = {}
        for account, ledger, amount in entries:
            if ledger not in LEDGERS:
                raise Failure("account %d: entries of an unknown ledger %s" % (account, ledger))
            sums[(account, LEDGERS[ledger])] = cents(amount or 0)
        problems = []
        for a in accounts:
            account = a[0]
            stored = dict(zip(LEDGERS.values(), (cents(v) for v in a[1:])))
            for total, value in stored.items():
                summed = sums.get((account, total), 0)
                if summed != value:
                    problems.append("account %d: %s %.2f, its entries sum to %.2f" % (
                        account, total, value / 100, summed / 100))
            balance = sum(stored[t] for t in BALANCE_PARTS)
            from_rows = sum(sums.get((account, t), 0) for t in BALANCE_PARTS)
            if balance != from_rows:
                problems.append("account %d: balance %.2f, from its entries %.2f" % (
                    account, balance / 100, from_rows / 100))
        return problems, "%d accounts' ledgers equal their entries" % len(accounts)

    # -- the whole run on this store --

    def run(self, kills, checks):
        self.seed()
        print("%s: store seeded from %s" % (self.store.kind, BOOK))
        self.verify_life(0, checks)
        for cycle in range(1, kills + 1):
            said = self.trade_life(cycle)
            print("%s: kill %d: %s" % (self.store.kind, cycle, said))
            self.verify_life(cycle, checks)


def tail(path, lines=3):
    try:
        with open(path, errors="replace") as f:
            return " | ".join(l.strip() for l in f.readlines()[-lines:])
    except OSError:
        return "(no log)"


class Results:
    def __init__(self):
        self.run = 0
        self.failed = []

    def record(self, store, cycle, check, problems, said):
        self.run += 1
        if problems:
            self.failed.append((store, cycle, check))
            print("  %s restart %d (%s) FAIL: %s" % (store, cycle, check, problems[0]))
            for p in problems[1:6]:
                print("      also: %s" % p)
            if len(problems) > 6:
                print("      and %d more" % (len(problems) - 6))
        else:
            print("  %s restart %d (%s) pass: %s" % (store, cycle, check, said))

    def fail(self, store, cycle, check, what):
        self.record(store, cycle, check, [what], "")


def book_users(rng):
    """Users of the clients with the largest deposits in the book: they keep
    margin to trade through many lives."""
    users, deposits = [], {}
    with open(BOOK) as f:
        for line in f:
            fields = line.split()
            if len(fields) >= 4 and fields[0] == "USER" and fields[1].startswith("client"):
                users.append((fields[1], fields[2], int(fields[3])))
            elif len(fields) >= 7 and fields[0] == "ACCOUNT":
                deposits[int(fields[1])] = deposits.get(int(fields[1]), 0) + float(fields[6])
    users.sort(key=lambda u: -deposits.get(u[2], 0))
    return rng.sample(users[:12], TERMINALS)


def stopped(*_):
    """SIGTERM ends the campaign as Ctrl-C does: through the clean-up."""
    raise KeyboardInterrupt()


def make_certificate(scratch):
    run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
         "-nodes", "-subj", "/CN=localhost", "-addext",
         "subjectAltName=DNS:localhost,IP:127.0.0.1", "-keyout",
         os.path.join(scratch, "server.key"), "-out", os.path.join(scratch, "server.pem"),
         "-days", "2"], timeout=30)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", required=True, help="build directory with the binaries")
    parser.add_argument("--store", choices=("sqlite", "postgresql", "both"), default="both")
    parser.add_argument("--kills", type=int, default=50, help="kills per store")
    parser.add_argument("--short", action="store_true", help="a few kills per store")
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--checks", default="abcde", help="checks to run, e.g. abcd")
    parser.add_argument("--keep", action="store_true", help="keep the scratch folders")
    args = parser.parse_args()
    if not args.checks or set(args.checks) - set("abcde"):
        parser.error("--checks takes letters from abcde")
    kills = 3 if args.short else args.kills
    if kills < 1:
        parser.error("--kills must be at least 1")
    seed = args.seed if args.seed is not None else random.SystemRandom().randrange(1 << 31)
    print("crash campaign: seed %d, %d kills per store, checks %s (run again with --seed %d)"
          % (seed, kills, args.checks, seed))
    rng = random.Random(seed)
    started = time.monotonic()
    signal.signal(signal.SIGTERM, stopped)
    scratch = tempfile.mkdtemp(prefix="orvane-crash-")
    processes = Processes()
    results = Results()
    stores = []
    try:
        make_certificate(scratch)
        users = book_users(rng)
        print("terminals: %s" % ", ".join(u[0] for u in users))
        for kind in ("sqlite", "postgresql"):
            if args.store not in (kind, "both"):
                continue
            store = SqliteStore(scratch) if kind == "sqlite" else PostgresStore(scratch)
            stores.append(store)
            campaign = Campaign(args, store, scratch, random.Random(rng.random()), processes,
                                users, results)
            if args.short:
                campaign.verify_quotes = 50
            campaign.run(kills, args.checks)
    except Failure as e:
        results.fail("campaign", 0, "run", str(e))
    except KeyboardInterrupt:
        results.fail("campaign", 0, "run", "interrupted")
    finally:
        signal.signal(signal.SIGINT, signal.SIG_IGN)
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
        processes.end_all()
        for store in stores:
            store.stop()
        if args.keep:
            print("scratch kept in %s" % scratch)
        else:
            shutil.rmtree(scratch, ignore_errors=True)
    print("summary: seed %d, %d checks run, %d failed, %.1f s" % (
        seed, results.run, len(results.failed), time.monotonic() - started))
    for store, cycle, check in results.failed[:20]:
        print("  failed: %s restart %d check %s" % (store, cycle, check))
    return 1 if results.failed else 0


if __name__ == "__main__":
    sys.exit(main())
