// The durable store under the desk's load: batches of the changes that
// market orders make (an order number, an audit row, a position opened or
// closed with its history, totals, guard orders, market time), appended and
// committed, each commit synced to disk. The database lives in a fresh
// directory under the system's temporary directory, which should be a real
// disk, not memory, for the figure to mean anything.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <deque>
#include <filesystem>
#include <string>

#include "records.h"
#include "sqlite_store.h"

namespace orvane::apps {
namespace {

// The changes of one command after another, about a book of 100 accounts
// that keeps about 500 positions open.
class Orders {
 public:
  // Appends the changes of commands until `count` were appended.
  void AppendTo(Store& store, int count) {
    while (count > 0) count -= Command(store);
  }

 private:
  int Command(Store& store) {
    ++m_number;
    const int32_t account = 1000 + m_number % 100;
    const int32_t client = account / 10;
    int appended = 0;
    auto append = [&](model::Change change) {
      store.append(change);
      ++appended;
    };
    append(model::MarketTimeAdvanced{m_time = m_time + 1.0 / 86400, "03/03/2027 12:00:00"});
    if (m_open.size() < 500) {
      model::Position position{client, account, ++m_ticket, "03/03/2027 12:00:00", 1,
                               0.1 * (1 + m_number % 5), 2, 1.2345, 0, "client"};
      append(model::PositionOpened{position});
      append(model::OrderPlaced{{client, account, ++m_order, position.time, -1, position.lots, 2,
                                 2, 0, position.ticket, 1.2, 1.3, 0, "", ""}});
      m_open.push_back(position);
    } else {
      const model::Position& p = m_open.front();
      append(model::PositionClosed{p.client, p.account, p.ticket, 1.2351, 1, 6.0,
                                   "03/03/2027 12:00:00", "client"});
      append(model::OrderRemoved{p.client, p.account, m_order - 499, "position closed"});
      append(model::HistoryAdded{{p.client, p.account, p.ticket, "03/03/2027 12:00:00", 2, p.lots,
                                  1, p.time, p.price, 1.2351, 0.3, 0, 1, 6.0, "client"}});
      m_open.pop_front();
    }
    append(model::TotalsBooked{client, account, {0.3, -100, 6.0 * m_number, 2000, 0, 0, 0}});
    append(model::OrderNumberUsed{{"user" + std::to_string(client), m_number, 0, "",
                                   m_ticket, 1.2345}});
    append(model::AuditAdded{{client, account, "12:00:00 buy 0.1 EURUSD at 1.2345 executed"}});
    return appended;
  }

  int32_t m_number = 0, m_ticket = 0, m_order = 0;
  DateTime m_time = DateTime::FromParts(2027, 3, 3, 12, 0, 0);
  std::deque<model::Position> m_open;
};

void BM_SqliteStoreCommits(benchmark::State& state) {
  std::string path = (std::filesystem::temp_directory_path() / "orvane-store.XXXXXX").string();
  if (::mkdtemp(path.data()) == nullptr) {
    state.SkipWithError("no temporary directory");
    return;
  }
  {
    auto store = SqliteStore::open(path);
    Orders orders;
    const int batch = static_cast<int>(state.range(0));
    for (auto _ : state) {
      orders.AppendTo(*store, batch);
      if (!store->commit().ok()) state.SkipWithError("commit failed");
    }
    state.SetItemsProcessed(state.iterations() * batch);
  }
  std::filesystem::remove_all(path);
}
BENCHMARK(BM_SqliteStoreCommits)->Arg(1)->Arg(10)->Arg(100)->Arg(1000)->UseRealTime();

}  // namespace
}  // namespace orvane::apps
