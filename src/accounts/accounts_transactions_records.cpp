// The record keeping of the account engine: symbols, clients, accounts,
// positions, orders, alerts and client parameters.

#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include "detail/holder_book.h"
#include "detail/slab.h"
#include "orvane/accounts/account.h"
#include "orvane/accounts/accounts.h"
#include "orvane/accounts/accounts_transactions.h"
#include "orvane/accounts/alert.h"
#include "orvane/accounts/alerts.h"
#include "orvane/accounts/cur_account.h"
#include "orvane/accounts/open_position.h"
#include "orvane/accounts/open_positions.h"
#include "orvane/accounts/order.h"
#include "orvane/accounts/orders.h"
#include "orvane/accounts/summaries.h"
#include "orvane/clients/client.h"
#include "orvane/clients/client_param.h"
#include "orvane/clients/client_params.h"
#include "orvane/clients/client_refs.h"
#include "orvane/clients/clients.h"
#include "orvane/core/clock.h"
#include "orvane/core/conversions.h"
#include "orvane/core/error.h"
#include "orvane/core/keyed_collection.h"
#include "orvane/market/symbol.h"
#include "orvane/market/symbols.h"
#include "orvane/util/generals.h"
#include "orvane/util/string_values.h"
#include "accounts_transactions_scratch.h"

