"""The C++ replay tool of the same build as the module, run on a small book
and tape as a host would run it."""

import subprocess

BOOK = """\
SYMBOL 1 USD -4 1 1 1 1 0 1.0000 1.0001 FRIDAY 22:00 SUNDAY 22:00
SYMBOL 2 EURUSD -4 100000 1 1 1 1100 1.0849 1.0851 FRIDAY 22:00 SUNDAY 22:00
SYMBOL 3 GBPUSD -4 100000 1 1 1 1270 1.2649 1.2651 FRIDAY 22:00 SUNDAY 22:00
SYMBOL 4 EURGBP -4 100000 1 3 1 1200 0.8570 0.8572 FRIDAY 22:00 SUNDAY 22:00
PARAMSET std 1,0,0,0,0,0,100,0.01,0,2,2,0,0,0,5,100,0.01,0,3,2,0,0,0,0,100,0.01,0,4,3,0,0,0,0,100,0.01,0
CLIENT 1 std 0 0 2 0 Alice
CLIENT 2 std 0 0 2 0 Bob
ACCOUNT 1 11 1 0 0 10000 0 -2200 0 0 0 0
ACCOUNT 2 21 1 0 0 5000 0 -2470 0 0 0 0
POSITION 1 11 1R,@11R,@1R,@04/03/2027 09:30:00R,@BuyR,@2R,@2R,@1.0850R,@R,@R,@0R,@2R,@EURUSDR,@0R,@R,@book
POSITION 2 21 2R,@21R,@2R,@04/03/2027 09:30:00R,@SellR,@1R,@4R,@0.8571R,@R,@R,@0R,@1R,@EURGBPR,@0R,@R,@book
POSITION 2 21 2R,@21R,@3R,@04/03/2027 09:30:00R,@BuyR,@1R,@3R,@1.2650R,@R,@R,@0R,@1R,@GBPUSDR,@0R,@R,@book
ORDER 1 11 501R,@04/03/2027 10:00:00R,@-1R,@2R,@2R,@0R,@SLR,@1R,@1.0830R,@1.0900R,@0R,@book
ORDER 2 21 502R,@04/03/2027 10:00:00R,@1R,@1R,@4R,@0R,@SLR,@2R,@0.8600R,@0.8540R,@0R,@book
ORDER 2 21 503R,@04/03/2027 10:00:00R,@-1R,@1R,@3R,@0R,@SLR,@3R,@1.2600R,@1.2680R,@0R,@book
"""


def tape():
    """Wednesday 4 March 2027 from 11:00: EURUSD falls through the stop-loss,
    GBPUSD rises through the take-profit, EURGBP rises through the stop-loss
    of the sell."""
    ticks = []
    for i in range(12):
        time = "04/03/2027 11:%02d:%02d" % (i // 6, i % 6 * 10)
        ticks.append((time, 2, 1.0849 - 0.0003 * i, 1.0851 - 0.0003 * i))
        ticks.append((time, 3, 1.2649 + 0.0004 * i, 1.2651 + 0.0004 * i))
        ticks.append((time, 4, 0.8570 + 0.0003 * i, 0.8572 + 0.0003 * i))
    return ticks


def test_the_replay_tool_stops_out_every_protected_position(replay_tool, tmp_path):
    book = tmp_path / "book.txt"
    book.write_text(BOOK)
    tape_file = tmp_path / "tape.txt"
    tape_file.write_text("".join("%s %d %.4f %.4f\n" % tick for tick in tape()))
    log, html = tmp_path / "log.txt", tmp_path / "report.html"
    out = subprocess.run([str(replay_tool), "--book", str(book), "--tape", str(tape_file),
                          "--quiet", "--log", str(log), "--html", str(html)],
                         check=True, capture_output=True, text=True).stdout
    lines = out.split("\n")
    header = next(i for i, line in enumerate(lines) if line.split()[:2] == ["client", "account"])
    rows = {}
    for line in lines[header + 1:]:
        cells = line.split()
        if len(cells) != 8:
            break
        rows[int(cells[1])] = (int(cells[5]), int(cells[6]))  # open positions, hits
    # Every protective order fired and closed its position.
    assert rows == {11: (0, 1), 21: (0, 2)}
    assert "3 order hits" in out
    assert log.read_text() and html.read_text().startswith("<")


def test_the_replay_tool_refuses_a_missing_argument(replay_tool):
    run = subprocess.run([str(replay_tool), "--book"], capture_output=True, text=True)
    assert run.returncode == 64
    assert "usage: orvane-replay" in run.stderr
