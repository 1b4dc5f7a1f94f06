// The terminal's order language: what each kind of line reads as, and that
// a line with anything wrong is refused with what was wrong.

#include "command.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace orvane::apps {
namespace {

using Verb = Command::Verb;

TEST(CommandTest, LinesReadAsTheirOrders) {
  Command c = *read_command("buy EURUSD 0.5 sl 1.0950 tp +30p account 12290");
  EXPECT_EQ(c.verb, Verb::kBuy);
  EXPECT_EQ(c.symbol, "EURUSD");
  EXPECT_DOUBLE_EQ(c.lots, 0.5);
  EXPECT_DOUBLE_EQ(c.sl.value, 1.0950);
  EXPECT_FALSE(c.sl.in_pips);
  EXPECT_DOUBLE_EQ(c.tp.value, 30);
  EXPECT_TRUE(c.tp.in_pips);
  EXPECT_EQ(c.account, 12290);

  c = *read_command("stop sell GBPUSD 0.1 at -25p tp 1.2 expires 05/03/2027 17:00:00");
  EXPECT_EQ(c.verb, Verb::kEntry);
  EXPECT_EQ(c.direction, -2);
  EXPECT_DOUBLE_EQ(c.price.value, -25);
  EXPECT_TRUE(c.price.in_pips);
  EXPECT_EQ(c.expiry, "05/03/2027 17:00:00");
  EXPECT_EQ(read_command("limit buy X 1 at 1.1")->direction, 1);
  EXPECT_EQ(read_command("stop buy X 1 at 1.1")->direction, 2);
  EXPECT_EQ(read_command("limit sell X 1 at 1.1")->direction, -1);
  EXPECT_DOUBLE_EQ(read_command("limit sell X 1 at 1.1 expires +2h")->expires_in, 7200);
  EXPECT_DOUBLE_EQ(read_command("limit sell X 1 at 1.1 expires +90s")->expires_in, 90);

  c = *read_command("change 500363 0.3 at 1.0760 sl -20p");
  EXPECT_EQ(c.verb, Verb::kChange);
  EXPECT_EQ(c.order, 500363);
  EXPECT_DOUBLE_EQ(c.lots, 0.3);
  c = *read_command("close #2 0.2");
  EXPECT_EQ(c.verb, Verb::kClose);
  EXPECT_EQ(c.ticket, "#2");
  EXPECT_DOUBLE_EQ(c.lots, 0.2);
  EXPECT_DOUBLE_EQ(read_command("close 1042")->lots, 0);  // the whole position
  c = *read_command("hedge 1042 #3");
  EXPECT_EQ(c.ticket, "1042");
  EXPECT_EQ(c.other, "#3");
  EXPECT_TRUE(read_command("sltp 1042 off")->off);
  EXPECT_DOUBLE_EQ(read_command("sltp 1042 tp 1.3")->tp.value, 1.3);
  EXPECT_EQ(read_command("history 12290")->account, 12290);
  EXPECT_EQ(read_command("  positions")->verb, Verb::kPositions);
  EXPECT_FALSE(read_command("   ").has_value());
  EXPECT_FALSE(read_command("# a comment").has_value());
}

TEST(CommandTest, AWrongLineSaysWhatIsWrong) {
  const struct {
    const char* line;
    const char* said;
  } cases[] = {
      {"buy EURUSD", "missing the lots"},
      {"buy EURUSD lots", "the lots must be a number"},
      {"buy EURUSD 1 sl", "missing the stop-loss"},
      {"buy EURUSD 1 sl 20p", "price or +Np/-Np"},
      {"buy EURUSD 1 sl -1.1", "price or +Np/-Np"},
      {"buy EURUSD 1 expires +1h", "unknown option 'expires'"},
      {"limit hold EURUSD 1 at 1.1", "expected buy or sell"},
      {"limit buy EURUSD 1 1.1", "expected 'at'"},
      {"limit buy EURUSD 1 at 1.1 expires tomorrow noon", "dd/mm/yyyy"},
      {"limit buy EURUSD 1 at 1.1 expires +0h", "positive N"},
      {"change 5 1 at 1.1 account 3", "unknown option 'account'"},
      {"close", "missing the ticket"},
      {"close #0", "a ticket is a number or #N"},
      {"close 12x", "a ticket is a number or #N"},
      {"sltp 1042", "give a stop-loss, a take-profit, or off"},
      {"sltp 1042 off now", "unexpected 'now'"},
      {"positions now", "unexpected 'now'"},
      {"sell-all", "unknown command 'sell-all'"},
  };
  for (const auto& c : cases) {
    try {
      read_command(c.line);
      ADD_FAILURE() << c.line << ": read";
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find(c.said), std::string::npos)
          << c.line << ": " << e.what();
    }
  }
}

}  // namespace
}  // namespace orvane::apps
