#ifndef ORVANE_APPS_STORE_RECORD_COLUMNS_H_
#define ORVANE_APPS_STORE_RECORD_COLUMNS_H_

// The table columns of each record kind that a database store keeps, and
// the order in which its fields are bound to them or read from them. Every
// database store uses the same columns, so that their schemas stay alike.
namespace orvane::apps::columns {

// The columns of each record, in the order its Fields function gives them.
inline constexpr char kSymbolColumns[] =
    "id, name, pip_location, factor, price_case, ref_id, ref_price_case, margin_per_lot, bid, "
    "ask, close_day, close_time, open_day, open_time, break_close, break_open";
inline constexpr char kClientColumns[] =
    "id, parameters, liquidation_type, liquidation_point, comm_calc_type, enable_interest, name, "
    "hedging, partial_close, type, parent, manual_dealing, auto_liquidation";
inline constexpr char kAccountColumns[] =
    "client, account, type, margin_account, dont_liquidate, commission, margin_requirement, "
    "net_profit, deposit, credit, previous_margin, interest";
inline constexpr char kTotalsColumns[] =
    "commission, margin_requirement, net_profit, deposit, credit, previous_margin, interest";
inline constexpr char kPositionColumns[] =
    "client, account, ticket, time, direction, lots, symbol, price, interest, note";
inline constexpr char kOrderColumns[] =
    "client, account, id, time, direction, lots, symbol, kind, price, position, sl, tp, status, "
    "note, expiry";
inline constexpr char kAlertColumns[] = "client, id, symbol, condition, value";
inline constexpr char kUserColumns[] = "username, password, client, privileges, type, symbols";
inline constexpr char kHistoryColumns[] =
    "client, account, ticket, time, symbol, lots, direction, open_time, open_price, "
    "close_price, commission, interest, ref_price, profit, note";
inline constexpr char kAuditColumns[] = "client, account, row";
inline constexpr char kOrderNumberColumns[] = "owner, username, number, code, text, ticket, price";
inline constexpr char kInterestRateColumns[] = "symbol, buy_rate, sell_rate, year_days";
inline constexpr char kEntryColumns[] = "client, account, ledger, amount, time, ticket, note";

// The fields of each record, bound or read in the order of its columns:
// `io` is a binder when the record is const and a reader when it is not.
template <typename Io, typename R>
void symbol_fields(Io& io, R& r) {
  io(r.id)(r.name)(r.pip_location)(r.factor)(r.price_case)(r.ref_id)(r.ref_price_case)(
      r.margin_per_lot)(r.bid)(r.ask)(r.close_day)(r.close_time)(r.open_day)(r.open_time)(
      r.break_close)(r.break_open);
}
template <typename Io, typename R>
void client_fields(Io& io, R& r) {
  io(r.id)(r.parameters)(r.liquidation_type)(r.liquidation_point)(r.comm_calc_type)(
      r.enable_interest)(r.name)(r.hedging)(r.partial_close)(r.type)(r.parent)(r.manual_dealing)(
      r.auto_liquidation);
}
template <typename Io, typename R>
void totals_fields(Io& io, R& r) {
  io(r.commission)(r.margin_requirement)(r.net_profit)(r.deposit)(r.credit)(r.previous_margin)(
      r.interest);
}
template <typename Io, typename R>
void account_fields(Io& io, R& r) {
  io(r.client)(r.account)(r.type)(r.margin_account)(r.dont_liquidate);
  totals_fields(io, r.totals);
}
template <typename Io, typename R>
void position_fields(Io& io, R& r) {
  io(r.client)(r.account)(r.ticket)(r.time)(r.direction)(r.lots)(r.symbol)(r.price)(r.interest)(
      r.note);
}
template <typename Io, typename R>
void order_fields(Io& io, R& r) {
  io(r.client)(r.account)(r.id)(r.time)(r.direction)(r.lots)(r.symbol)(r.kind)(r.price)(
      r.position)(r.sl)(r.tp)(r.status)(r.note)(r.expiry);
}
template <typename Io, typename R>
void alert_fields(Io& io, R& r) {
  io(r.client)(r.id)(r.symbol)(r.condition)(r.value);
}
template <typename Io, typename R>
void user_fields(Io& io, R& r) {
  io(r.username)(r.password)(r.client)(r.privileges)(r.type)(r.symbols);
}
template <typename Io, typename R>
void history_fields(Io& io, R& r) {
  io(r.client)(r.account)(r.ticket)(r.time)(r.symbol)(r.lots)(r.direction)(r.open_time)(
      r.open_price)(r.close_price)(r.commission)(r.interest)(r.ref_price)(r.profit)(r.note);
}
template <typename Io, typename R>
void audit_fields(Io& io, R& r) {
  io(r.client)(r.account)(r.row);
}
// An outcome without its owner, the first of its columns.
template <typename Io, typename R>
void order_number_fields(Io& io, R& r) {
  io(r.username)(r.number)(r.code)(r.text)(r.ticket)(r.price);
}
template <typename Io, typename R>
void interest_rate_fields(Io& io, R& r) {
  io(r.symbol)(r.buy_rate)(r.sell_rate)(r.year_days);
}

// The ledger is bound and read as its stored value.
template <typename Io, typename R>
void entry_fields(Io& io, R& r) {
  io(r.client)(r.account)(r.ledger)(r.amount)(r.time)(r.ticket)(r.note);
}

}  // namespace orvane::apps::columns

#endif  // ORVANE_APPS_STORE_RECORD_COLUMNS_H_
