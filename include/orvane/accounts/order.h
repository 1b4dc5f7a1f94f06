#ifndef ORVANE_ACCOUNTS_ORDER_H_
#define ORVANE_ACCOUNTS_ORDER_H_

#include <cstdint>
#include <memory>
#include <string>

#include "orvane/core/date_time.h"
#include "orvane/core/object.h"
#include "orvane/vocabulary/operation_type_enum.h"
#include "orvane/vocabulary/orders_type_enum.h"

namespace orvane {

class CAccount;
class CClientParam;

// A pending order of an account: a limit or stop entry order, or the
// stop-loss/take-profit order of an open position (IoID is that position's
// Ticket). A plain record; the account engine checks it against prices.
//
// status: 0 waiting (checked for hits), 1 or 11 hit and being executed;
// other values belong to the host. slPrice and tpPrice of 0 or less mean no
// such level. Account is a back reference, held weakly.
class COrder : public Object, private NonCopyable {
 public:
  COrder() = default;

  int32_t OrderId() const { return m_order_id; }
  void OrderId(int32_t value) { m_order_id = value; }
  OrdersTypeEnum OrderType() const { return m_order_type; }
  void OrderType(OrdersTypeEnum value) { m_order_type = value; }
  OperationTypeEnum operationType() const { return m_operation_type; }
  void operationType(OperationTypeEnum value) { m_operation_type = value; }
  int32_t IoID() const { return m_io_id; }
  void IoID(int32_t value) { m_io_id = value; }
  double lots() const { return m_lots; }
  void lots(double value) { m_lots = value; }
  const std::shared_ptr<CClientParam>& SymbolParam() const { return m_symbol_param; }
  void SymbolParam(std::shared_ptr<CClientParam> value) { m_symbol_param = std::move(value); }
  // The three price setters store the value rounded to the symbol's price
  // format (the number FormatPrice gives); SymbolParam must be set first,
  // else they throw Error(ObjectRequired) and keep the old value.
  double LimitPrice() const { return m_limit_price; }
  void LimitPrice(double value);
  double slPrice() const { return m_sl_price; }
  void slPrice(double value);
  double tpPrice() const { return m_tp_price; }
  void tpPrice(double value);
  int16_t status() const { return m_status; }
  void status(int16_t value) { m_status = value; }
  double hitPrice() const { return m_hit_price; }
  void hitPrice(double value) { m_hit_price = value; }
  DateTime hitTime() const { return m_hit_time; }
  void hitTime(DateTime value) { m_hit_time = value; }
  const std::string& OrderTime() const { return m_order_time; }
  void OrderTime(std::string value) { m_order_time = std::move(value); }
  const std::string& Note() const { return m_note; }
  void Note(std::string value) { m_note = std::move(value); }
  std::shared_ptr<CAccount> Account() const { return m_account.lock(); }
  void Account(const std::shared_ptr<CAccount>& value) { m_account = value; }

 private:
  int32_t m_order_id = 0;
  OrdersTypeEnum m_order_type = static_cast<OrdersTypeEnum>(0);
  OperationTypeEnum m_operation_type = static_cast<OperationTypeEnum>(0);
  int32_t m_io_id = 0;
  double m_lots = 0;
  double m_limit_price = 0;
  double m_sl_price = 0;
  double m_tp_price = 0;
  int16_t m_status = 0;
  double m_hit_price = 0;
  DateTime m_hit_time;
  std::shared_ptr<CClientParam> m_symbol_param;
  std::string m_order_time;
  std::string m_note;
  std::weak_ptr<CAccount> m_account;
};

}  // namespace orvane

#endif  // ORVANE_ACCOUNTS_ORDER_H_
