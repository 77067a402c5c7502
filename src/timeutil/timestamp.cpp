// PLACEHOLDER: replaced by the real implementation.
#include "timeutil/timestamp.h"
namespace vardel::timeutil {
std::string TimeStampNow() { return {}; }
double StampToDaySerial(std::string_view) { return 0; }
double DaySerialNow() { return 0; }
bool CalendarToDaySerial(const platform::LocalTime&, double&) { return false; }
}
