"""The attack replay (scripts/attack.py) speaks the wire as the library
builds it, cuts a stream anywhere into the same messages, reads metric
pages, and leaves nothing of a server it started behind."""

import pathlib
import sys
import types

import pytest

import orvane

ROOT = pathlib.Path(__file__).resolve().parents[2]


sys.path.insert(0, str(ROOT / "scripts"))
import attack  # noqa: E402  (the script, imported from scripts/)


def test_every_token_code_is_the_librarys():
    protocol = orvane.CDataProtocol()
    for name in attack.TOKEN_CODES:
        token = getattr(orvane, name + "_TOKEN")
        assert attack.response(name).decode("latin-1") == protocol.Response(token, []), name


def test_requests_and_responses_are_built_as_the_library_builds_them():
    sender = orvane.CProcess()
    sender.DefineRequestByToken(-1, 0, orvane.LOGIN_TOKEN, ["alice", "secret", ""])
    built = attack.request("LOGIN", -1, ["alice", "secret", ""]).decode("latin-1")
    assert built == sender.ProcessText()
    refusal = ["-500", "Invalid session ID", "132"]
    assert attack.response("ERROR", refusal).decode("latin-1") == \
        orvane.CDataProtocol().Response(orvane.ERROR_TOKEN, refusal)


def test_a_stream_cut_anywhere_gives_the_same_messages():
    stream = (attack.response("LOGIN", ["7", "10", "0", ""])
              + attack.request("GET_PRIVS", "1.4") + b"no token" + b"+3!")
    expected = [("LOGIN", None, ["7", "10", "0", ""]), ("GET_PRIVS", "1.4", []),
                (None, None, [])]
    for cut in range(len(stream) + 1):
        splitter = attack.Splitter()
        messages = splitter.feed(stream[:cut]) + splitter.feed(stream[cut:])
        assert [(m.token, m.sid, m.params) for m in messages] == expected, cut


def test_a_metric_is_the_sum_of_its_series():
    page = ("# HELP orvane_logons_total Log-ons.\n"
            "# TYPE orvane_logons_total counter\n"
            "orvane_logons_total 3\n"
            "orvane_logons_total_created 1700000000\n"
            'orvane_logon_refusals_total{reason="password"} 2\n'
            'orvane_logon_refusals_total{reason="locked out"} 1 1700000000123\n')
    assert attack.metric(page, "orvane_logons_total") == 3
    assert attack.metric(page, "orvane_logon_refusals_total") == 3
    assert attack.metric(page, "orvane_slow_reader_cuts_total") == 0


def test_the_delay_schedule_doubles_up_to_its_most():
    assert [attack.delay_schedule_ms(k, 250, 4000) for k in range(1, 7)] == \
        [250, 500, 1000, 2000, 4000, 4000]


@pytest.fixture
def run(tmp_path):
    return types.SimpleNamespace(scratch=str(tmp_path), book=str(tmp_path / "book"),
                                 server_binary=None)


def fake_server(tmp_path, body):
    path = tmp_path / "fake-server"
    path.write_text("#!/bin/sh\n" + body)
    path.chmod(0o755)
    return str(path)


@pytest.mark.parametrize("said, code, error", [
    ("orvane-server: unknown argument --max-connections", 64, attack.Unsupported),
    ("orvane-server: conf:3: unknown key 'lockout-failures'", 64, attack.Unsupported),
    ("orvane-server: --rate takes a number", 64, RuntimeError),
    ("orvane-server: cannot read the book", 2, RuntimeError),
])
def test_a_server_that_does_not_start_says_why(tmp_path, run, said, code, error):
    run.server_binary = fake_server(tmp_path, "echo \"%s\" >&2\nexit %d\n" % (said, code))
    with pytest.raises(error, match="lacks" if error is attack.Unsupported else "exit %d" % code):
        attack.Server(run, "row", ["--rate", "1"])


def running(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except FileNotFoundError:
        return False


def test_stopping_a_server_kills_what_it_left_behind(tmp_path, run):
    # The fake ends on SIGTERM and leaves a child of its own running.
    run.server_binary = fake_server(tmp_path, """
while [ $# -gt 0 ]; do [ "$1" = --port-file ] && port_file=$2; shift; done
sleep 60 &
echo $! > "$port_file.child"
echo 4242 > "$port_file"
wait
""")
    server = attack.Server(run, "row", [])
    assert server.port == 4242
    child = int(pathlib.Path(server.port_file + ".child").read_text())
    assert running(child)
    server.stop()
    assert attack.wait_until(lambda: not running(child), 5)
