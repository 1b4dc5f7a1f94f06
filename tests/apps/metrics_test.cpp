// The metrics registry: the exact text of each kind of metric, labelled
// families kept together, cumulative buckets, number spelling, escaping, and
// the registrations it refuses.

#include "metrics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvane::apps {
namespace {

TEST(MetricsTest, RendersEachKindExactlyWithLabelledFamiliesTogether) {
  Metrics metrics;
  Counter& eurusd = metrics.add_counter("orders_total", "Orders taken.", "symbol", "EURUSD");
  Counter& plain = metrics.add_counter("logons_total", "Log-ons.");
  double sessions = 3;
  metrics.add_gauge("sessions", "Sessions open.", [&] { return sessions; });
  Counter& usdjpy = metrics.add_counter("orders_total", "ignored", "symbol", "USDJPY");
  eurusd.add(2);
  usdjpy.add();
  plain.add(7);
  sessions = 2.5;  // read when rendered, not when registered

  EXPECT_EQ(metrics.render(),
            "# HELP orders_total Orders taken.\n"
            "# TYPE orders_total counter\n"
            "orders_total{symbol=\"EURUSD\"} 2\n"
            "orders_total{symbol=\"USDJPY\"} 1\n"
            "# HELP logons_total Log-ons.\n"
            "# TYPE logons_total counter\n"
            "logons_total 7\n"
            "# HELP sessions Sessions open.\n"
            "# TYPE sessions gauge\n"
            "sessions 2.5\n");
  EXPECT_EQ(eurusd.value(), 2u);
}

TEST(MetricsTest, HistogramBucketsAreCumulativeAndEndInInf) {
  Metrics metrics;
  Histogram& latency = metrics.add_histogram("latency_seconds", "Answer time.", {0.001, 0.5, 2});
  // A value on a bound belongs to that bound's bucket.
  for (double v : {0.0005, 0.001, 0.25, 2.0, 7.0, 9.0}) latency.observe(v);

  EXPECT_EQ(metrics.render(),
            "# HELP latency_seconds Answer time.\n"
            "# TYPE latency_seconds histogram\n"
            "latency_seconds_bucket{le=\"0.001\"} 2\n"
            "latency_seconds_bucket{le=\"0.5\"} 3\n"
            "latency_seconds_bucket{le=\"2\"} 4\n"
            "latency_seconds_bucket{le=\"+Inf\"} 6\n"
            "latency_seconds_sum 18.2515\n"
            "latency_seconds_count 6\n");

  latency.observe(std::nan(""));  // counted above every bound
  EXPECT_EQ(latency.bucket(3), 3u);
  EXPECT_EQ(latency.count(), 7u);
  EXPECT_TRUE(std::isnan(latency.sum()));
}

TEST(MetricsTest, EmptyHistogramHasOnlyTheInfBucket) {
  Metrics metrics;
  metrics.add_histogram("h", "", {});
  EXPECT_EQ(metrics.render(),
            "# HELP h \n# TYPE h histogram\nh_bucket{le=\"+Inf\"} 0\nh_sum 0\nh_count 0\n");
}

TEST(MetricsTest, NumbersAreSpelledAsPrometheusReadsThem) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(prometheus_number(0.1), "0.1");
  EXPECT_EQ(prometheus_number(5), "5");
  EXPECT_EQ(prometheus_number(-0.25), "-0.25");
  EXPECT_EQ(prometheus_number(1e20), "1e+20");
  EXPECT_EQ(prometheus_number(100000), "100000");
  EXPECT_EQ(prometheus_number(0.0001), "0.0001");
  EXPECT_EQ(prometheus_number(0.00001), "1e-05");
  EXPECT_EQ(prometheus_number(1.0 / 3), "0.3333333333333333");
  EXPECT_EQ(prometheus_number(inf), "+Inf");
  EXPECT_EQ(prometheus_number(-inf), "-Inf");
  EXPECT_EQ(prometheus_number(std::nan("")), "NaN");
}

TEST(MetricsTest, EscapesLabelValuesAndHelp) {
  Metrics metrics;
  metrics.add_counter("c", "a \\ and\n\"quoted\"", "user", "x\\y\"z\nw");
  EXPECT_EQ(metrics.render(),
            "# HELP c a \\\\ and\\n\"quoted\"\n"
            "# TYPE c counter\n"
            "c{user=\"x\\\\y\\\"z\\nw\"} 0\n");
}

TEST(MetricsTest, CountersStayValidWhileMoreAreRegistered) {
  Metrics metrics;
  Counter& first = metrics.add_counter("first", "", "k", "v0");
  for (int i = 1; i < 200; ++i) metrics.add_counter("first", "", "k", "v" + std::to_string(i));
  for (int i = 0; i < 200; ++i) metrics.add_counter("other_" + std::to_string(i), "");
  first.add(41);
  first.add();
  EXPECT_NE(metrics.render().find("first{k=\"v0\"} 42\n"), std::string::npos);
}

TEST(MetricsTest, RefusesBadRegistrationsAndChangesNothing) {
  Metrics metrics;
  metrics.add_counter("taken", "");
  metrics.add_counter("family", "", "kind", "a");
  metrics.add_histogram("h", "", {1});
  metrics.add_counter("y_sum", "");
  const std::string before = metrics.render();
  const auto zero = [] { return 0.0; };
  const double inf = std::numeric_limits<double>::infinity();

  for (const char* name : {"", "1abc", "a-b", "a b", "\xc3\xa9", "a{b}"}) {
    EXPECT_THROW(metrics.add_counter(name, ""), std::invalid_argument) << name;
  }
  for (const char* label : {"", "__name", "1x", "a:b", "a-b"}) {
    EXPECT_THROW(metrics.add_counter("fine", "", label, "v"), std::invalid_argument) << label;
  }
  EXPECT_THROW(metrics.add_histogram("b1", "", {1, 1}), std::invalid_argument);
  EXPECT_THROW(metrics.add_histogram("b2", "", {2, 1}), std::invalid_argument);
  EXPECT_THROW(metrics.add_histogram("b3", "", {1, inf}), std::invalid_argument);
  EXPECT_THROW(metrics.add_histogram("b4", "", {std::nan(""), 1}), std::invalid_argument);
  // The same name as another kind, or the same series twice.
  EXPECT_THROW(metrics.add_gauge("taken", "", zero), std::invalid_argument);
  EXPECT_THROW(metrics.add_counter("taken", ""), std::invalid_argument);
  EXPECT_THROW(metrics.add_counter("taken", "", "kind", "a"), std::invalid_argument);
  EXPECT_THROW(metrics.add_counter("family", ""), std::invalid_argument);
  EXPECT_THROW(metrics.add_counter("family", "", "kind", "a"), std::invalid_argument);
  EXPECT_THROW(metrics.add_counter("family", "", "other", "b"), std::invalid_argument);
  EXPECT_THROW(metrics.add_histogram("family", "", {}), std::invalid_argument);
  // A histogram's series names are taken with it, both ways.
  EXPECT_THROW(metrics.add_counter("h_count", ""), std::invalid_argument);
  EXPECT_THROW(metrics.add_gauge("h_bucket", "", zero), std::invalid_argument);
  EXPECT_THROW(metrics.add_histogram("y", "", {}), std::invalid_argument);
  EXPECT_EQ(metrics.render(), before);
}

}  // namespace
}  // namespace orvane::apps
