// PLACEHOLDER: replaced by the real implementation.
#include "text/number.h"
namespace vardel::text {
double NumberFromText(std::string_view) { return 0; }
std::int16_t ToInt16(double) { return 0; }
std::int32_t ToInt32(double) { return 0; }
std::string NumberToText(double) { return " 0"; }
std::string IntegerToText(std::int64_t v) { return std::to_string(v); }
}
