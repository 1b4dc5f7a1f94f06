#ifndef ORVANE_APPS_REPLAY_REPORT_H_
#define ORVANE_APPS_REPLAY_REPORT_H_

#include <ostream>
#include <string>

#include "replay.h"

// The reports of a replay: a plain-text table and event log, and a
// self-contained HTML page with an equity and a margin-level chart (inline
// SVG) per account. Money is shown to the cent; a margin level is shown in
// percent, "-" when the account requires no margin.
namespace orvane::replay {

void write_table(std::ostream& out, const ReplayResult& result);
void write_event_log(std::ostream& out, const ReplayResult& result);
// "N ticks in S s: R ticks/s", by wall time and by processor time.
std::string throughput(const ReplayResult& result);
void write_html(std::ostream& out, const ReplayResult& result, const std::string& title);

}  // namespace orvane::replay

#endif  // ORVANE_APPS_REPLAY_REPORT_H_
