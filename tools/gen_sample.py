#!/usr/bin/env python3
"""Writes the sample book and tick tape of the risk replay tool (orvane-replay).

Usage:
    python3 tools/gen_sample.py [--seed N] [--ticks N] [--accounts N]
                                [--book PATH] [--tape PATH]

Everything is drawn from one seeded random generator (Python's `random`,
standard library only), so one seed always gives byte-identical files. The
defaults (seed 20270304, 120000 ticks, 300 accounts) give the bundled sample:
`data/sample_book.txt` is committed; the tape (a few megabytes) is written at
run time by `apps/run_replay.sh` from the same seed.

The market: 20 symbols quoted in US dollars (the unit symbol 1), USD-based
pairs whose profit is converted back through their own quote, and cross rates
(EURGBP, EURJPY, GBPJPY, ...) that need a reference symbol to convert profit.
Crosses are priced from the majors on every tick, so the book stays
consistent. The tape runs from Thursday 4 March 2027 12:00 to Monday 8 March
12:00. Every symbol closes for the weekend from Friday 22:00 to Sunday 22:00;
a few indicative quotes still arrive during the closure (nothing may fill or
be liquidated on them), and prices gap at the Sunday open. The index CFD has
a daily break from 21:15 to 22:14.

The book: a few hundred clients with one or two accounts each, positions as
position rows, pending entry orders and stop-loss/take-profit orders as order
rows, and price alerts. The majors, gold, oil and the index have interest
(swap) rates; the crosses have none. Every fourth client (ids 1001, 1005,
...) has interest enabled; the replay books no interest, the reference
server books it at each rollover of market time. Levels are placed inside the range the tape will
travel, so orders fill and alerts fire; one client (900001, account 900001)
holds a large position against the path of its symbol and a small balance,
so that it reaches its liquidation point.

The formats are described in apps/replay/README.md.
"""

import argparse
import datetime
import math
import random

ROW = "R,@"
START = datetime.datetime(2027, 3, 4, 12, 0, 0)
END = datetime.datetime(2027, 3, 8, 12, 0, 0)
WEEKEND_CLOSE = datetime.datetime(2027, 3, 5, 22, 0, 0)
WEEKEND_OPEN = datetime.datetime(2027, 3, 7, 22, 0, 0)

# id, name, pip location, factor, ref id, ref price case, margin per lot,
# start mid, yearly-ish volatility per tick in pips, kind
# kind: "major" walks on its own; "cross" is priced from two majors.
SYMBOLS = [
    (1, "USD", -4, 1, 1, 1, 0, 1.0, 0, "unit"),
    (2, "EURUSD", -4, 100000, 1, 1, 1100, 1.0850, 1.2, "major"),
    (3, "GBPUSD", -4, 100000, 1, 1, 1270, 1.2650, 1.5, "major"),
    (4, "USDJPY", -2, 100000, 4, 0, 1000, 149.50, 1.4, "major"),
    (5, "USDCHF", -4, 100000, 5, 0, 1000, 0.8820, 1.2, "major"),
    (6, "AUDUSD", -4, 100000, 1, 1, 660, 0.6580, 1.1, "major"),
    (7, "USDCAD", -4, 100000, 7, 0, 1000, 1.3540, 1.1, "major"),
    (8, "NZDUSD", -4, 100000, 1, 1, 610, 0.6120, 1.1, "major"),
    (9, "XAUUSD", -2, 100, 1, 1, 2050, 2035.00, 2.5, "major"),
    (10, "XAGUSD", -3, 5000, 1, 1, 1150, 22.850, 2.5, "major"),
    (11, "US30", -1, 10, 1, 1, 3800, 38250.0, 4.0, "major"),
    (12, "OILUSD", -2, 1000, 1, 1, 780, 78.40, 2.0, "major"),
    (13, "EURGBP", -4, 100000, 3, 1, 1100, None, 0, "cross:2/3"),
    (14, "EURJPY", -2, 100000, 4, 0, 1100, None, 0, "cross:2*4"),
    (15, "GBPJPY", -2, 100000, 4, 0, 1270, None, 0, "cross:3*4"),
    (16, "EURCHF", -4, 100000, 5, 0, 1100, None, 0, "cross:2*5"),
    (17, "AUDJPY", -2, 100000, 4, 0, 660, None, 0, "cross:6*4"),
    (18, "EURAUD", -4, 100000, 6, 1, 1100, None, 0, "cross:2/6"),
    (19, "GBPCHF", -4, 100000, 5, 0, 1270, None, 0, "cross:3*5"),
    (20, "CADJPY", -2, 100000, 4, 0, 740, None, 0, "cross:4/7"),
]

