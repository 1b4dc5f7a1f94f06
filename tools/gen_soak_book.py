#!/usr/bin/env python3
"""Writes the soak test's book: 100 symbols quoted in the account currency,
one parameter set pricing all of them with a 2-pip spread, and N clients
(user soakK, password passK) with one account holding two positions each.

Python 3 standard library only; the same seed gives the same book.
"""
import argparse
import random


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--clients", type=int, default=1000)
    parser.add_argument("--seed", type=int, default=20271001)
    parser.add_argument("--book", required=True)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    symbols = range(2, 102)
    out = ["# Soak book written by tools/gen_soak_book.py", "",
           "SYMBOL 1 USD -4 1 1 1 1 0 1 1 FRIDAY 22:00 SUNDAY 22:00"]
    prices = {}
    for sid in symbols:
        bid = round(rng.uniform(0.8, 1.8), 4)
        prices[sid] = bid
        out.append(f"SYMBOL {sid} S{sid:03d}USD -4 100000 1 1 1 1000 {bid:.4f} {bid + 0.0001:.4f} "
                   "FRIDAY 22:00 SUNDAY 22:00")
    groups = ["1,0,0,0,0,0,100,0.01,0"] + [f"{sid},2,0,0,0,0,100,0.01,0" for sid in symbols]
    out += ["", "PARAMSET soak " + ",".join(groups)]
    ticket = 1
    for k in range(1, args.clients + 1):
        client, account = 10000 + k, 100000 + k
        out += ["", f"CLIENT {client} soak 2 30 2 0 Soak{k}",
                f"USER soak{k} pass{k} {client} 4,5,8",
                f"ACCOUNT {client} {account} 1 0 0 100000 0 -2000 0 0 0 0"]
        for _ in range(2):
            sid = rng.choice(list(symbols))
            side = rng.choice(["Buy", "Sell"])
            price = prices[sid]
            row = "R,@".join([str(client), str(account), str(ticket), "03/03/2027 09:00:00", side,
                              "1", str(sid), f"{price:.4f}", "", "", "0", "1", f"S{sid:03d}USD",
                              "0", "", ""])
            out.append(f"POSITION {client} {account} {row}")
            ticket += 1
    with open(args.book, "w", encoding="ascii") as handle:
        handle.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
