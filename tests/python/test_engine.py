"""The account engine driven from Python: figures, events and their answers,
handler errors and lifetimes."""

import gc

import pytest

import orvane


class Recorder:
    """Writes down every figure report and order hit; answers hits with
    `done`."""

    def __init__(self, done=None):
        self.done = done
        self.figures = []
        self.hits = []

    def UpdateListView(self, *figures):
        self.figures.append(figures)

    def RaiseHitOrder(self, OrderType, Order, AccInfo, SecondHit, Done, SLorTP):
        self.hits.append((OrderType, Order.OrderId, AccInfo.AccountID, SecondHit, Done, SLorTP,
                          Order.hitPrice))
        return self.done(Order) if self.done else None


def test_figures_reach_the_handler_and_the_summaries_as_floats(book):
    events = Recorder()
    book.engine.Advise(events)
    book.quote(4, 0.8990, 0.8991)
    assert events.figures == [(10, 100, 10000.0, 86.01, 0.0, 10086.01, -1000.0, 10.08601,
                               9000.0, 2)]
    figures = book.engine.Account(10, 100).SummeryInfo
    assert (figures.Balance, figures.Equity, figures.EffectiveMargin) == (10000, 10086.01, 9000)
    assert isinstance(figures.Equity, float)


def test_rows_load_through_the_bindings_and_deal_profit_prices_as_the_position(book):
    row = ("10R,@100R,@3R,@03/03/2027 09:00:00R,@SellR,@1R,@4R,@0.9100R,@R,@R,@0R,@1R,@"
           "EURGBPR,@0R,@R,@py")
    position = book.engine.DefineOpenPosRow(10, 100, 3, row)
    assert (position.Ticket, position.Type_no, position.Note) == (3, orvane.SellType, "py")
    order = book.engine.DefineOrder(10, 100, "7R,@tR,@1R,@1R,@4R,@0R,@SLR,@3R,@0.9500R,@0R,@0R,@")
    assert (order.IoID, order.slPrice, order.OrderType) == (3, 0.95, orvane.SlTpType)
    param = position.SymbolParam
    profit = param.Symbol.DealProfit(
        position.Price, param.ClosePriceWithSpread(position.Type_no), position.lots,
        position.Type_no, position.Interest, param.CommissionValue(position.lots),
        orvane.ON_CLOSE_TYPE, position.RefClosePrice(), True)
    assert round(profit, 2) == position.FloatingProfitLoss(orvane.ON_CLOSE_TYPE) != 0


def test_stop_loss_hit_reaches_the_handler_and_its_answer_is_read(book):
    # Two orders protecting the EURUSD buy (ticket 1): stop-loss 1.1900 with
    # take-profit 1.1800, and a take-profit alone.
    book.engine.AddNewOrder(10, 100, 21, orvane.SlTpType, orvane.SellType, 1, 1, 2, 0, 1.19,
                            1.18)
    book.engine.AddNewOrder(10, 100, 22, orvane.SlTpType, orvane.SellType, 1, 1, 2, 0, 0, 1.10)
    events = Recorder(done=lambda order: order.OrderId == 21)
    book.engine.Advise(events)
    book.quote(2, 1.1850, 1.1851)
    # Done answered for 21 marks the next hit of the pass as a second one.
    assert events.hits == [(orvane.SlTpType, 21, 100, False, False, 1, 1.185),
                           (orvane.SlTpType, 22, 100, True, False, 2, 1.185)]
    book.engine.Unadvise(events)
    book.quote(2, 1.1840, 1.1841)
    assert len(events.hits) == 2


def test_a_handler_error_reaches_the_caller_after_the_operation(book):
    class Failing:
        calls = 0

        def UpdateListView(self, *figures):
            Failing.calls += 1
            raise ValueError("handler failed")

    book.engine.Advise(Failing())
    book.client(20)
    book.engine.AddNewAccount(20, 200, TotDep=500)
    book.engine.AddNewOpenPosition(20, 200, 9, 2, 1, 1.2, orvane.SellType, Loading=True)
    with pytest.raises(ValueError, match="handler failed"):
        book.quote(2, 1.2010, 1.2011)
    # Python was called once; the engine finished the quote for both holders
    # (client ask = bid + 2 pips; commission 5 on close; the cross at 0.9003
    # costs 39.01).
    assert Failing.calls == 1
    assert book.engine.Account(10, 100).SummeryInfo.FloatingProfitLoss == 100 - 5 - 39.01
    assert book.engine.Account(20, 200).SummeryInfo.FloatingProfitLoss == -120 - 5


def test_a_handler_may_leave_and_call_back_during_an_event(book):
    class Leaving:
        def __init__(self):
            self.seen = []

        def UpdateListView(self, cl_no, acc_no, *figures):
            self.seen.append(acc_no)
            book.engine.Unadvise(self)
            book.engine.RefreshListView()  # back into the engine, without us

    leaving = Leaving()
    book.engine.Advise(leaving)
    book.quote(2, 1.2010, 1.2011)
    gc.collect()
    book.quote(2, 1.2020, 1.2021)
    assert leaving.seen == [100]


def test_bad_arguments_raise_python_exceptions(book):
    with pytest.raises(TypeError):
        book.engine.DealWithChangedSymbolPrices(None)
    with pytest.raises(TypeError):
        book.engine.Advise(object())  # no method for any event
    with pytest.raises(TypeError):
        book.engine.AddNewOpenPosition(10, 100, [], 2, 1, 1.2, orvane.BuyType)
    with pytest.raises(TypeError):
        book.engine.CalculateInterest(2, 70000, 1.0, 1.0, 365)  # not a 16-bit number
    with pytest.raises(orvane.Error) as error:
        book.engine.ClientOneParameterChanged(10, 2, 104, "fifty")  # liquidation point
    assert error.value.code == orvane.ErrorCode.TypeMismatch
    assert book.engine.Clients.Item("10").LiquidationPoint == 50
    with pytest.raises(orvane.Error) as error:
        book.symbols.Item("2").PipLocation = "two"
    assert error.value.code == orvane.ErrorCode.TypeMismatch
    with pytest.raises(ValueError):
        orvane.DateTime(float("nan"))
    # Lookups of what is absent give None.
    assert book.engine.Account(10, 999) is None
    assert book.symbols.Item("77") is None
