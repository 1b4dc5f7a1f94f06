#include "orvane/accounts/open_positions.h"

#include <limits>
#include <optional>

#include "orvane/clients/client_param_entry.h"
#include "orvane/core/conversions.h"
#include "orvane/core/keyed_lookup.h"
#include "orvane/market/symbol.h"

namespace orvane {

COpenPositions::~COpenPositions() { Deallocate(); }

double COpenPositions::TotalFloatingProfitLoss(CommCalcTypeEnum vCommCalcType) const {
  if (m_rows_stale || m_rows_generation != ClientParamEntry::PricingGeneration()) RefreshRows();
  double total = 0;
  const size_t n = m_rows.size();
  for (size_t i = 0; i < n; ++i) {
    KeptResult& kept = m_results[i];
    total += kept.CurrentFor(vCommCalcType) ? kept.profit
                                            : Reprice(m_rows[i], kept, vCommCalcType);
  }
  return total;
}

bool COpenPositions::KeptResult::Current() const {
  return known && symbol->PricesStamp() == stamp && ref_symbol->PricesStamp() == ref_stamp;
}

double COpenPositions::Reprice(const PricingRow& row, KeptResult& kept,
                               CommCalcTypeEnum comm_calc_type) {
  kept.known = false;
  if (kept.symbol == nullptr) {
    bool reusable = false;
    return ProfitOf(row, comm_calc_type, reusable);
  }
  // Read before pricing: a change made while pricing leaves the result out
  // of date.
  const uint64_t stamp = kept.symbol->PricesStamp();
  const uint64_t ref_stamp = kept.ref_symbol->PricesStamp();
  bool reusable = true;
  kept.profit = ProfitOf(row, comm_calc_type, reusable);
  kept.stamp = stamp;
  kept.ref_stamp = ref_stamp;
  kept.comm_calc_type = comm_calc_type;
  kept.known = reusable;
  return kept.profit;
}

std::shared_ptr<COpenPosition> COpenPositions::Add(
    double Price, const std::shared_ptr<CClientParam>& vSymbol, double lots,
    OperationTypeEnum Type_no, int32_t Ticket,
    const std::shared_ptr<CAccount>& Account, double Interest,
    std::string PosTime, std::string vNote) {
  auto position = std::make_shared<COpenPosition>();
  position->SymbolParam(vSymbol);
  position->Price(Price);
  position->lots(lots);
  position->Type_no(Type_no);
  position->Ticket(Ticket);
  position->Interest(Interest);
  position->PosTime(std::move(PosTime));
  position->Note(std::move(vNote));
  position->Account(Account);
  if (!m_items.Add(KeyOf(Ticket), position)) return nullptr;
  position->m_owner = this;
  m_rows.push_back(RowOf(*position));
  m_results.push_back(KeptFor(m_rows.back()));
  return position;
}

std::shared_ptr<COpenPosition> COpenPositions::Item(const Variant& vntIndexKey) const {
  return ItemByIndexKey(m_items, vntIndexKey);
}

void COpenPositions::Remove(const Variant& vntIndexKey) {
  const auto position = RemoveByIndexKey(m_items, vntIndexKey);
  if (!position) return;
  Release(*position);
  m_rows_stale = true;
}

void COpenPositions::Clear() {
  for (const auto& position : m_items) Release(*position);
  m_items.Clear();
  m_rows.clear();
  m_results.clear();
  m_rows_stale = false;
}

void COpenPositions::Deallocate() {
  for (const auto& position : m_items) {
    Release(*position);
    position->Deallocate();
  }
  m_items.Clear();
  m_rows.clear();
  m_results.clear();
  m_rows_stale = false;
}

COpenPositions::PricingRow COpenPositions::RowOf(const COpenPosition& position) {
  PricingRow row{};
  const OperationTypeEnum type = position.Type_no();
  const auto* entry = dynamic_cast<const ClientParamEntry*>(position.SymbolParam().get());
  if (entry == nullptr || entry->SymbolPtr() == nullptr || entry->ParentPtr() == nullptr ||
      type < std::numeric_limits<int16_t>::min() || type > std::numeric_limits<int16_t>::max()) {
    row.position = &position;
    return row;
  }
  row.symbol = entry->SymbolPtr();
  row.parent = entry->ParentPtr();
  const std::optional<double> spread = entry->SpreadPips();
  row.has_spread = spread.has_value();
  row.spread_pips = spread.value_or(0.0);
  row.price = position.Price();
  row.lots = position.lots();
  row.commission = entry->CommissionValue(row.lots);
  row.interest = position.Interest();
  row.type = static_cast<int16_t>(type);
  row.source_plus = entry->SourcePlus();
  row.price_offset = entry->PriceOffset();
  return row;
}

COpenPositions::KeptResult COpenPositions::KeptFor(const PricingRow& row) {
  KeptResult kept;
  if (row.symbol == nullptr) return kept;
  // The reference close price is kept only for a parent entry, whose
  // prices follow its figures (PricingGeneration) and its symbol.
  const auto* parent = dynamic_cast<const ClientParamEntry*>(row.parent);
  if (parent == nullptr || parent->SymbolPtr() == nullptr) return kept;
  kept.symbol = row.symbol;
  kept.ref_symbol = parent->SymbolPtr();
  return kept;
}

// The same steps, in the same order, as COpenPosition::FloatingProfitLoss.
double COpenPositions::ProfitOf(const PricingRow& row, CommCalcTypeEnum comm_calc_type,
                                bool& reusable) {
  if (row.symbol == nullptr) return row.position->FloatingProfitLoss(comm_calc_type);
  const auto type = static_cast<OperationTypeEnum>(row.type);
  const std::optional<double> spread =
      row.has_spread ? std::optional<double>(row.spread_pips) : std::nullopt;
  const double close =
      row.symbol->ClosePriceWithSpreadPips(spread, row.source_plus, row.price_offset, type);
  const double ref_close = row.parent->ClosePriceWithSpread(type);
  // -1 asks the symbol for its own reference symbol's price.
  if (ref_close == -1.0) reusable = false;
  return RoundMoney(row.symbol->DealProfitValue(row.price, close, row.lots, type, row.interest,
                                                row.commission, comm_calc_type, ref_close,
                                                true));
}

void COpenPositions::RefreshRows() const {
  m_rows_generation = ClientParamEntry::PricingGeneration();
  m_rows.clear();  // keeps the storage: the members are never more than the rows were
  m_results.clear();
  for (const auto& position : m_items) {
    m_rows.push_back(RowOf(*position));
    m_results.push_back(KeptFor(m_rows.back()));
  }
  m_rows_stale = false;
}

void COpenPositions::Release(COpenPosition& position) const {
  if (position.m_owner == this) position.m_owner = nullptr;
}

}  // namespace orvane
