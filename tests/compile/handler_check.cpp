// Built by the "handler_check" tests with -fsyntax-only: the handler with the
// event's own parameters compiles; with ORVANE_MISMATCHED_HANDLER its event
// takes its arguments by value, hides UpdateListView, and Advise must refuse
// it at compile time.
#include "orvane/accounts/accounts_transactions.h"

class Host : public orvane::CAccountsTransactionsEvents {
 public:
#ifdef ORVANE_MISMATCHED_HANDLER
  void UpdateListView(int32_t client, int32_t account, double balance, double flt,
                      double credit, double equity, double margin_req, double margin_level,
                      double eff_margin, int32_t open_positions) {
#else
  void UpdateListView(int32_t& client, int32_t& account, double& balance, double& flt,
                      double& credit, double& equity, double& margin_req,
                      double& margin_level, double& eff_margin, int32_t& open_positions) {
#endif
    last = client + account + open_positions;
    figures = balance + flt + credit + equity + margin_req + margin_level + eff_margin;
  }
  int32_t last = 0;
  double figures = 0;
};

void AdviseHost(orvane::CAccountsTransactions& engine, Host& host) { engine.Advise(&host); }
