#ifndef ORVANE_ACCOUNTS_OPEN_POSITION_H_
#define ORVANE_ACCOUNTS_OPEN_POSITION_H_

#include <cstdint>
#include <memory>
#include <string>

#include "orvane/core/object.h"
#include "orvane/vocabulary/comm_calc_type_enum.h"
#include "orvane/vocabulary/operation_type_enum.h"

namespace orvane {

class CAccount;
class CClientParam;
class COpenPositions;

// One open position of an account. It knows its symbol only through the
// owning client's parameter entry (SymbolParam), so every price it reads is
// the client's price with spread. Money results are in account currency.
//
// The price operations need SymbolParam and its Symbol (and, for
// RefClosePrice and FloatingProfitLoss, SymbolParam's Parent, the entry of
// the reference symbol); when one is missing they throw
// Error(ObjectRequired) and change nothing. Account is a back reference,
// held weakly.
class COpenPosition : public Object, public ISafeObject, private NonCopyable {
 public:
  COpenPosition() = default;
  ~COpenPosition() override = default;

  // Books one period of interest: rate (YearlyBuyRate for a buy, otherwise
  // YearlySellRate, used as given) x (vDayFactor x lots x symbol Factor) /
  // YearDays, rounded to cents halves to even; adds it to Interest and
  // returns it. Throws Error(InvalidArgument) for YearDays 0, changing
  // nothing.
  double AddInterest(int16_t vDayFactor, double YearlyBuyRate,
                     double YearlySellRate, int16_t YearDays);
  // The symbol's deal profit from Price to ClosePrice, converted through
  // RefClosePrice; commission and interest enter for ON_CLOSE_TYPE only.
  // Rounded to cents, halves to even.
  double FloatingProfitLoss(CommCalcTypeEnum vCommCalcType) const;
  // The client's close price of the reference symbol in this direction.
  double RefClosePrice() const;
  // The client's close price now: the bid with spread for a buy, the ask
  // with spread otherwise.
  double ClosePrice() const;

  int32_t Ticket() const { return m_ticket; }
  void Ticket(int32_t value) { m_ticket = value; }
  OperationTypeEnum Type_no() const { return m_type_no; }
  void Type_no(OperationTypeEnum value);
  double lots() const { return m_lots; }
  void lots(double value);
  double Interest() const { return m_interest; }
  void Interest(double value);
  const std::shared_ptr<CClientParam>& SymbolParam() const { return m_symbol_param; }
  void SymbolParam(std::shared_ptr<CClientParam> value);
  // Open price. The setter stores the value rounded to the symbol's price
  // format (the number FormatPrice gives); SymbolParam must be set first.
  double Price() const { return m_price; }
  void Price(double value);
  bool Liquidated() const { return m_liquidated; }
  void Liquidated(bool value) { m_liquidated = value; }
  std::shared_ptr<CAccount> Account() const { return m_account.lock(); }
  void Account(const std::shared_ptr<CAccount>& value) { m_account = value; }
  const std::string& PosTime() const { return m_pos_time; }
  void PosTime(std::string value) { m_pos_time = std::move(value); }
  const std::string& Note() const { return m_note; }
  void Note(std::string value) { m_note = std::move(value); }
  // The commission of the position's lots, as a cost (negative).
  double Commission() const;

  // Clears Account.
  void Deallocate() override { m_account.reset(); }

 private:
  friend class COpenPositions;

  // Tells the collection holding the position that a figure it prices with
  // changed.
  void FiguresChanged();

  int32_t m_ticket = 0;
  OperationTypeEnum m_type_no = static_cast<OperationTypeEnum>(0);
  double m_lots = 0;
  double m_interest = 0;
  double m_price = 0;
  bool m_liquidated = false;
  std::shared_ptr<CClientParam> m_symbol_param;
  std::weak_ptr<CAccount> m_account;
  std::string m_pos_time;
  std::string m_note;
  // The collection the position is a member of, while it is one.
  COpenPositions* m_owner = nullptr;
};

}  // namespace orvane

#endif  // ORVANE_ACCOUNTS_OPEN_POSITION_H_
