#ifndef ORVANE_APPS_SERVER_METRICS_H_
#define ORVANE_APPS_SERVER_METRICS_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace orvane::apps {

// A count that only goes up. Obtained once from Metrics and kept by
// reference: Add is a plain addition, cheap enough for any hot path.
class Counter {
 public:
  Counter() = default;
  Counter(const Counter&) = delete;
  Counter& operator=(const Counter&) = delete;

  void add(uint64_t n = 1) { m_value += n; }
  uint64_t value() const { return m_value; }

 private:
  uint64_t m_value = 0;
};

// Observations sorted into buckets by fixed upper bounds (each bucket holds
// the values <= its bound; the last, +Inf, holds the rest and NaN). Observe
// is a binary search and an addition: no allocation.
class Histogram {
 public:
  // Throws std::invalid_argument unless the bounds are finite and strictly
  // increasing (none at all is allowed: only the +Inf bucket).
  explicit Histogram(std::vector<double> upper_bounds);
  Histogram(const Histogram&) = delete;
  Histogram& operator=(const Histogram&) = delete;

  void observe(double value);

  const std::vector<double>& upper_bounds() const { return m_bounds; }
  // Observations in bucket i alone (not cumulative); i == upper_bounds().size()
  // is the +Inf bucket.
  uint64_t bucket(size_t i) const { return m_buckets[i]; }
  uint64_t count() const { return m_count; }
  double sum() const { return m_sum; }

 private:
  std::vector<double> m_bounds;
  std::vector<uint64_t> m_buckets;
  uint64_t m_count = 0;
  double m_sum = 0;
};

// The server's metrics, rendered in Prometheus' text exposition format
// (version 0.0.4) for its metrics endpoint. Single-threaded: registration,
// counting and rendering all happen on the io thread.
//
// Each series is registered once; what registration returns stays valid for
// the registry's life. Names must match [a-zA-Z_:][a-zA-Z0-9_:]* and label
// names [a-zA-Z_][a-zA-Z0-9_]* (not starting with "__"). Registration throws
// std::invalid_argument, leaving the registry unchanged, for a bad name, a
// name already taken by another family (a histogram "h" also takes h_bucket,
// h_sum and h_count), or a series registered before.
class Metrics {
 public:
  Metrics();
  ~Metrics();
  Metrics(const Metrics&) = delete;
  Metrics& operator=(const Metrics&) = delete;

  // A counter without labels.
  Counter& add_counter(const std::string& name, const std::string& help);
  // One series of a labelled counter family: called again with the same
  // name and label name and another value, it adds a series to the same
  // family (the help of the first call is kept).
  Counter& add_counter(const std::string& name, const std::string& help,
                      const std::string& label_name, const std::string& label_value);
  // The same two for a count kept elsewhere, read from `read` at each
  // Render; it must never go down.
  void add_counter(const std::string& name, const std::string& help,
                  std::function<uint64_t()> read);
  void add_counter(const std::string& name, const std::string& help,
                  const std::string& label_name, const std::string& label_value,
                  std::function<uint64_t()> read);
  // A gauge whose value is read from `read` at each Render.
  void add_gauge(const std::string& name, const std::string& help,
                std::function<double()> read);
  // A histogram; throws std::invalid_argument for bounds Histogram refuses.
  Histogram& add_histogram(const std::string& name, const std::string& help,
                          std::vector<double> upper_bounds);

  // The whole exposition: families in registration order, series of a
  // labelled family in registration order, each line ending in "\n".
  std::string render() const;

 private:
  enum class Type { kCounter, kGauge, kHistogram };
  struct Family;
  struct Series;
  Series& add_series(const std::string& name, const std::string& help,
                    const std::string& label_name, const std::string& label_value);

  Family& new_family(const std::string& name, const std::string& help, Type type,
                    const std::vector<std::string>& sample_names);
  Family* find(const std::string& name);

  std::vector<std::unique_ptr<Family>> m_families;
  std::unordered_map<std::string, Family*> m_by_name;
  std::unordered_set<std::string> m_sample_names;
};

// A double as Prometheus reads it: shortest round-trip decimal text ("0.5",
// "1e+20"), "+Inf", "-Inf" or "NaN"; never locale-dependent.
std::string prometheus_number(double value);

}  // namespace orvane::apps

#endif  // ORVANE_APPS_SERVER_METRICS_H_