namespace orvane {

namespace {

// The integer of a value: its number rounded half to even to 32 bits.
int32_t int_of(const Variant& value) { return ToInt32(value.NumberValue()); }

// The integer of a value's text: its leading number (0 when there is none),
// rounded half to even; Error(Overflow) beyond the integer's range.
int32_t int_of_text(const Variant& value) { return ToInt32(Val(value.TextValue())); }
int16_t int16_of_text(const Variant& value) { return ToInt16(Val(value.TextValue())); }

std::shared_ptr<CCurAccount> index_of_symbol(const std::shared_ptr<CSymbol>& symbol) {
  if (!symbol) return nullptr;
  return std::dynamic_pointer_cast<CCurAccount>(symbol->Ref1());
}

// Client parameter kinds the engine reacts to.
constexpr int32_t kEnableInterestType = 102;
constexpr int32_t kLiquidationTypeType = 103;
constexpr int32_t kLiquidationPointType = 104;
constexpr int32_t kCommissionCalculationType = 117;

// The number of a value that must be one; Error(TypeMismatch) otherwise.
double required_number(const Variant& value) {
  if (!value.IsNumeric()) {
    throw Error(ErrorCode::TypeMismatch,
                "a client parameter value is no number: \"" + value.TextValue() + "\"");
  }
  return value.NumberValue();
}

}  // namespace

CAccountsTransactions::CAccountsTransactions()
    : m_clients(std::make_shared<CClients>()),
      m_generals(std::make_shared<CGenerals>()),
      m_string_values(std::make_shared<CStringValues>()),
      m_book(std::make_unique<detail::HolderBook>()) {}

CAccountsTransactions::~CAccountsTransactions() { Deallocate(); }

void CAccountsTransactions::Deallocate() {
  if (m_string_values) m_string_values->Deallocate();
  if (m_clients) m_clients->Deallocate();
  if (m_generals) m_generals->Deallocate();
  m_string_values.reset();
  m_clients.reset();
  m_generals.reset();
  m_symbols.reset();
  m_book->Clear();
}

void CAccountsTransactions::Generals(std::shared_ptr<CGenerals> value) {
  m_generals = std::move(value);
}

void CAccountsTransactions::InitializeNeededData(std::shared_ptr<CSymbols> SymInfo,
                                                 ExecutionModeEnum execType) {
  m_symbols = std::move(SymInfo);
  m_side = execType;
}

void CAccountsTransactions::RefreshSymbols(std::shared_ptr<CSymbols> Symbols) {
  m_symbols = std::move(Symbols);
  if (m_clients) m_clients->RefreshSymbols(m_symbols);
  m_book->Clear();
}

void CAccountsTransactions::Unload() {
  if (m_clients) m_clients->Deallocate();
  m_clients = std::make_shared<CClients>();
  m_book->Clear();
}

std::shared_ptr<CAccount> CAccountsTransactions::Account(int32_t ClientID,
                                                         int32_t AccountID) const {
  if (!m_clients) return nullptr;
  return m_clients->Account(ClientID, AccountID);
}

std::shared_ptr<CAccount> CAccountsTransactions::AccountByAccountID(int32_t Account) const {
  if (!m_clients) return nullptr;
  const std::string key = KeyOf(Account);
  for (const auto& client : m_clients->Items()) {
    if (auto account = client->Accounts()->Item(key)) return account;
  }
  return nullptr;
}

int32_t CAccountsTransactions::AccountsCount() const {
  if (!m_clients) return 0;
  int32_t count = 0;
  for (const auto& client : m_clients->Items()) count += client->Accounts()->Count();
  return count;
}

std::shared_ptr<Object> CAccountsTransactions::IndexOf(int32_t symbol_id) const {
  if (!m_symbols) return nullptr;
  auto symbol = m_symbols->Item(KeyOf(symbol_id));
  return symbol ? symbol->Ref1() : nullptr;
}

// ---- symbols ---------------------------------------------------------------

std::shared_ptr<Object> CAccountsTransactions::DeleteSymbol(int32_t ID) {
  const std::string key = KeyOf(ID);
  if (m_symbols) m_symbols->Remove(key);
  if (m_clients) {
    for (const auto& client : m_clients->Items()) client->Params()->Remove(key);
  }
  m_book->Clear();
  return nullptr;
}

std::shared_ptr<CSymbol> CAccountsTransactions::NewSymbol(
    const Variant& TickPips, const Variant& RefPriceCase, const Variant& PriceCase,
    const Variant& Factor, const Variant& LastQuteTime, const Variant& Low,
    const Variant& High, const Variant& Bid, const Variant& Ask, bool isDisplay,
    bool isUsed, const Variant& RefID, const Variant& PipLocation, SymbolTypeEnum SymbolType,
    const Variant& Name, const Variant& ID, const std::string& OpenDay,
    const std::string& OpenTime, const std::string& CloseDay, const std::string& CloseTime,
    const Variant& DailyCloseTime1, const Variant& DailyOpenTime1,
    const Variant& DailyCloseTime2, const Variant& DailyOpenTime2,
    const Variant& DailyCloseTime3, const Variant& DailyOpenTime3, bool Closed,
    const Variant& DDEItems, bool MoveIfClosed, const Variant& HighType,
    const Variant& LowType, bool GiveQuoteHL, bool StopFeed, const Variant& PriceOffset,
    const Variant& SpreadOffset, const Variant& Bank, bool StopTrade,
    const Variant& StopTradeSeconds, SpreadCalTypeEnum SpreadType, const Variant& ExpDate,
    double DayOpen, double DayClose) {
  if (!m_symbols) return nullptr;
  const auto high_type = static_cast<HighLowComputeTypeEnum>(int_of_text(HighType));
  const auto low_type = static_cast<HighLowComputeTypeEnum>(int_of_text(LowType));
  return m_symbols->Add(
      Variant(1), 0, TickPips, RefPriceCase, PriceCase, Factor, LastQuteTime, Low, High,
      Bid, Ask, Variant(0), isDisplay, isUsed, RefID, PipLocation, SymbolType, Name, ID,
      OpenDay, OpenTime, CloseDay, CloseTime, DailyCloseTime1, DailyOpenTime1,
      DailyCloseTime2, DailyOpenTime2, DailyCloseTime3, DailyOpenTime3, Closed,
      Nvl(DDEItems, Variant("")).TextValue(), MoveIfClosed, high_type, low_type,
      GiveQuoteHL, StopFeed, int16_of_text(PriceOffset), int16_of_text(SpreadOffset), 1, 1, Nvl(Bank, Variant("")).TextValue(),
      StopTrade, int16_of_text(StopTradeSeconds), Variant(Null), 1.0, true,
      AtPriceMO, std::string(), SpreadType, false, false, false, ExpDate.TextValue(),
      DayOpen, DayClose, std::make_shared<CCurAccount>(), nullptr, nullptr, nullptr);
}

// ---- clients and accounts --------------------------------------------------

std::shared_ptr<CClient> CAccountsTransactions::AddNewClient(
    const Variant& cl_no, const Variant& theSpread, const Variant& ParentID,
    ClientTypeEnum vClientType, bool vEnableInterest, LiquidationTypeEnum LiqType,
    double LiqPoint, const std::string& FirstName, const std::string& SecondName,
    const std::string& ThirdName, const std::string& LastName, const std::string& Username,
    int16_t ClientOrServer, CommCalcTypeEnum CommCalcType) {
  try {
    if (!m_clients) return nullptr;
    return m_clients->Add(int_of(cl_no), theSpread.TextValue(), ParentID, vClientType,
                          vEnableInterest, LiqType, LiqPoint, FirstName, SecondName,
                          ThirdName, LastName, Username, m_symbols, m_generals,
                          ClientOrServer, CommCalcType);
  } catch (const std::exception&) {
    return nullptr;
  }
}

std::shared_ptr<CAccount> CAccountsTransactions::AddNewAccount(
    const Variant& cl_no, const Variant& acc_no, const Variant& accType,
    const Variant& demoAcc, const Variant& TotComm, const Variant& MarginReq,
    const Variant& NetProfit, const Variant& TotDep, const Variant& TotCr,
    const Variant& PrvMargin, const Variant& DontLiquidate, const Variant& TotInt,
    bool Locked, bool MarginAccount, bool Loading) {
  try {
    if (!m_clients) return nullptr;
    auto client = m_clients->Item(KeyOf(int_of(cl_no)));
    if (!client) return nullptr;
    // Beside the other accounts' summaries, where the price walk reads them.
    auto summaries = std::allocate_shared<CSummaries>(detail::SlabAllocator<CSummaries>());
    summaries->SetValues(PrvMargin, TotDep, TotComm, MarginReq, NetProfit, TotCr, TotInt);
    const int32_t account_id = int_of(Nvl(acc_no, Variant(-1)));
    const int32_t client_id = int_of(cl_no);
    const auto account_type = static_cast<AccountTypeEnum>(int_of(Nvl(accType, Variant(1))));
    const bool demo = Nvl(demoAcc, Variant(0)).NumberValue() == 1;
    const bool dont_liquidate = DontLiquidate.NumberValue() == 1;
    auto account = client->Accounts()->Add(client, summaries, account_id, client_id,
                                           account_type, demo, dont_liquidate, Locked);
    if (!account) return nullptr;
    account->SummeryInfo()->MarginAccount(MarginAccount);
    if (!Loading) {
      int32_t count = AccountsCount();
      m_events.Raise([&](CAccountsTransactionsEvents& l) { l.ParametersChanged(count); });
    }
    AnnounceNewAccount(client_id, account_id);
    return account;
  } catch (const std::exception&) {
    return nullptr;
  }
}

void CAccountsTransactions::UpdateAccount(int32_t vClient, int32_t vAccount, int32_t vType,
                                          bool vDemo, bool vLocked, bool vLiquidated) {
  auto account = Account(vClient, vAccount);
  if (!account) return;
  account->AccountType(static_cast<AccountTypeEnum>(vType));
  account->DemoAccount(vDemo);
  account->DontLiquidate(vLiquidated);
  account->Locked(vLocked);
}

void CAccountsTransactions::DeleteAccount(int32_t cl_no, int32_t acc_no) {
  if (!m_clients) return;
  auto client = m_clients->Item(KeyOf(cl_no));
  if (!client) return;
  if (m_symbols) {
    for (const auto& symbol : *m_symbols) {
      if (auto index = index_of_symbol(symbol)) index->AccountDeleted(cl_no, acc_no);
    }
  }
  client->Accounts()->Remove(KeyOf(acc_no));
  m_events.Raise([&](CAccountsTransactionsEvents& l) { l.DeleteFromListView(cl_no, acc_no); });
}

void CAccountsTransactions::DeleteClient(int32_t cl_no) {
  if (!m_clients) return;
  // Parent links may loop; a client already being deleted further up is
  // left to that call.
  if (std::find(m_deleting.begin(), m_deleting.end(), cl_no) != m_deleting.end()) return;
  m_deleting.push_back(cl_no);
  struct Done {
    std::vector<int32_t>& deleting;
    ~Done() { deleting.pop_back(); }
  } done{m_deleting};
  const std::string key = KeyOf(cl_no);
  if (auto client = m_clients->Item(key)) {
    std::vector<int32_t> children;
    for (const auto& ref : client->ChildrenClients()->Items()) {
      if (auto child = ref->Client()) children.push_back(child->ClientID());
    }
    for (int32_t child : children) DeleteClient(child);
    std::vector<int32_t> accounts;
    for (const auto& account : client->Accounts()->Items()) {
      accounts.push_back(account->AccountID());
    }
    for (int32_t account : accounts) DeleteAccount(cl_no, account);
    if (m_symbols) {
      for (const auto& symbol : *m_symbols) {
        if (auto index = index_of_symbol(symbol)) index->ClientDeleted(cl_no);
      }
    }
  }
  m_clients->Remove(key);
}

// ---- positions -------------------------------------------------------------

std::shared_ptr<COpenPosition> CAccountsTransactions::AddNewOpenPosition(
    const Variant& cl_no, const Variant& acc_no, const Variant& io_id,
    const Variant& io_cur_no, const Variant& theLots, const Variant& Price,
    const Variant& theType, const Variant& vInt, const std::string& PosTime,
    const std::string& Note, bool Loading) {
  auto account = Account(int_of(cl_no), int_of(acc_no));
  if (!account) return nullptr;
  auto client = account->Client();
  if (!client || !client->ParamsLoaded()) return nullptr;
  const int32_t symbol_id = int_of(io_cur_no);
  auto index = std::dynamic_pointer_cast<CCurAccount>(IndexOf(symbol_id));
  if (!index) return nullptr;
  index->AccountsHavePositions()->Add(account);
  auto param = client->SymbolParam(symbol_id);
  auto position = account->OpenPositions()->Add(
      Price.NumberValue(), param, theLots.NumberValue(),
      static_cast<OperationTypeEnum>(int_of(theType)), int_of(io_id), account,
      Nvl(vInt, Variant(0)).NumberValue(), PosTime, Note);
  if (position) position->Note(Note);
  if (!Loading) SummariesChanged(account);
  return position;
}

std::shared_ptr<COpenPosition> CAccountsTransactions::DefineOpenPosRow(
    int32_t vClient, int32_t vAccount, int32_t Ticket, const std::string& OpenPosRow) {
  if (m_just_accounts) return nullptr;
  auto account = Account(vClient, vAccount);
  if (!account) return nullptr;
  account->LockLiquidate(false);
  if (OpenPosRow.empty()) {
    DeleteOpenPosition(vClient, vAccount, Ticket);
    return nullptr;
  }
  int32_t row_client = 0, row_account = 0, ticket = 0, symbol_id = 0;
  std::string time, sl_desc, tp_desc, symbol_name, method, note;
  OperationTypeEnum direction = BuyType;
  double lots = 0, price = 0, original_lots = 0, interest = 0;
  int16_t checked = 0;
  m_generals->SplitPosRow(OpenPosRow, row_client, row_account, ticket, time, direction,
                          lots, symbol_id, price, sl_desc, tp_desc, checked, original_lots,
                          symbol_name, interest, method, note);
  auto position = account->OpenPositions()->Item(KeyOf(ticket));
  if (!position) {
    if (lots <= 0) return nullptr;
    return AddNewOpenPosition(vClient, vAccount, ticket, symbol_id, lots, price,
                              static_cast<int32_t>(direction), interest, time, note, false);
  }
  UpdateOpenPosition(vClient, vAccount, ticket, lots, price, direction, symbol_id, interest,
                     time, note);
  return position;
}

void CAccountsTransactions::UpdateOpenPosition(int32_t cl_no, int32_t acc_no, int32_t io_id,
                                               double lots, double Price, int32_t BuySell,
                                               int32_t /*vCur*/, double vInt,
                                               const std::string& /*PosTime*/,
                                               const std::string& vNote) {
  auto account = Account(cl_no, acc_no);
  if (!account) return;
  if (lots != 0) {
    auto position = account->OpenPositions()->Item(KeyOf(io_id));
    if (!position) {
      throw Error(ErrorCode::ObjectRequired,
                  "account " + KeyOf(acc_no) + " holds no position " + KeyOf(io_id));
    }
    position->lots(lots);
    position->Price(Price);
    position->Type_no(static_cast<OperationTypeEnum>(BuySell));
    position->Interest(vInt);
    position->Note(vNote);
  } else {
    DeleteOpenPosition(cl_no, acc_no, io_id);
  }
  SummariesChanged(account);
}

void CAccountsTransactions::DeleteOpenPosition(int32_t cl_no, int32_t acc_no, int32_t io_id) {
  auto account = Account(cl_no, acc_no);
  if (!account) return;
  account->LockLiquidate(false);
  auto position = account->OpenPositions()->Item(KeyOf(io_id));
  if (!position) return;
  if (auto param = position->SymbolParam()) {
    if (auto index = index_of_symbol(param->Symbol())) index->PositionDeleted(account, position);
  }
  account->OpenPositions()->Remove(KeyOf(io_id));
  SummariesChanged(account);
  auto orders = account->Orders();
  for (bool removed = true; removed;) {
    removed = false;
    for (const auto& order : orders->Items()) {
      if (order->IoID() == io_id) {
        const std::string key = KeyOf(order->OrderId());
        orders->Remove(key);
        removed = true;
        break;
      }
    }
  }
}

void CAccountsTransactions::ClosePosition(int32_t cl_no, int32_t acc_no, int32_t io_id,
                                          double closedLots) {
  auto account = Account(cl_no, acc_no);
  if (!account) return;
  auto position = account->OpenPositions()->Item(KeyOf(io_id));
  if (!position) return;
  const double rest = position->lots() - closedLots;
  if (rest <= 0) {
    DeleteOpenPosition(cl_no, acc_no, io_id);
  } else {
    position->lots(rest);
  }
}

void CAccountsTransactions::CloseAllPositions(int32_t cl_no, int32_t acc_no) {
  if (!m_clients) return;
  auto client = m_clients->Item(KeyOf(cl_no));
  if (!client) return;
  auto account = client->Accounts()->Item(KeyOf(acc_no));
  if (!account) return;
  std::vector<int32_t> tickets;
  for (const auto& position : account->OpenPositions()->Items()) {
    tickets.push_back(position->Ticket());
  }
  // Each closing reports the account's figures, and a handler may change or
  // close positions the walk has not reached: their lots are read as the walk
  // reaches them.
  for (int32_t ticket : tickets) {
    auto position = account->OpenPositions()->Item(KeyOf(ticket));
    if (position) ClosePosition(cl_no, acc_no, ticket, position->lots());
  }
}

// ---- orders ----------------------------------------------------------------

std::shared_ptr<COrder> CAccountsTransactions::AddNewOrder(
    int32_t cl_no, int32_t acc_no, int32_t OrderId, int32_t OrderType,
    int32_t operationType, int32_t IoID, double lots, int32_t cur_no, double LimitPrice,
    double slPrice, double tpPrice, int16_t status, double hitPrice, DateTime hitDate,
    const std::string& OrderTime, const std::string& Note) {
  auto account = Account(cl_no, acc_no);
  if (!account) return nullptr;
  auto index = std::dynamic_pointer_cast<CCurAccount>(IndexOf(cur_no));
  if (!index) return nullptr;
  auto client = account->Client();
  auto param = client ? client->SymbolParam(cur_no) : nullptr;
  auto order = account->Orders()->Add(status, tpPrice, slPrice, LimitPrice, param, lots, IoID,
                                      static_cast<OperationTypeEnum>(operationType),
                                      static_cast<OrdersTypeEnum>(OrderType), OrderId,
                                      hitPrice, hitDate, OrderTime, Note, account);
  index->AccountsHaveOrders()->Add(account);
  if (order && (status == 1 || status == 11)) {
    auto announce = [&](int32_t type, int16_t sl_or_tp) {
      auto kind = static_cast<OrdersTypeEnum>(type);
      auto order_ref = order;
      auto account_ref = account;
      bool second_hit = false;
      bool done = false;
      m_events.Raise([&](CAccountsTransactionsEvents& l) {
        l.RaiseHitOrder(kind, order_ref, account_ref, second_hit, done, sl_or_tp);
      });
    };
    if (OrderType == LimitOrdersType) {
      announce(LimitOrdersType, 1);
    } else {
      if (slPrice != -1) announce(SlTpType, 1);
      if (tpPrice != -1) announce(4, 2);
    }
  }
  return order;
}

std::shared_ptr<COrder> CAccountsTransactions::DefineOrder(int32_t vClient, int32_t vAccount,
                                                           const std::string& OrderRow) {
  if (m_just_accounts) return nullptr;
  if (OrderRow.empty()) {
    DeleteOrder(vClient, vAccount, 0);
    return nullptr;
  }
  std::string id, time, direction, lots, symbol, price, kind, ticket, sl, tp, status, note;
  m_generals->SplitOrderRow(OrderRow, id, time, direction, lots, symbol, price, kind, ticket,
                            sl, tp, status, note);
  const int32_t order_id = int_of(Variant(id));
  DeleteOrder(vClient, vAccount, order_id);
  const int32_t order_type = kind == "LO" ? LimitOrdersType : SlTpType;
  return AddNewOrder(vClient, vAccount, order_id, order_type, int_of(Variant(direction)),
                     int_of(Variant(ticket)), Variant(lots).NumberValue(),
                     int_of(Variant(symbol)), Variant(price).NumberValue(),
                     Variant(sl).NumberValue(), Variant(tp).NumberValue(), 0, 0, Now(), time,
                     note);
}

std::shared_ptr<COrder> CAccountsTransactions::DeleteOrder(int32_t cl_no, int32_t acc_no,
                                                           int32_t id_no) {
  auto account = Account(cl_no, acc_no);
  if (!account) return nullptr;
  const std::string key = KeyOf(id_no);
  auto order = account->Orders()->Item(key);
  if (!order) return nullptr;
  if (auto param = order->SymbolParam()) {
    if (auto index = index_of_symbol(param->Symbol())) index->OrderDeleted(account, order);
  }
  account->Orders()->Remove(key);
  return order;
}

// ---- alerts ----------------------------------------------------------------

void CAccountsTransactions::AddNewAlert(int32_t cl_no, int32_t ID, int32_t CurID,
                                        int32_t CondType, double vVal, int32_t /*AlertType*/,
                                        bool /*Enabled*/) {
  if (!m_clients) return;
  auto client = m_clients->Item(KeyOf(cl_no));
  if (!client) return;
  auto symbol = m_symbols ? m_symbols->Item(KeyOf(CurID)) : nullptr;
  auto index = index_of_symbol(symbol);
  if (!index) return;
  client->Alerts()->Add(cl_no, ID, symbol, static_cast<AlertConditionsEnum>(CondType), vVal);
  index->ClientsHaveAlerts()->Add(client);
}

void CAccountsTransactions::DeleteAlert(int32_t ClientID, int32_t ID) {
  if (m_just_accounts) return;
  auto client = m_clients ? m_clients->Item(KeyOf(ClientID)) : nullptr;
  if (!client) {
    throw Error(ErrorCode::ObjectRequired, "no client " + KeyOf(ClientID) + " for alert " +
                                               KeyOf(ID));
  }
  const std::string key = KeyOf(ID);
  auto alert = client->Alerts()->Item(key);
  if (!alert) return;
  if (auto index = index_of_symbol(alert->Symbol())) index->AlertDeleted(client, alert);
  client->Alerts()->Remove(key);
}

void CAccountsTransactions::UpdateAlert(int32_t ID, int32_t vClient, int32_t CurID,
                                        int32_t CondType, double vVal) {
  DeleteAlert(vClient, ID);
  AddNewAlert(vClient, ID, CurID, CondType, vVal, SMSAlertType, true);
}

// ---- parameters ------------------------------------------------------------

void CAccountsTransactions::ClientOneParameterChanged(int32_t vClientId, int32_t /*SymID*/,
                                                      int32_t vType, const Variant& vVal) {
  if (m_just_accounts || !m_clients) return;
  auto client = m_clients->Item(KeyOf(vClientId));
  if (!client) return;
  switch (vType) {
    case kEnableInterestType:
      client->EnableInterest(required_number(vVal) == 1);
      break;
    case kLiquidationTypeType:
      client->LiquidationType(static_cast<LiquidationTypeEnum>(ToInt32(required_number(vVal))));
      break;
    case kLiquidationPointType:
      client->LiquidationPoint(required_number(vVal));
      break;
    default:
      break;
  }
}

void CAccountsTransactions::GeneralClientParametersChanged(int32_t vClientId,
                                                           int32_t /*vSymID*/,
                                                           const Variant& vType,
                                                           const Variant& vVal) {
  if (m_just_accounts || !m_clients) return;
  auto client = m_clients->Item(KeyOf(vClientId));
  if (!client) return;
  if (required_number(vType) != kCommissionCalculationType) return;
  client->CommCalcType(static_cast<CommCalcTypeEnum>(ToInt32(required_number(vVal))));
}

void CAccountsTransactions::ClientParametersChanged(int32_t vClientId,
                                                    const std::string& Pars,
                                                    int16_t ClientOrServer) {
  if (m_just_accounts || !m_clients) return;
  auto client = m_clients->Item(KeyOf(vClientId));
  if (client) UpdateParameters(Pars, client, ClientOrServer);
}

void CAccountsTransactions::UpdateParameters(const std::string& vChangedPars,
                                             const std::shared_ptr<CClient>& vClient,
                                             int16_t ClientOrServer) {
  if (!vClient || Trim(vChangedPars).empty()) return;
  vClient->RefreshClientParams(vChangedPars, m_symbols, m_generals, false, ClientOrServer);
}

void CAccountsTransactions::SetParamsRefParams() {
  if (!m_clients) return;
  for (const auto& client : m_clients->Items()) client->Params()->SetParamsRefParams();
}

// ---- interest --------------------------------------------------------------

void CAccountsTransactions::CalculateInterest(int32_t vSymID, int16_t vDayFactor,
                                              double YearlyBuyRate, double YearlySellRate,
                                              int16_t YearDays) {
  if (!m_clients) return;
  // Handlers may change the book at every event: the walk goes over copies
  // and acts on a client, account or position only while it is still listed
  // where the walk found it.
  const auto clients = m_clients;
  for (const auto& client : clients->Items().Snapshot()) {
    if (clients->Items().Item(KeyOf(client->ClientID())) != client) continue;
    if (!client->EnableInterest()) continue;
    const auto accounts = client->Accounts();
    for (const auto& account : accounts->Items().Snapshot()) {
      if (accounts->Items().Item(account->IndexKey()) != account) continue;
      double booked = 0;
      int32_t client_id = account->ClientID();
      int32_t account_id = account->AccountID();
      const auto positions = account->OpenPositions();
      for (const auto& position : positions->Items().Snapshot()) {
        if (positions->Items().Item(KeyOf(position->Ticket())) != position) continue;
        auto param = position->SymbolParam();
        if (!param || !param->Symbol() || param->Symbol()->ID() != vSymID) continue;
        const double amount =
            position->AddInterest(vDayFactor, YearlyBuyRate, YearlySellRate, YearDays);
        if (amount == 0) continue;
        booked += amount;
        int32_t ticket = position->Ticket();
        double interest = position->Interest();
        m_events.Raise([&](CAccountsTransactionsEvents& l) {
          l.ChangePosInterest(client_id, account_id, ticket, interest);
        });
      }
      if (booked == 0 || client->CommCalcType() != ON_OPEN_TYPE) continue;
      if (accounts->Items().Item(account->IndexKey()) != account) continue;
      const auto summaries = account->SummeryInfo();
      if (!summaries) continue;
      summaries->TotalInterest(summaries->TotalInterest() + booked);
      SummariesChanged(account);
      double total = summaries->TotalInterest();
      m_events.Raise([&](CAccountsTransactionsEvents& l) {
        l.ChangeTotInterest(client_id, account_id, total);
      });
    }
  }
}

}  // namespace orvane
