// The replay tool's own sources, compiled into its test program so that the
// test does not depend on how the tool's targets are configured.
#include "../../apps/replay/book.cpp"
#include "../../apps/replay/replay.cpp"
#include "../../apps/replay/report.cpp"
