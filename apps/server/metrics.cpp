#include "metrics.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace orvane::apps {

namespace {

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_metric_name(std::string_view name) {
  if (name.empty() || is_digit(name[0])) return false;
  return std::all_of(name.begin(), name.end(),
                     [](char c) { return is_letter(c) || is_digit(c) || c == '_' || c == ':'; });
}

bool is_label_name(std::string_view name) {
  if (name.empty() || is_digit(name[0]) || name.starts_with("__")) return false;
  return std::all_of(name.begin(), name.end(),
                     [](char c) { return is_letter(c) || is_digit(c) || c == '_'; });
}

void check_metric_name(const std::string& name) {
  if (!is_metric_name(name)) {
    throw std::invalid_argument("metric name '" + name +
                                "' is not valid: it must match [a-zA-Z_:][a-zA-Z0-9_:]*");
  }
}

// Backslash and newline in HELP text; with `quote`, the double quote too
// (label values).
void append_escaped(std::string& out, std::string_view text, bool quote) {
  for (char c : text) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '"' && quote) {
      out += "\\\"";
    } else {
      out += c;
    }
  }
}

void append_sample(std::string& out, std::string_view name, std::string_view label_name,
                  std::string_view label_value, std::string_view value) {
  out += name;
  if (!label_name.empty()) {
    out += '{';
    out += label_name;
    out += "=\"";
    append_escaped(out, label_value, true);
    out += "\"}";
  }
  out += ' ';
  out += value;
  out += '\n';
}

}  // namespace

std::string prometheus_number(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
  // Whole numbers as integers (5000, not 5e+03); others in the shortest
  // text that reads back exactly, plain unless very small or large.
  if (std::abs(value) < 1e15 && value == std::trunc(value)) {
    return std::to_string(static_cast<int64_t>(value));
  }
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general);
  return std::string(text, result.ptr);
}

// ---- Histogram ----

Histogram::Histogram(std::vector<double> upper_bounds) : m_bounds(std::move(upper_bounds)) {
  for (size_t i = 0; i < m_bounds.size(); ++i) {
    if (!std::isfinite(m_bounds[i])) {
      throw std::invalid_argument("histogram bound " + prometheus_number(m_bounds[i]) +
                                  " is not finite (the +Inf bucket is always there)");
    }
    if (i > 0 && !(m_bounds[i - 1] < m_bounds[i])) {
      throw std::invalid_argument("histogram bounds must increase strictly: " +
                                  prometheus_number(m_bounds[i]) + " follows " +
                                  prometheus_number(m_bounds[i - 1]));
    }
  }
  m_buckets.assign(m_bounds.size() + 1, 0);
}

void Histogram::observe(double value) {
  const size_t bucket =
      std::isnan(value)
          ? m_bounds.size()
          : static_cast<size_t>(std::lower_bound(m_bounds.begin(), m_bounds.end(), value) -
                                m_bounds.begin());
  ++m_buckets[bucket];
  ++m_count;
  m_sum += value;
}

// ---- Metrics ----

// One counter series: counted here, or read from elsewhere.
struct Metrics::Series {
  std::string label_value;
  std::unique_ptr<Counter> counter;
  std::function<uint64_t()> read;
  uint64_t value() const { return counter ? counter->value() : read(); }
};

struct Metrics::Family {
  std::string name;
  std::string help;
  Type type;
  std::string label_name;  // empty: the family is one series without labels
  // Counters: one per label value, in registration order.
  std::vector<Series> counters;
  std::function<double()> read;
  std::unique_ptr<Histogram> histogram;
};

Metrics::Metrics() = default;
Metrics::~Metrics() = default;

Metrics::Family* Metrics::find(const std::string& name) {
  auto it = m_by_name.find(name);
  return it == m_by_name.end() ? nullptr : it->second;
}

Metrics::Family& Metrics::new_family(const std::string& name, const std::string& help,
                                    Type type, const std::vector<std::string>& sample_names) {
  for (const std::string& sample : sample_names) {
    if (m_sample_names.count(sample) > 0) {
      throw std::invalid_argument("metric '" + name + "' clashes with a metric already " +
                                  "registered: '" + sample + "' is taken");
    }
  }
  auto family = std::make_unique<Family>();
  family->name = name;
  family->help = help;
  family->type = type;
  Family& added = *family;
  m_families.push_back(std::move(family));
  m_by_name.emplace(name, &added);
  m_sample_names.insert(sample_names.begin(), sample_names.end());
  return added;
}

