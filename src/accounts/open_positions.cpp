#include "orvane/accounts/open_positions.h"

#include "orvane/core/keyed_lookup.h"

namespace orvane {

COpenPositions::~COpenPositions() { Deallocate(); }

double COpenPositions::TotalFloatingProfitLoss(CommCalcTypeEnum vCommCalcType) const {
  double total = 0;
  for (const auto& position : m_items) {
    total += position->FloatingProfitLoss(vCommCalcType);
  }
  return total;
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
  return position;
}

std::shared_ptr<COpenPosition> COpenPositions::Item(const Variant& vntIndexKey) const {
  return ItemByIndexKey(m_items, vntIndexKey);
}

void COpenPositions::Remove(const Variant& vntIndexKey) {
  RemoveByIndexKey(m_items, vntIndexKey);
}

void COpenPositions::Deallocate() {
  for (const auto& position : m_items) position->Deallocate();
  m_items.Clear();
}

}  // namespace orvane
