#include "report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace orvane::replay {

namespace {

std::string fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string level(const AccountResult& a) {
  return a.margin_requirement == 0 ? "-" : fixed(a.margin_level * 100, 2);
}

std::string pad(const std::string& text, size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// A line chart of one series; a dashed line marks `mark` when it is in view.
void chart(std::ostream& out, const std::vector<double>& values, const std::string& label,
           const std::string& colour, double mark) {
  constexpr double kWidth = 360, kHeight = 110, kPad = 4;
  if (values.empty()) return;
  const double lowest = *std::min_element(values.begin(), values.end());
  const double highest = *std::max_element(values.begin(), values.end());
  double low = lowest;
  double high = highest;
  if (high - low < 1e-9) {  // a flat series is drawn across the middle
    low -= 1;
    high += 1;
  }
  auto x = [&](size_t i) {
    return kPad + (kWidth - 2 * kPad) * static_cast<double>(i) /
                      static_cast<double>(std::max<size_t>(values.size() - 1, 1));
  };
  auto y = [&](double v) { return kHeight - kPad - (kHeight - 2 * kPad) * (v - low) / (high - low); };
  out << "<svg width=\"" << kWidth << "\" height=\"" << kHeight + 16
      << "\" xmlns=\"http://www.w3.org/2000/svg\"><rect width=\"" << kWidth << "\" height=\""
      << kHeight << "\" fill=\"#f7f7f7\" stroke=\"#ccc\"/>";
  if (mark >= low && mark <= high) {
    out << "<line x1=\"0\" x2=\"" << kWidth << "\" y1=\"" << fixed(y(mark), 1) << "\" y2=\""
        << fixed(y(mark), 1) << "\" stroke=\"#c00\" stroke-dasharray=\"4 3\"/>";
  }
  out << "<polyline fill=\"none\" stroke=\"" << colour << "\" stroke-width=\"1.5\" points=\"";
  for (size_t i = 0; i < values.size(); ++i) {
    out << fixed(x(i), 1) << ',' << fixed(y(values[i]), 1) << ' ';
  }
  out << "\"/><text x=\"4\" y=\"" << kHeight + 13 << "\" font-size=\"11\">" << escape(label)
      << ": " << fixed(lowest, 2) << " .. " << fixed(highest, 2) << "</text></svg>";
}

}  // namespace

void write_table(std::ostream& out, const ReplayResult& result) {
  out << pad("client", 8) << pad("account", 9) << pad("balance", 14) << pad("equity", 14)
      << pad("margin %", 10) << pad("open", 6) << pad("hits", 6) << pad("liq", 5) << '\n';
  for (const AccountResult& a : result.accounts) {
    out << pad(std::to_string(a.client), 8) << pad(std::to_string(a.account), 9)
        << pad(fixed(a.balance, 2), 14) << pad(fixed(a.equity, 2), 14) << pad(level(a), 10)
        << pad(std::to_string(a.open_positions), 6) << pad(std::to_string(a.hits), 6)
        << pad(std::to_string(a.liquidations), 5) << '\n';
  }
}

void write_event_log(std::ostream& out, const ReplayResult& result) {
  for (const std::string& line : result.events) out << line << '\n';
}

std::string throughput(const ReplayResult& result) {
  const double rate =
      result.seconds > 0 ? static_cast<double>(result.ticks) / result.seconds : 0.0;
  const double cpu_rate =
      result.cpu_seconds > 0 ? static_cast<double>(result.ticks) / result.cpu_seconds : 0.0;
  return std::to_string(result.ticks) + " ticks in " + fixed(result.seconds, 3) +
         " s: " + fixed(rate, 0) + " ticks/s (processor time " + fixed(result.cpu_seconds, 3) +
         " s: " + fixed(cpu_rate, 0) + " ticks/s)";
}

void write_html(std::ostream& out, const ReplayResult& result, const std::string& title) {
  out << "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" << escape(title)
      << "</title><style>body{font-family:sans-serif;margin:1.5em}"
         "table{border-collapse:collapse}td,th{padding:2px 8px;text-align:right;"
         "border-bottom:1px solid #ddd}.acc{display:inline-block;margin:6px;"
         "border:1px solid #ddd;padding:4px}.liq{background:#fee}</style></head><body>";
  out << "<h1>" << escape(title) << "</h1><p>Tape " << escape(result.first_tick) << " to "
      << escape(result.last_tick) << ". " << escape(throughput(result)) << ". "
      << result.order_hits << " order hits, " << result.alert_hits << " alert hits, "
      << result.liquidated_positions << " positions liquidated.</p>";
  out << "<h2>Accounts</h2><table><tr><th>client</th><th>account</th><th>balance</th>"
         "<th>equity</th><th>margin %</th><th>open</th><th>hits</th><th>liquidations</th></tr>";
  for (const AccountResult& a : result.accounts) {
    out << "<tr" << (a.liquidations > 0 ? " class=\"liq\"" : "") << "><td>" << a.client
        << "</td><td><a href=\"#a" << a.account << "\">" << a.account << "</a></td><td>"
        << fixed(a.balance, 2) << "</td><td>" << fixed(a.equity, 2) << "</td><td>" << level(a)
        << "</td><td>" << a.open_positions << "</td><td>" << a.hits << "</td><td>"
        << a.liquidations << "</td></tr>";
  }
  out << "</table><h2>Equity and margin level</h2>";
  for (const AccountResult& a : result.accounts) {
    std::vector<double> equity, level;
    for (const ChartPoint& p : a.chart) {
      equity.push_back(p.equity);
      level.push_back(p.margin_level);
    }
    out << "<div class=\"acc" << (a.liquidations > 0 ? " liq" : "") << "\" id=\"a" << a.account
        << "\"><b>Account " << a.account << "</b> (client " << a.client << ")<br>";
    chart(out, equity, "equity", "#1f5fa8", 0);
    chart(out, level, "margin level %", "#2a8a2a", 50);
    out << "</div>";
  }
  out << "<h2>Event log</h2><pre>";
  for (const std::string& line : result.events) out << escape(line) << '\n';
  out << "</pre></body></html>\n";
}

}  // namespace orvane::replay
