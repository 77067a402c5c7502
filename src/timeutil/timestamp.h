// Wall-clock time stamps ("dd.mm.yyyy hh:mm:ss", local time) and day serials
// (OLE Automation dates).
#pragma once

#include <string>
#include <string_view>

#include "platform/services.h"

namespace vardel::timeutil {

// The download hold-off of five minutes as a fraction of a day, computed in this
// order.
inline const double kDownloadHoldOff = 5.0 / 60.0 / 24.0;

std::string TimeStampNow();
// The day serial of a time stamp; an empty text stands for TimeStampNow(). Texts
// that do not form a valid date and time give 0.0.
double StampToDaySerial(std::string_view text);
// StampToDaySerial(TimeStampNow()): the current local time to the second.
double DaySerialNow();

// Our own conversion of a calendar record to an OLE Automation date, for platforms
// without SystemTimeToVariantTime. False for records that are not a valid date.
bool CalendarToDaySerial(const platform::LocalTime& t, double& serial);

}  // namespace vardel::timeutil
