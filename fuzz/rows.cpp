// Feeds arbitrary text to the row reader and to every row and list splitter:
// none may crash, hang or leak; bad input ends in orvane::Error at most.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "orvane/core/error.h"
#include "orvane/util/generals.h"
#include "orvane/util/row.h"
#include "orvane/util/string_values.h"

namespace {

template <typename F>
void Guarded(F&& f) {
  try {
    f();
  } catch (const orvane::Error&) {
  }
}

void ReadRow(std::string_view text, std::string_view delimiter) {
  orvane::CRow row;
  row.Delimiter(delimiter);
  row.Add(text);
  const int32_t count = row.Count();
  for (int32_t i = 0; i <= count + 1; ++i) {
    Guarded([&] { (void)row.Item(i); });
  }
  row.NewRow();
  for (int32_t i = 1; i <= count && i <= 32; ++i) row.AddCell(row.Item(i));
}

void SplitRows(orvane::CGenerals& g, std::string_view text) {
  Guarded([&] {
    int32_t client, account, ticket, cur;
    std::string time, sl, tp, name, method, note;
    orvane::OperationTypeEnum buy_sell;
    double lots, price, original, interest;
    int16_t checked;
    g.SplitPosRow(text, client, account, ticket, time, buy_sell, lots, cur,
                  price, sl, tp, checked, original, name, interest, method, note);
  });
  std::string s[17];
  Guarded([&] {
    g.SplitOrderRow(text, s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7], s[8],
                    s[9], s[10], s[11]);
  });
  Guarded([&] {
    g.SplitOrderAuditRow(text, s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7],
                         s[8], s[9], s[10], s[11], s[12], s[13], s[14], s[15]);
  });
  Guarded([&] {
    g.SplitHistoryRow(text, s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7], s[8],
                      s[9], s[10], s[11], s[12], s[13], s[14], s[15], s[16]);
  });
  Guarded([&] {
    std::vector<std::string> a[10];
    g.SplitClosesPos(text, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8],
                     a[9]);
  });
  Guarded([&] {
    std::vector<int32_t> sym;
    std::vector<orvane::Variant> spread;
    std::vector<int16_t> plus, offset;
    std::vector<double> limit, stop, comm, max_lots, min_lots;
    g.SplitClientParameters(text, sym, spread, plus, limit, stop, comm, max_lots,
                            min_lots, offset);
  });
  (void)g.BuySellCode(text);
}

void ReadValues(std::string_view text) {
  const orvane::CStringValues sv;
  std::string rest;
  (void)sv.get_first_val(std::string(text), rest);
  (void)sv.get_element(text, static_cast<int16_t>(text.size() % 7), ",");
  (void)sv.equal_one_of("a", text, ";;");
  (void)sv.TimeToDouble(text);
  (void)sv.Code(sv.DeCode(text));
  for (int layout = 0; layout <= 10; ++layout) {
    Guarded([&] {
      (void)sv.ToDateTime(text, "/", ":",
                          static_cast<orvane::DateFormatsEnum>(layout));
    });
    (void)sv.FormatGMTDate(text, 3, 1, orvane::ServerToClient, "-", ".",
                           static_cast<orvane::DateFormatsEnum>(layout));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  orvane::CGenerals generals;
  ReadRow(text, orvane::CRow::kDefaultDelimiter);
  ReadRow(text, text.substr(0, size % 3));
  SplitRows(generals, text);
  ReadValues(text);
  return 0;
}
