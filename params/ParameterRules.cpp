#include "ParameterRules.h"

// Placeholder bodies; the rules are being written.
namespace kestova::params {
bool IsUnsignedAddress(int) {
    return false;
}
int LeadingInteger(std::string_view) {
    return 0;
}
BitSetting BitKeyword(std::string_view) {
    return BitSetting::None;
}
std::string FormatParameterValue(std::string_view, int, std::int16_t) {
    return {};
}
std::uint16_t ComposeBitFieldRegister(const ParameterRows&) {
    return 0;
}
std::uint16_t EncodeParameterValue(int, std::string_view, const ParameterRows&) {
    return 0;
}
RangeLimits SplitRange(std::string_view) {
    return {};
}
bool InRange(std::string_view, std::string_view) {
    return false;
}
std::string TableQuery(const std::string&, const std::string&) {
    return {};
}
std::string ClassQuery(const std::string&) {
    return {};
}
TableLoad LoadParameterRows(CADO&, const std::string&, const std::string&) {
    return {};
}
ClassLoad LoadClasses(CADO&, const std::string&) {
    return {};
}
} // namespace kestova::params
