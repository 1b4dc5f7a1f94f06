#ifndef ORVANE_SESSION_INTERACTIVE_FORM_H_
#define ORVANE_SESSION_INTERACTIVE_FORM_H_

#include <cstdint>

#include "orvane/core/object.h"
#include "orvane/vocabulary/transaction_type_enum.h"

namespace orvane {

// The stage a host screen is in.
enum FormPhaseEnum : int32_t {
  InActivePhase = 1,
  NormalPhase = 2,
  WaitingPhase = 3,
  ResultreceivedPhase = 4,
  LoadingDataPhase = 5,
  FreezePhase = 6,
};

// The contract a host's screens implement. This class itself does nothing:
// every operation is empty, SecureForm refuses (false) and Phase reads as 0
// whatever was set; a screen overrides what it supports.
class IInteractiveForm : public Object {
 public:
  virtual void ShowForm() {}
  virtual void HideForm() {}
  // Whether the user may carry out that kind of change on the screen.
  virtual bool SecureForm(TransactionTypeEnum vAction) {
    (void)vAction;
    return false;
  }
  virtual void Freeze(int16_t SpecificID = 1) { (void)SpecificID; }
  virtual void UnFreeze(int16_t SpecificID = 1) { (void)SpecificID; }
  virtual void ValidateData() {}
  virtual FormPhaseEnum Phase() const { return static_cast<FormPhaseEnum>(0); }
  virtual void Phase(FormPhaseEnum value) { (void)value; }
};

}  // namespace orvane

#endif  // ORVANE_SESSION_INTERACTIVE_FORM_H_
