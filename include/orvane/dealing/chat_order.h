#ifndef ORVANE_DEALING_CHAT_ORDER_H_
#define ORVANE_DEALING_CHAT_ORDER_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "orvane/core/date_time.h"
#include "orvane/core/object.h"
#include "orvane/dealing/new_or_liquidate_enum.h"
#include "orvane/vocabulary/market_or_limit_order_enum.h"
#include "orvane/vocabulary/market_order_status_enum.h"
#include "orvane/vocabulary/operation_type_enum.h"

namespace orvane {

// One market order while client and dealer negotiate it: what was asked, who
// deals it, and the timing of its hand-over to a dealer. The hosts run the
// negotiation; the record keeps its state. Every time is read through the
// process-wide clock (orvane::Now()).
//
// Only two accessors have side effects: writing Dealer stamps ReceivedTime,
// and the hand-over operations below change the sent time.
class CChatOrder : public Object, public ISafeObject, private NonCopyable {
 public:
  // Stamps CreatedDate with now; the order starts not sent.
  CChatOrder();

  // When the record was created.
  DateTime CreatedDate() const { return m_created_date; }

  // Marks the order as sent to a dealer now.
  void OrderSentNow();
  // Returns the order to no dealer: Dealer -1 (stamping ReceivedTime), not
  // sent, and SentToDealer released (after its Deallocate when it offers
  // ISafeObject).
  void OrderNotSent();
  bool IsSent() const { return m_sent_time.has_value(); }
  // Whole seconds between the sending and now, as an absolute value (a clock
  // set back never gives a negative count); -1 when the order is not sent.
  // Both times are taken to the nearest second before they are compared.
  int32_t TimeAfterSend() const;

  int32_t ID() const { return m_id; }
  void ID(int32_t value) { m_id = value; }

  // The dealer handling the order, -1 for none. Writing it also sets
  // ReceivedTime to now.
  int32_t Dealer() const { return m_dealer; }
  void Dealer(int32_t value);

  int32_t AccountID() const { return m_account_id; }
  void AccountID(int32_t value) { m_account_id = value; }

  int32_t ClientID() const { return m_client_id; }
  void ClientID(int32_t value) { m_client_id = value; }

  int32_t SymbolID() const { return m_symbol_id; }
  void SymbolID(int32_t value) { m_symbol_id = value; }

  OperationTypeEnum BuySell() const { return m_buy_sell; }
  void BuySell(OperationTypeEnum value) { m_buy_sell = value; }

  // The requested amount, in lots.
  double lots() const { return m_lots; }
  void lots(double value) { m_lots = value; }

  // The amount of the position being closed, in lots.
  double OpenLots() const { return m_open_lots; }
  void OpenLots(double value) { m_open_lots = value; }

  double Price() const { return m_price; }
  void Price(double value) { m_price = value; }

  double OpenPrice() const { return m_open_price; }
  void OpenPrice(double value) { m_open_price = value; }

  int32_t OpenTicket() const { return m_open_ticket; }
  void OpenTicket(int32_t value) { m_open_ticket = value; }

  double RefHitPrice() const { return m_ref_hit_price; }
  void RefHitPrice(double value) { m_ref_hit_price = value; }

  double hitPrice() const { return m_hit_price; }
  void hitPrice(double value) { m_hit_price = value; }

  NewOrLiquidateEnum NewOrLiquidate() const { return m_new_or_liquidate; }
  void NewOrLiquidate(NewOrLiquidateEnum value) { m_new_or_liquidate = value; }

  MarketOrderStatusEnum status() const { return m_status; }
  void status(MarketOrderStatusEnum value) { m_status = value; }

  MarketOrLimitOrderEnum MarketOrLimitOrder() const { return m_market_or_limit_order; }
  void MarketOrLimitOrder(MarketOrLimitOrderEnum value) { m_market_or_limit_order = value; }

  int32_t ClientSID() const { return m_client_sid; }
  void ClientSID(int32_t value) { m_client_sid = value; }

  int32_t MakerClientID() const { return m_maker_client_id; }
  void MakerClientID(int32_t value) { m_maker_client_id = value; }

  const std::string& MakerClientIP() const { return m_maker_client_ip; }
  void MakerClientIP(std::string value) { m_maker_client_ip = std::move(value); }

  // The dealer connection or session the order went to (any host object).
  const std::shared_ptr<Object>& SentToDealer() const { return m_sent_to_dealer; }
  void SentToDealer(std::shared_ptr<Object> value) { m_sent_to_dealer = std::move(value); }

  DateTime RequestTime() const { return m_request_time; }
  void RequestTime(DateTime value) { m_request_time = value; }

  // The order was placed by the system, not a person.
  bool FromSystem() const { return m_from_system; }
  void FromSystem(bool value) { m_from_system = value; }

  DateTime DealerTime() const { return m_dealer_time; }
  void DealerTime(DateTime value) { m_dealer_time = value; }

  // When the current dealer got the order.
  DateTime ReceivedTime() const { return m_received_time; }
  void ReceivedTime(DateTime value) { m_received_time = value; }

  const std::string& DeliveryItems() const { return m_delivery_items; }
  void DeliveryItems(std::string value) { m_delivery_items = std::move(value); }

  const std::string& Note() const { return m_note; }
  void Note(std::string value) { m_note = std::move(value); }

  // Releases SentToDealer (without calling its Deallocate).
  void Deallocate() override { m_sent_to_dealer.reset(); }

 private:
  DateTime m_created_date;
  std::optional<DateTime> m_sent_time;
  int32_t m_id = 0;
  int32_t m_dealer = 0;
  int32_t m_account_id = 0;
  int32_t m_client_id = 0;
  int32_t m_symbol_id = 0;
  OperationTypeEnum m_buy_sell = static_cast<OperationTypeEnum>(0);
  double m_lots = 0.0;
  double m_open_lots = 0.0;
  double m_price = 0.0;
  double m_open_price = 0.0;
  int32_t m_open_ticket = 0;
  double m_ref_hit_price = 0.0;
  double m_hit_price = 0.0;
  NewOrLiquidateEnum m_new_or_liquidate = static_cast<NewOrLiquidateEnum>(0);
  MarketOrderStatusEnum m_status = static_cast<MarketOrderStatusEnum>(0);
  MarketOrLimitOrderEnum m_market_or_limit_order = static_cast<MarketOrLimitOrderEnum>(0);
  int32_t m_client_sid = 0;
  int32_t m_maker_client_id = 0;
  std::string m_maker_client_ip;
  std::shared_ptr<Object> m_sent_to_dealer;
  DateTime m_request_time;
  bool m_from_system = false;
  DateTime m_dealer_time;
  DateTime m_received_time;
  std::string m_delivery_items;
  std::string m_note;
};

}  // namespace orvane

#endif  // ORVANE_DEALING_CHAT_ORDER_H_
