#ifndef ORVANE_ORVANE_H_
#define ORVANE_ORVANE_H_

// The whole public contract of the Orvane trading library.

#include "orvane/core/clock.h"
#include "orvane/core/conversions.h"
#include "orvane/core/date_time.h"
#include "orvane/core/error.h"
#include "orvane/core/event_source.h"
#include "orvane/core/keyed_collection.h"
#include "orvane/core/number_format.h"
#include "orvane/core/object.h"
#include "orvane/core/variant.h"

#endif  // ORVANE_ORVANE_H_
