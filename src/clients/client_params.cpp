#include "orvane/clients/client_params.h"

#include <cmath>

#include "orvane/clients/client_param_cl.h"
#include "orvane/clients/client_param_svr.h"
#include "orvane/core/keyed_lookup.h"
#include "orvane/market/symbol.h"

namespace orvane {
namespace {

void deallocate_entry(const std::shared_ptr<CClientParam>& param) {
  if (auto safe = std::dynamic_pointer_cast<ISafeObject>(param)) safe->Deallocate();
}

std::shared_ptr<CClientParam> new_entry(int16_t client_or_server) {
  if (client_or_server == 1) return std::make_shared<CClientParamCl>();
  return std::make_shared<CClientParamSvr>();
}

}  // namespace

CClientParams::~CClientParams() { Deallocate(); }

void CClientParams::SetParamsRefParams() {
  for (const auto& param : m_params) {
    const std::shared_ptr<CSymbol> symbol = param->Symbol();
    std::shared_ptr<CClientParam> parent;
    if (symbol != nullptr) {
      const double ref_id = symbol->RefID().NumberValue();
      if (std::isfinite(ref_id)) parent = m_params.Item(KeyOf(static_cast<int64_t>(ref_id)));
    }
    param->Parent(std::move(parent));
  }
}

std::shared_ptr<CClientParam> CClientParams::Add(const Variant& Spread, int16_t SourcePlus,
                                                 double Commission, double MaxLots,
                                                 double MinLots, double LimitOffset,
                                                 double StopOffset, int16_t PriceOffset,
                                                 std::shared_ptr<CSymbol> Symbol,
                                                 int16_t ClientOrServer) {
  if (Symbol == nullptr) return nullptr;
  std::string key = KeyOf(Symbol->ID());
  if (m_params.Contains(key)) return nullptr;
  std::shared_ptr<CClientParam> param = new_entry(ClientOrServer);
  param->Symbol(std::move(Symbol));
  param->StopOffset(StopOffset);
  param->LimitOffset(LimitOffset);
  param->MinLots(MinLots);
  param->MaxLots(MaxLots);
  param->Commission(Commission);
  param->Spread(Spread);
  param->SourcePlus(SourcePlus);
  param->PriceOffset(PriceOffset);
  m_params.Add(std::move(key), param);
  return param;
}

std::shared_ptr<CClientParam> CClientParams::ItemByIndex(const Variant& vntIndexKey) const {
  return ItemByIndexKey(m_params, vntIndexKey);
}

std::shared_ptr<CClientParam> CClientParams::Item(const Variant& vntIndexKey) const {
  return ItemByIndexKey(m_params, vntIndexKey);
}

void CClientParams::Remove(const Variant& vntIndexKey) {
  std::shared_ptr<CClientParam> param = ItemByIndexKey(m_params, vntIndexKey);
  if (param == nullptr) return;
  deallocate_entry(param);
  RemoveByIndexKey(m_params, vntIndexKey);
}

void CClientParams::Deallocate() {
  for (const auto& param : m_params.Snapshot()) deallocate_entry(param);
  m_params.Clear();
}

}  // namespace orvane