# id: (yearly buy rate, yearly sell rate, year days). Rates are used as they
# stand: a day of 1 lot is rate x contract size / year days (EURUSD: a buy
# pays about 7.01, a sell earns about 3.07).
INTEREST = {
    2: (-0.0256, 0.0112, 365),
    3: (-0.0190, 0.0045, 365),
    4: (0.0540, -0.0890, 365),
    5: (0.0320, -0.0610, 365),
    6: (-0.0150, 0.0020, 365),
    7: (0.0080, -0.0240, 365),
    8: (-0.0130, 0.0010, 365),
    9: (-109.5, 54.75, 365),
    11: (-730, -182.5, 360),
    12: (-3.65, -1.825, 365),
}

PARAMSETS = {
    # name: (spread pips for -4/-2 symbols, source plus, commission per lot)
    "std": (2, 0, 0),
    "pro": (1, 0, 3.5),
    "raw": ("", 1, 7.0),
}


def fmt_price(value, pip):
    return f"{value:.{abs(pip)}f}"


def cross_mid(kind, mids):
    a, op, b = kind[6:].partition("*") if "*" in kind else kind[6:].partition("/")
    x, y = mids[int(a)], mids[int(b)]
    return x * y if op == "*" else x / y


class Market:
    def __init__(self, rng):
        self.rng = rng
        self.mids = {s[0]: s[7] for s in SYMBOLS if s[7] is not None}
        for s in SYMBOLS:
            if s[9].startswith("cross"):
                self.mids[s[0]] = cross_mid(s[9], self.mids)
        self.start = dict(self.mids)
        self.low = dict(self.mids)
        self.high = dict(self.mids)

    def step(self, sid, scale=1.0):
        s = SYMBOLS[sid - 1]
        if s[9] == "major":
            pip = 10.0 ** s[2]
            drift = -0.02 if sid == 9 else 0.0  # gold drifts down: the doomed account is long
            self.mids[sid] += (self.rng.gauss(drift, 1.0) * s[8] * scale) * pip
        elif s[9].startswith("cross"):
            self.mids[sid] = cross_mid(s[9], self.mids)
        self.low[sid] = min(self.low[sid], self.mids[sid])
        self.high[sid] = max(self.high[sid], self.mids[sid])

    def quote(self, sid):
        s = SYMBOLS[sid - 1]
        pip = 10.0 ** s[2]
        mid = self.mids[sid]
        half = (1 + self.rng.randint(0, 2)) * pip / 2
        return fmt_price(mid - half, s[2]), fmt_price(mid + half, s[2])


