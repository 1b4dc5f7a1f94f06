#ifndef ORVANE_CLIENTS_CLIENT_PARAM_CL_H_
#define ORVANE_CLIENTS_CLIENT_PARAM_CL_H_

#include "orvane/clients/client_param_entry.h"

namespace orvane {

// The full parameter entry of a client for a symbol: besides the spread,
// source plus, commission and price offset it keeps the lot limits and the
// order offsets (stored as given; no minimum is applied to MinLots).
class CClientParamCl final : public ClientParamEntry {
 public:
  CClientParamCl() = default;

  double MaxLots() const override { return m_max_lots; }
  void MaxLots(double value) override { m_max_lots = value; }
  double MinLots() const override { return m_min_lots; }
  void MinLots(double value) override { m_min_lots = value; }
  double LimitOffset() const override { return m_limit_offset; }
  void LimitOffset(double value) override { m_limit_offset = value; }
  double StopOffset() const override { return m_stop_offset; }
  void StopOffset(double value) override { m_stop_offset = value; }

 private:
  double m_max_lots = 0.0;
  double m_min_lots = 0.0;
  double m_limit_offset = 0.0;
  double m_stop_offset = 0.0;
};

}  // namespace orvane

#endif  // ORVANE_CLIENTS_CLIENT_PARAM_CL_H_
