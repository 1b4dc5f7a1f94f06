#include "orvane/accounts/orders.h"

#include "orvane/clients/client_param.h"
#include "orvane/core/conversions.h"
#include "orvane/core/error.h"
#include "orvane/core/keyed_lookup.h"
#include "orvane/market/symbol.h"

namespace orvane {
namespace {

// The number the symbol's price format gives for `value`.
double formatted_price(const std::shared_ptr<CClientParam>& param, double value) {
  if (!param || !param->Symbol()) {
    throw Error(ErrorCode::ObjectRequired, "order has no symbol parameter entry");
  }
  double stored = 0;
  ParseLocalNumber(param->Symbol()->FormatPrice(value), stored);
  return stored;
}

}  // namespace

void COrder::LimitPrice(double value) {
  m_limit_price = formatted_price(m_symbol_param, value);
}

void COrder::slPrice(double value) {
  m_sl_price = formatted_price(m_symbol_param, value);
}

void COrder::tpPrice(double value) {
  m_tp_price = formatted_price(m_symbol_param, value);
}

std::shared_ptr<COrder> COrders::Add(int16_t status, double tpPrice, double slPrice,
                                     double LimitPrice,
                                     const std::shared_ptr<CClientParam>& SymParam,
                                     double lots, int32_t IoID,
                                     OperationTypeEnum operationType,
                                     OrdersTypeEnum OrderType, int32_t OrderId,
                                     double hitPrice, DateTime hitTime,
                                     std::string OrderTime, std::string Note,
                                     const std::shared_ptr<CAccount>& vAccount) {
  auto order = std::make_shared<COrder>();
  order->SymbolParam(SymParam);
  order->tpPrice(tpPrice);
  order->slPrice(slPrice);
  order->LimitPrice(LimitPrice);
  order->lots(lots);
  order->IoID(IoID);
  order->operationType(operationType);
  order->OrderType(OrderType);
  order->OrderId(OrderId);
  order->status(status);
  order->hitPrice(hitPrice);
  order->hitTime(hitTime);
  order->OrderTime(std::move(OrderTime));
  order->Note(std::move(Note));
  order->Account(vAccount);
  if (!m_items.Add(KeyOf(OrderId), order)) return nullptr;
  return order;
}

std::shared_ptr<COrder> COrders::Item(const Variant& vntIndexKey) const {
  return ItemByIndexKey(m_items, vntIndexKey);
}

void COrders::Remove(const Variant& vntIndexKey) {
  RemoveByIndexKey(m_items, vntIndexKey);
}

}  // namespace orvane
