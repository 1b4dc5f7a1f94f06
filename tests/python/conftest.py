"""Shared fixtures of the Python module tests: a pinned process clock and a
small book in a server-side engine (the unit symbol USD 1, EURUSD 2, GBPUSD 3
and EURGBP 4 whose profit converts through GBPUSD)."""

import pathlib

import pytest

import orvane

# Spread 2 pips on EURUSD and GBPUSD, 3 on EURGBP, laid on the ask;
# commission 5 per lot on EURUSD.
PARAMS = ("1,0,0,0,0,0,100,0.01,0,"
          "2,2,0,0,0,5,100,0.01,0,"
          "3,2,0,0,0,0,100,0.01,0,"
          "4,3,0,0,0,0,100,0.01,0")


@pytest.fixture
def clock():
    """Wednesday 3 March 2027 12:00, a trading day, for the test's scope."""
    fixed = orvane.FixedClock(orvane.DateTime.FromParts(2027, 3, 3, 12, 0, 0))
    orvane.SetClock(fixed)
    yield fixed
    orvane.SetClock(None)


class Book:
    def __init__(self):
        self.engine = orvane.CAccountsTransactions()
        self.symbols = orvane.CSymbols()
        self.engine.InitializeNeededData(self.symbols, orvane.SERVER_SIDE_EXECUTION)
        for args in ((1, "USD", 1, 1, 1.0, 1.0), (2, "EURUSD", 100000, 1, 1.2000, 1.2001),
                     (3, "GBPUSD", 100000, 1, 1.3000, 1.3001),
                     (4, "EURGBP", 100000, 3, 0.9000, 0.9001)):
            assert self.add_symbol(*args) is not None
        self.symbols.SetSymbolsRefSymbols()

    def add_symbol(self, id, name, factor, ref, bid, ask):
        return self.engine.NewSymbol(
            Factor=factor, LastQuteTime="03/03/2027 12:00:00", Low=bid, High=ask, Bid=bid,
            Ask=ask, RefID=ref, PipLocation=-4, Name=name, ID=id, OpenDay="SUNDAY",
            OpenTime="22:00", CloseDay="FRIDAY", CloseTime="22:00", DayOpen=bid, DayClose=bid)

    def client(self, id, liquidation=orvane.MARGIN_LEVEL_LIQUIDATION, point=50):
        client = self.engine.AddNewClient(id, PARAMS, None, orvane.CLIENT_TYPE, False,
                                          liquidation, point, "C%d" % id)
        client.ParamsLoaded = True
        return client

    def quote(self, id, bid, ask, time="03/03/2027 12:00:05"):
        symbol = self.symbols.Item(str(id))
        symbol.Bid = bid
        symbol.Ask = ask
        symbol.LastQuteTime = time
        self.engine.DealWithChangedSymbolPrices(symbol)


@pytest.fixture
def book(clock):
    """Client 10 with account 100: 10,000 deposited, 1,000 margin, a buy of 1
    lot EURUSD at 1.2000 (ticket 1) and a sell of 1 lot EURGBP at 0.9000
    (ticket 2)."""
    book = Book()
    book.client(10)
    book.account = book.engine.AddNewAccount(10, 100, TotDep=10000, MarginReq=-1000)
    for ticket, symbol, price, side in ((1, 2, 1.2000, orvane.BuyType),
                                        (2, 4, 0.9000, orvane.SellType)):
        assert book.engine.AddNewOpenPosition(10, 100, ticket, symbol, 1, price, side,
                                              Loading=True) is not None
    yield book
    book.engine.Deallocate()
    book.symbols.Deallocate()


@pytest.fixture
def replay_tool():
    """The C++ replay tool of the same build as the module."""
    tool = pathlib.Path(orvane.__file__).resolve().parent.parent / "apps" / "orvane-replay"
    if not tool.exists():
        pytest.skip("orvane-replay is not built next to the module")
    return tool
