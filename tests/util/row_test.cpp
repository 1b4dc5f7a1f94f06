#include "orvane/util/row.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "orvane/core/error.h"
#include "support/errors.h"

namespace orvane {
namespace {

std::vector<std::string> Read(CRow& row, const std::string& text) {
  row.Add(text);
  std::vector<std::string> cells;
  for (int32_t i = 1; i <= row.Count(); ++i) cells.push_back(row.Item(i));
  return cells;
}

TEST(RowBuild, CellsJoinAndNullsAndNumbers) {
  CRow row;
  row.AddCell("old");
  row.NewRow();
  EXPECT_TRUE(row.RowVal().IsNull());
  row.AddCell("a");
  row.AddCell("");
  row.AddCell("c");
  EXPECT_EQ(row.RowVal(), Variant("aR,@R,@c"));
  EXPECT_EQ(Read(row, row.RowVal().TextValue()), (std::vector<std::string>{"a", "", "c"}));

  // A single cell is kept as given; later cells turn it into text.
  row.NewRow();
  row.AddCell(12.5);
  EXPECT_EQ(row.RowVal(), Variant(12.5));
  row.AddCell(-3);
  row.AddCell(true);
  EXPECT_EQ(row.RowVal(), Variant("12.5R,@-3R,@True"));

  // A null first cell is lost; a later null is an empty cell.
  row.NewRow();
  row.AddCell(Null);
  EXPECT_TRUE(row.RowVal().IsNull());
  row.AddCell("x");
  row.AddCell(Null);
  row.AddCell("y");
  EXPECT_EQ(row.RowVal(), Variant("xR,@R,@y"));
}

TEST(RowBuild, ChangedDelimiterJoinsAndSplits) {
  CRow row;
  row.Delimiter("|");
  row.AddCell("1");
  row.AddCell("2");
  EXPECT_EQ(row.RowVal(), Variant("1|2"));
  EXPECT_EQ(Read(row, "aR,@b|c||"), (std::vector<std::string>{"aR,@b", "c", "", ""}));
  row.Delimiter("");
  EXPECT_EQ(Read(row, "xR,@y"), (std::vector<std::string>{"xR,@y"}));
}

TEST(RowRead, CountsAndBounds) {
  CRow row;
  EXPECT_EQ(row.Count(), 0);
  EXPECT_EQ(Read(row, "R,@").size(), 2u);
  EXPECT_EQ(Read(row, "").size(), 0u);
  // A partial delimiter is part of the cell.
  EXPECT_EQ(Read(row, "aR,bR,@R,"), (std::vector<std::string>{"aR,b", "R,"}));
  for (int32_t outside : {0, 3}) {
    EXPECT_EQ(test::ErrorOf([&] { (void)row.Item(outside); }).code,
              ErrorCode::SubscriptOutOfRange)
        << "cell " << outside << " of 2";
  }
  // Reading does not touch the row being built.
  row.NewRow();
  row.AddCell("a");
  row.Add("xR,@y");
  row.AddCell("b");
  EXPECT_EQ(row.RowVal(), Variant("aR,@b"));
  EXPECT_EQ(row.Count(), 2);
}

}  // namespace
}  // namespace orvane
