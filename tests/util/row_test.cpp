#include "orvane/protocol/row.h"

#include <gtest/gtest.h>

#include "orvane/core/error.h"

namespace orvane {
namespace {

TEST(RowBuild, EmptyCellStaysBetweenTwoDelimiters) {
  CRow row;
  row.NewRow();
  row.AddCell("a");
  row.AddCell("");
  row.AddCell("c");
  EXPECT_EQ(row.RowVal(), Variant("aR,@R,@c"));

  row.Add(row.RowVal().TextValue());
  ASSERT_EQ(row.Count(), 3);
  EXPECT_EQ(row.Item(1), "a");
  EXPECT_EQ(row.Item(2), "");
  EXPECT_EQ(row.Item(3), "c");
}

TEST(RowBuild, NewRowStartsOverAndNumbersBecomeText) {
  CRow row;
  row.AddCell("old");
  row.NewRow();
  EXPECT_TRUE(row.RowVal().IsNull());
  row.AddCell(12.5);
  // A single cell is kept as given.
  EXPECT_EQ(row.RowVal(), Variant(12.5));
  row.AddCell(-3);
  row.AddCell(true);
  EXPECT_EQ(row.RowVal(), Variant("12.5R,@-3R,@True"));
}

TEST(RowBuild, NullFirstCellIsLostLaterNullIsEmptyCell) {
  CRow row;
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
  row.Add("aR,@b|c||");
  ASSERT_EQ(row.Count(), 4);
  EXPECT_EQ(row.Item(1), "aR,@b");
  EXPECT_EQ(row.Item(4), "");
}

TEST(RowRead, CountsAndBounds) {
  CRow row;
  EXPECT_EQ(row.Count(), 0);
  row.Add("R,@");
  EXPECT_EQ(row.Count(), 2);
  row.Add("");
  EXPECT_EQ(row.Count(), 0);
  // A partial delimiter is part of the cell.
  row.Add("aR,bR,@R,");
  ASSERT_EQ(row.Count(), 2);
  EXPECT_EQ(row.Item(1), "aR,b");
  EXPECT_EQ(row.Item(2), "R,");
  for (int32_t outside : {0, 3}) {
    try {
      (void)row.Item(outside);
      ADD_FAILURE() << "cell " << outside << " of 2 was read";
    } catch (const Error& e) {
      EXPECT_EQ(e.code(), ErrorCode::SubscriptOutOfRange);
    }
  }
}

TEST(RowRead, ReadingDoesNotTouchTheRowBeingBuilt) {
  CRow row;
  row.AddCell("a");
  row.Add("xR,@y");
  row.AddCell("b");
  EXPECT_EQ(row.RowVal(), Variant("aR,@b"));
  EXPECT_EQ(row.Count(), 2);
  row.Delimiter("");
  row.Add("xR,@y");
  EXPECT_EQ(row.Count(), 1);
}

}  // namespace
}  // namespace orvane
