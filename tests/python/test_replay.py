"""A risk replay hosted in Python gives the same account figures as the C++
replay tool on the same book and tape."""

import subprocess

import orvane

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


class Host:
    """The replay tool's host for books without entry orders, alerts or
    liquidation: a stop-loss or take-profit closes its position at the hit
    price after the tick, the profit goes to the account's net profit and
    the margin requirement shrinks by the symbol's margin per lot."""

    def __init__(self, book, first_tick):
        self.engine = orvane.CAccountsTransactions()
        self.symbols = orvane.CSymbols()
        self.engine.InitializeNeededData(self.symbols, orvane.SERVER_SIDE_EXECUTION)
        self.engine.Advise(self)
        self.margin_per_lot = {}
        self.figures = {}
        self.hits = {}
        self.pending = []
        self.load(book, first_tick)

    def load(self, book, first_tick):
        paramsets = {}
        for line in book.splitlines():
            kind, *f = line.split(" ")
            if kind == "SYMBOL":
                bid, ask = float(f[8]), float(f[9])
                self.engine.NewSymbol(
                    0, int(f[6]), int(f[4]), float(f[3]), first_tick, bid, ask, bid, ask, True,
                    True, int(f[5]), int(f[2]), orvane.symbol_type, f[1], int(f[0]), f[12],
                    f[13], f[10], f[11], None, None, None, None, None, None, False, "", False,
                    "1", "1", False, False, "0", "0", "", False, "60", orvane.FromBidSpread, "",
                    bid, bid)
                self.margin_per_lot[int(f[0])] = float(f[7])
            elif kind == "PARAMSET":  # after every symbol
                self.symbols.SetSymbolsRefSymbols()
                paramsets[f[0]] = f[1]
            elif kind == "CLIENT":
                name = " ".join(f[6:])
                client = self.engine.AddNewClient(
                    int(f[0]), paramsets[f[1]], None, orvane.CLIENT_TYPE, f[5] == "1", int(f[2]),
                    float(f[3]), name, "", "", "", name, 2, int(f[4]))
                client.ParamsLoaded = True
            elif kind == "ACCOUNT":
                (client, account, type_, margin_account, previous, deposit, commission,
                 margin, net, credit, interest, dont) = f
                self.hits[int(account)] = 0
                self.engine.AddNewAccount(
                    int(client), int(account), int(type_), int(type_) == 0, float(commission),
                    float(margin), float(net), float(deposit), float(credit), float(previous),
                    int(dont), float(interest), False, margin_account == "1", True)
            elif kind == "POSITION":
                row = " ".join(f[2:])
                ticket = int(row.split("R,@")[2])
                assert self.engine.DefineOpenPosRow(int(f[0]), int(f[1]), ticket, row)
            elif kind == "ORDER":
                assert self.engine.DefineOrder(int(f[0]), int(f[1]), " ".join(f[2:]))
        self.engine.RefreshListView()

    def run(self, ticks, clock):
        for time, symbol_id, bid, ask in ticks:
            date, hms = time.split(" ")
            d, mo, y = map(int, date.split("/"))
            h, mi, s = map(int, hms.split(":"))
            clock.Set(orvane.DateTime.FromParts(y, mo, d, h, mi, s))
            symbol = self.symbols.Item(str(symbol_id))
            symbol.Bid, symbol.Ask, symbol.LastQuteTime = bid, ask, time
            self.engine.DealWithChangedSymbolPrices(symbol)
            while self.pending:
                self.close(*self.pending.pop(0))

    # Engine events.
    def NewAccountSummeriesData(self, cl_no, acc_no, Balance, flt, Credit, Equity, *rest):
        self.figures[acc_no] = (Balance, Equity, rest[-1])

    UpdateListView = NewAccountSummeriesData

    def RaiseHitOrder(self, OrderType, Order, AccInfo, SecondHit, Done, SLorTP):
        Order.status = 1
        self.pending.append((AccInfo.ClientID, AccInfo.AccountID, Order.OrderId,
                             Order.hitPrice))
        return True

    def close(self, client_id, account_id, order_id, price):
        account = self.engine.Account(client_id, account_id)
        order = account.Orders.Item(str(order_id))
        position = account.OpenPositions.Item(str(order.IoID))
        self.hits[account_id] += 1
        param = position.SymbolParam
        symbol = param.Symbol
        lots = position.lots
        profit = round(symbol.DealProfit(
            position.Price, price, lots, position.Type_no, position.Interest,
            param.CommissionValue(lots), account.Client.CommCalcType,
            position.RefClosePrice(), True), 2)
        s = account.SummeryInfo
        s.NetProfit += profit
        s.MarginRequirement += self.margin_per_lot[symbol.ID] * lots
        if abs(s.MarginRequirement) < 0.005:
            s.MarginRequirement = 0
        self.engine.DeleteOpenPosition(client_id, account_id, position.Ticket)
        self.engine.UpdateAccountSummaries(
            client_id, account_id, s.TotalCommission, s.MarginRequirement, s.NetProfit,
            s.TotalDeposit, s.Credit, s.PreviousMargin, False, s.TotalInterest)


def replay_table(tool, tmp_path, ticks):
    """client, account, balance, equity, open positions and hits of every
    account as the C++ tool reports them."""
    book = tmp_path / "book.txt"
    book.write_text(BOOK)
    tape_file = tmp_path / "tape.txt"
    tape_file.write_text("".join("%s %d %.4f %.4f\n" % tick for tick in ticks))
    out = subprocess.run([str(tool), "--book", str(book), "--tape", str(tape_file), "--quiet",
                          "--log", str(tmp_path / "log.txt"), "--html", str(tmp_path / "report.html")],
                         check=True, capture_output=True, text=True).stdout
    lines = out.split("\n")
    header = next(i for i, line in enumerate(lines) if line.split()[:2] == ["client", "account"])
    rows = {}
    for line in lines[header + 1:]:
        cells = line.split()
        if len(cells) != 8:
            break
        rows[int(cells[1])] = (cells[2], cells[3], int(cells[5]), int(cells[6]))
    return rows


def test_a_python_hosted_replay_matches_the_cpp_tool(clock, replay_tool, tmp_path):
    ticks = [(t, s, round(b, 4), round(a, 4)) for t, s, b, a in tape()]
    expected = replay_table(replay_tool, tmp_path, ticks)
    host = Host(BOOK, ticks[0][0])
    host.run(ticks, clock)
    got = {account: ("%.2f" % balance, "%.2f" % equity, open_positions, host.hits[account])
           for account, (balance, equity, open_positions) in host.figures.items()}
    assert got == expected
    # Every protective order fired and closed its position.
    assert sum(hits for *_, hits in expected.values()) == 3
    host.engine.Unadvise(host)
    host.engine.Deallocate()
    host.symbols.Deallocate()