Metrics::Series& Metrics::add_series(const std::string& name, const std::string& help,
                                    const std::string& label_name,
                                    const std::string& label_value) {
  check_metric_name(name);
  if (label_name.empty()) {
    Family& family = new_family(name, help, Type::kCounter, {name});
    return family.counters.emplace_back();
  }
  if (!is_label_name(label_name)) {
    throw std::invalid_argument("label name '" + label_name + "' of metric '" + name +
                                "' is not valid: it must match [a-zA-Z_][a-zA-Z0-9_]* and " +
                                "not start with __");
  }
  Family* family = find(name);
  if (family == nullptr) {
    family = &new_family(name, help, Type::kCounter, {name});
    family->label_name = label_name;
  } else if (family->type != Type::kCounter || family->label_name != label_name) {
    throw std::invalid_argument("metric '" + name +
                                "' is already registered as another kind of metric or with "
                                "another label than '" + label_name + "'");
  } else {
    for (const Series& series : family->counters) {
      if (series.label_value == label_value) {
        throw std::invalid_argument("metric '" + name + "{" + label_name + "=\"" +
                                    label_value + "\"}' is already registered");
      }
    }
  }
  Series& series = family->counters.emplace_back();
  series.label_value = label_value;
  return series;
}

Counter& Metrics::add_counter(const std::string& name, const std::string& help) {
  return *(add_series(name, help, {}, {}).counter = std::make_unique<Counter>());
}

Counter& Metrics::add_counter(const std::string& name, const std::string& help,
                             const std::string& label_name, const std::string& label_value) {
  if (label_name.empty()) throw std::invalid_argument("metric '" + name + "' needs a label name");
  return *(add_series(name, help, label_name, label_value).counter = std::make_unique<Counter>());
}

void Metrics::add_counter(const std::string& name, const std::string& help,
                         std::function<uint64_t()> read) {
  add_counter(name, help, {}, {}, std::move(read));
}

void Metrics::add_counter(const std::string& name, const std::string& help,
                         const std::string& label_name, const std::string& label_value,
                         std::function<uint64_t()> read) {
  if (!read) throw std::invalid_argument("counter '" + name + "' needs a function to read");
  add_series(name, help, label_name, label_value).read = std::move(read);
}

void Metrics::add_gauge(const std::string& name, const std::string& help,
                       std::function<double()> read) {
  check_metric_name(name);
  if (!read) throw std::invalid_argument("gauge '" + name + "' needs a function to read");
  new_family(name, help, Type::kGauge, {name}).read = std::move(read);
}

Histogram& Metrics::add_histogram(const std::string& name, const std::string& help,
                                 std::vector<double> upper_bounds) {
  check_metric_name(name);
  auto histogram = std::make_unique<Histogram>(std::move(upper_bounds));
  Family& family = new_family(name, help, Type::kHistogram,
                             {name, name + "_bucket", name + "_sum", name + "_count"});
  family.histogram = std::move(histogram);
  return *family.histogram;
}

std::string Metrics::render() const {
  std::string out;
  for (const auto& family : m_families) {
    out += "# HELP ";
    out += family->name;
    out += ' ';
    append_escaped(out, family->help, false);
    out += "\n# TYPE ";
    out += family->name;
    out += ' ';
    out += family->type == Type::kCounter ? "counter"
           : family->type == Type::kGauge ? "gauge"
                                          : "histogram";
    out += '\n';
    switch (family->type) {
      case Type::kCounter:
        for (const Series& series : family->counters) {
          append_sample(out, family->name, family->label_name, series.label_value,
                       std::to_string(series.value()));
        }
        break;
      case Type::kGauge:
        append_sample(out, family->name, {}, {}, prometheus_number(family->read()));
        break;
      case Type::kHistogram: {
        const Histogram& h = *family->histogram;
        const std::string bucket = family->name + "_bucket";
        uint64_t cumulative = 0;
        for (size_t i = 0; i <= h.upper_bounds().size(); ++i) {
          cumulative += h.bucket(i);
          const bool last = i == h.upper_bounds().size();
          append_sample(out, bucket, "le", last ? "+Inf" : prometheus_number(h.upper_bounds()[i]),
                       std::to_string(cumulative));
        }
        append_sample(out, family->name + "_sum", {}, {}, prometheus_number(h.sum()));
        append_sample(out, family->name + "_count", {}, {}, std::to_string(h.count()));
        break;
      }
    }
  }
  return out;
}

}  // namespace orvane::apps
