#include "orvane/accounts/open_positions.h"

#include <limits>
#include <new>
#include <optional>

#include "detail/holder_book.h"
#include "detail/position_figures.h"
#include "detail/slab.h"
#include "orvane/clients/client_param_entry.h"
#include "orvane/core/conversions.h"
#include "orvane/core/keyed_lookup.h"
#include "orvane/market/symbol.h"

namespace orvane {

namespace {

// The figures of every collection sit together, where the price walk reads
// them for each holder.
detail::Slab& figures_slab() {
  static_assert(sizeof(detail::PositionFigures) <= detail::kMaxSlabBytes);
  return *detail::SlabFor(sizeof(detail::PositionFigures));
}

}  // namespace

COpenPositions::COpenPositions()
    : m_figures(new (figures_slab().Allocate()) detail::PositionFigures()) {
  static_assert(alignof(detail::PositionFigures) <= detail::Slab::kLine);
}

COpenPositions::~COpenPositions() {
  Deallocate();
  m_figures->~PositionFigures();
  figures_slab().Free(m_figures);
  detail::StructureChanged();  // the engine's walk may hold the figures' address
}

double COpenPositions::TotalFloatingProfitLoss(CommCalcTypeEnum vCommCalcType) const {
  int64_t repriced = 0;
  return detail::PositionsAccess::CurrentFiguresOf(*this).Total(vCommCalcType, repriced);
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
  m_figures->Append(*position);
  return position;
}

std::shared_ptr<COpenPosition> COpenPositions::Item(const Variant& vntIndexKey) const {
  return ItemByIndexKey(m_items, vntIndexKey);
}

void COpenPositions::Remove(const Variant& vntIndexKey) {
  const auto position = RemoveByIndexKey(m_items, vntIndexKey);
  if (!position) return;
  Release(*position);
  m_figures->MarkStale();
}

void COpenPositions::Clear() {
  for (const auto& position : m_items) Release(*position);
  m_items.Clear();
  m_figures->Clear();
}

void COpenPositions::Deallocate() {
  for (const auto& position : m_items) {
    Release(*position);
    position->Deallocate();
  }
  m_items.Clear();
  m_figures->Clear();
}

void COpenPositions::PositionChanged() { m_figures->MarkStale(); }

void COpenPositions::Release(COpenPosition& position) const {
  if (position.m_owner == this) position.m_owner = nullptr;
}

namespace detail {

PositionFigures& PositionsAccess::FiguresOf(const COpenPositions& positions) {
  return *positions.m_figures;
}

PositionFigures& PositionsAccess::CurrentFiguresOf(const COpenPositions& positions) {
  PositionFigures& figures = *positions.m_figures;
  if (figures.Stale()) figures.Refresh(positions.m_items);
  return figures;
}

bool PositionFigures::Stale() const { return Stale(ClientParamEntry::PricingGeneration()); }

void PositionFigures::Clear() {
  m_rows.clear();
  m_more.clear();
  m_row_data = nullptr;
  m_count = 0;
  m_stale = false;
}

void PositionFigures::Refresh(const KeyedCollection<COpenPosition>& members) {
  m_pricing_generation = ClientParamEntry::PricingGeneration();
  m_rows.clear();  // keeps the storage
  for (const auto& position : members) m_rows.push_back(RowOf(*position));
  m_count = static_cast<uint32_t>(m_rows.size());
  m_row_data = m_rows.data();
  ++m_version;
  if (m_count > kInline) m_more.resize(m_count);
  Kept* kept = KeptData();
  for (size_t i = 0; i < m_count; ++i) kept[i] = KeptFor(m_rows[i]);
  m_stale = false;
}

inline bool PositionFigures::Holds(const Kept& kept) {
  return kept.stamps != 0 &&
         kept.stamps == kept.symbol->PricesStamp() + kept.ref_symbol->PricesStamp();
}

void PositionFigures::ReadRowsAhead(uint64_t pricing_generation, size_t copied) const {
  if (m_count > kInline || Stale(pricing_generation)) return;
  for (size_t i = 0; i < m_count; ++i) {
    if (i != copied && !Holds(m_inline[i])) __builtin_prefetch(m_row_data + i, 0, 1);
  }
}

size_t PositionFigures::FirstOn(const CSymbol* symbol) const {
  for (size_t i = 0; i < m_rows.size(); ++i) {
    if (m_rows[i].symbol == symbol) return i;
  }
  return SIZE_MAX;
}

void PositionFigures::Append(const COpenPosition& position) {
  if (Stale()) return;
  m_rows.push_back(RowOf(position));
  m_row_data = m_rows.data();
  ++m_version;
  if (m_count == kInline) m_more.assign(m_inline, m_inline + kInline);
  if (m_count >= kInline) m_more.emplace_back();
  ++m_count;
  KeptData()[m_count - 1] = KeptFor(m_rows.back());
}

double PositionFigures::Total(CommCalcTypeEnum comm_calc_type, int64_t& repriced,
                              const Row* copy, size_t copied) {
  Kept* kept_data = KeptData();
  if (comm_calc_type != m_kept_for) {
    for (size_t i = 0; i < m_count; ++i) kept_data[i].stamps = 0;
    m_kept_for = comm_calc_type;
  }
  double total = 0;
  const size_t n = m_count;
  for (size_t i = 0; i < n; ++i) {
    const Kept& kept = kept_data[i];
    if (Holds(kept)) {
      total += kept.profit;
    } else {
      ++repriced;
      total += Reprice(i, i == copied ? *copy : m_rows[i], comm_calc_type);
    }
  }
  return total;
}

double PositionFigures::Reprice(size_t i, const Row& row, CommCalcTypeEnum comm_calc_type) {
  Kept& kept = KeptData()[i];
  kept.stamps = 0;
  if (kept.symbol == nullptr) {
    bool reusable = false;
    return ProfitOf(row, comm_calc_type, reusable, nullptr);
  }
  // Read before pricing: a change made while pricing leaves the result out
  // of date.
  const uint64_t stamps = kept.symbol->PricesStamp() + kept.ref_symbol->PricesStamp();
  bool reusable = true;
  kept.profit = ProfitOf(row, comm_calc_type, reusable, kept.ref_symbol);
  if (reusable) kept.stamps = stamps;
  return kept.profit;
}

PositionFigures::Row PositionFigures::RowOf(const COpenPosition& position) {
  Row row{};
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
  row.own_parent = entry->ParentPtr() == entry;
  return row;
}

PositionFigures::Kept PositionFigures::KeptFor(const Row& row) {
  Kept kept{};
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
double PositionFigures::ProfitOf(const Row& row, CommCalcTypeEnum comm_calc_type,
                                 bool& reusable, const CSymbol* ref_symbol) {
  if (row.symbol == nullptr) return row.position->FloatingProfitLoss(comm_calc_type);
  const auto type = static_cast<OperationTypeEnum>(row.type);
  const std::optional<double> spread =
      row.has_spread ? std::optional<double>(row.spread_pips) : std::nullopt;
  const double close =
      row.symbol->ClosePriceWithSpreadPips(spread, row.source_plus, row.price_offset, type);
  // The account's own currency (symbol 1) prices at 1 whatever the spread;
  // an entry that is its own parent closes at the price just worked out.
  double ref_close = close;
  if (!row.own_parent) {
    ref_close = ref_symbol != nullptr && ref_symbol->ID() == 1
                    ? 1.0
                    : row.parent->ClosePriceWithSpread(type);
  }
  // -1 asks the symbol for its own reference symbol's price.
  if (ref_close == -1.0) reusable = false;
  return RoundMoney(row.symbol->DealProfitValue(row.price, close, row.lots, type, row.interest,
                                                row.commission, comm_calc_type, ref_close,
                                                true));
}

}  // namespace detail
}  // namespace orvane