def tick_times(rng, count):
    """Tick moments in trading time, plus a few quotes during the weekend."""
    trading = [(START, WEEKEND_CLOSE), (WEEKEND_OPEN, END)]
    total = sum((b - a).total_seconds() for a, b in trading)
    weekend = max(count // 2000, 10)
    regular = count - weekend
    moments = []
    for a, b in trading:
        share = int(regular * (b - a).total_seconds() / total)
        span = int((b - a).total_seconds())
        moments += [a + datetime.timedelta(seconds=rng.randrange(span)) for _ in range(share)]
    while len(moments) < regular:
        moments.append(END - datetime.timedelta(seconds=1))
    wspan = int((WEEKEND_OPEN - WEEKEND_CLOSE).total_seconds())
    moments += [WEEKEND_CLOSE + datetime.timedelta(seconds=rng.randrange(60, wspan - 60))
                for _ in range(weekend)]
    moments.sort()
    return moments


def write_tape(rng, count, path):
    market = Market(rng)
    weights = [0, 20, 14, 12, 6, 8, 6, 4, 10, 3, 6, 5, 4, 5, 3, 2, 2, 2, 1, 1]
    majors = [s[0] for s in SYMBOLS if s[9] == "major"]
    lines = []
    gapped = False
    for moment in tick_times(rng, count):
        if not gapped and moment >= WEEKEND_OPEN:
            for sid in majors:  # the Sunday open gap
                market.step(sid, scale=25.0)
            gapped = True
        sid = rng.choices(range(1, 21), weights)[0]
        market.step(sid)
        if SYMBOLS[sid - 1][9].startswith("cross"):
            market.step(sid)
        bid, ask = market.quote(sid)
        lines.append(f"{moment:%d/%m/%Y %H:%M:%S} {sid} {bid} {ask}\n")
    if path:
        with open(path, "w", encoding="ascii") as out:
            out.writelines(lines)
    return market


def paramset_text(name):
    spread, source_plus, commission = PARAMSETS[name]
    groups = []
    for s in SYMBOLS:
        sp = spread
        if spread != "" and s[0] in (9, 10, 11, 12):
            sp = spread * 5
        # Limit and stop orders 5 pips from the price at least; 0.1 to 50 lots.
        groups.append(f"{s[0]},{sp},{source_plus},5,5,{commission},50,0.1,0")
    return ",".join(groups)


def symbol_lines(market):
    out = ["# SYMBOL id name pip_location factor price_case ref_id ref_price_case "
           "margin_per_lot bid ask close_day close_time open_day open_time "
           "[break_close break_open]"]
    for s in SYMBOLS:
        sid, name, pip, factor, ref, ref_case, margin = s[:7]
        mid = market.start[sid]
        half = 10.0 ** pip / 2
        extra = " 21:15 22:14" if name == "US30" else ""
        out.append(f"SYMBOL {sid} {name} {pip} {factor} 1 {ref} {ref_case} {margin} "
                   f"{fmt_price(mid - half, pip)} {fmt_price(mid + half, pip)} "
                   f"FRIDAY 22:00 SUNDAY 22:00{extra}")
    return out


def interest_lines():
    out = ["# INTEREST symbol yearly_buy_rate yearly_sell_rate year_days"]
    for sid, (buy, sell, days) in INTEREST.items():
        out.append(f"INTEREST {sid} {buy} {sell} {days}")
    return out


def position_row(client, account, ticket, direction, lots, sid, price, pip):
    name = SYMBOLS[sid - 1][1]
    cells = [client, account, ticket, "04/03/2027 09:30:00",
             "Buy" if direction == 1 else "Sell", lots, sid, fmt_price(price, pip),
             "", "", 0, lots, name, 0, "", "book"]
    return ROW.join(str(c) for c in cells)


def order_row(order_id, direction, lots, sid, price, kind, ticket, sl, tp, pip):
    cells = [order_id, "04/03/2027 10:00:00", direction, lots, sid,
             fmt_price(price, pip) if price else 0, kind, ticket,
             fmt_price(sl, pip) if sl else 0, fmt_price(tp, pip) if tp else 0, 0, "book"]
    return ROW.join(str(c) for c in cells)


def write_book(rng, market, accounts, path):
    out = ["# Orvane replay sample book, written by tools/gen_sample.py (see its header).", ""]
    out += symbol_lines(market)
    out.append("")
    out += interest_lines()
    out.append("")
    out.append("# PARAMSET name nine-field client parameter groups")
    for name in PARAMSETS:
        out.append(f"PARAMSET {name} {paramset_text(name)}")
    out.append("")
    out.append("# CLIENT id paramset liquidation_type liquidation_point comm_calc_type "
               "enable_interest name")
    out.append("# ACCOUNT client account type margin_account previous_margin deposit "
               "commission margin_requirement net_profit credit interest dont_liquidate")
    out.append("# POSITION client account position-row / ORDER client account order-row")
    out.append("# ALERT client id symbol condition value / USER username password client privileges")
    tradable = [s for s in SYMBOLS if s[0] != 1]
    ticket = 100000
    order_id = 500000
    alert_id = 1
    client_id = 1000
    made = 0
    while made < accounts:
        client_id += 1
        liq = rng.choices([(2, 50), (2, 30), (1, 0), (0, 0)], [6, 2, 2, 1])[0]
        paramset = rng.choice(list(PARAMSETS))
        comm_calc = 1 if paramset == "raw" else rng.choice([1, 2])
        out.append("")
        interest = 1 if client_id % 4 == 1 else 0
        out.append(f"CLIENT {client_id} {paramset} {liq[0]} {liq[1]} {comm_calc} {interest} "
                   f"Client{client_id}")
        out.append(f"USER client{client_id} pass{client_id} {client_id} 4,5,8")
        for k in range(rng.choice([1, 1, 1, 2])):
            account = client_id * 10 + k
            made += 1
            acc_type = 0 if rng.random() < 0.05 else 1
            deposit = rng.choice([2000, 5000, 10000, 25000, 50000])
            credit = rng.choice([0, 0, 0, 500])
            lines, margin = [], 0.0
            for _ in range(rng.randint(0, 5)):
                s = rng.choice(tradable)
                sid, pip = s[0], s[2]
                ticket += 1
                lots = rng.choice([0.1, 0.2, 0.5, 1, 2])
                direction = rng.choice([1, -1])
                price = market.start[sid] + rng.uniform(-30, 30) * 10.0 ** pip
                margin += lots * s[6]
                lines.append(f"POSITION {client_id} {account} "
                             f"{position_row(client_id, account, ticket, direction, lots, sid, price, pip)}")
                if rng.random() < 0.4:
                    order_id += 1
                    lo, hi, mid = market.low[sid], market.high[sid], market.start[sid]
                    gap = 15 * 10.0 ** pip
                    if direction == 1:
                        sl, tp = mid - max((mid - lo) * 0.5, gap), mid + max((hi - mid) * 0.7, gap)
                    else:
                        sl, tp = mid + max((hi - mid) * 0.5, gap), mid - max((mid - lo) * 0.7, gap)
                    lines.append(f"ORDER {client_id} {account} "
                                 f"{order_row(order_id, -direction, lots, sid, 0, 'SL', ticket, sl, tp, pip)}")
            if rng.random() < 0.3:
                s = rng.choice(tradable)
                sid, pip = s[0], s[2]
                order_id += 1
                op = rng.choice([1, 2, -1, -2])
                lo, hi, mid = market.low[sid], market.high[sid], market.start[sid]
                gap = 10 * 10.0 ** pip
                below = mid - max((mid - lo) * 0.6, gap)
                above = mid + max((hi - mid) * 0.6, gap)
                level = {1: below, -2: below, -1: above, 2: above}[op]
                lines.append(f"ORDER {client_id} {account} "
                             f"{order_row(order_id, op, 0.5, sid, level, 'LO', 0, 0, 0, pip)}")
            # Most accounts start with a margin level between 150 % and 1000 %;
            # a few start close to their point.
            level = rng.uniform(0.7, 0.95) if rng.random() < 0.05 else rng.uniform(1.5, 10)
            deposit = max(deposit, round(margin * level))
            out.append(f"ACCOUNT {client_id} {account} {acc_type} 0 0 {deposit} 0 "
                       f"{-margin:.2f} 0 {credit} 0 0")
            out += lines
        if rng.random() < 0.15:
            s = rng.choice(tradable)
            cond = rng.randint(1, 4)
            lo, hi, mid = market.low[s[0]], market.high[s[0]], market.start[s[0]]
            level = hi - (hi - mid) * 0.2 if cond in (1, 3) else lo + (mid - lo) * 0.2
            out.append(f"ALERT {client_id} {alert_id} {s[0]} {cond} {fmt_price(level, s[2])}")
            alert_id += 1
    out += doomed_account(market)
    with open(path, "w", encoding="ascii") as handle:
        handle.write("\n".join(out) + "\n")


def doomed_account(market):
    """A long gold position whose loss over the tape crosses the 50 % point."""
    sid, pip, factor, margin_per_lot = 9, -2, 100, 2050
    start, low = market.start[sid], market.low[sid]
    lots = 5
    margin = lots * margin_per_lot
    worst_loss = (start - low) * factor * lots
    # Equity at the worst moment is a third of the margin: margin level ~33 %.
    deposit = max(round(margin / 3 + worst_loss), 1000)
    row = position_row(900001, 900001, 990001, 1, lots, sid, start, pip)
    return ["", "# An account that reaches its liquidation point on the way down.",
            "CLIENT 900001 std 2 50 2 0 Doomed",
            "USER doomed pass900001 900001 4,5,8",
            f"ACCOUNT 900001 900001 1 0 0 {deposit} 0 {-margin:.2f} 0 0 0 0",
            f"POSITION 900001 900001 {row}"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seed", type=int, default=20270304)
    parser.add_argument("--ticks", type=int, default=120000)
    parser.add_argument("--accounts", type=int, default=300)
    parser.add_argument("--book", default="")
    parser.add_argument("--tape", default="")
    args = parser.parse_args()
    market = write_tape(random.Random(args.seed), args.ticks, args.tape)
    if args.book:
        write_book(random.Random(args.seed + 1), market, args.accounts, args.book)


if __name__ == "__main__":
    main()
