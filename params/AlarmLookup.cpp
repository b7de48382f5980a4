#include "AlarmLookup.h"

#include "CADO.h"

#include <cstdio>

namespace kestova::params {

namespace {

constexpr std::size_t kReplyHeader = 3; // station, function code, byte count
constexpr std::size_t kLongestReply = 127;

} // namespace

std::string AlarmQuery(std::int16_t code) {
    char sql[64];
    std::snprintf(sql, sizeof sql, "Select * from   AlarmTable Where AlarmCode=%d", int{code});
    return sql;
}

AlarmLookup LookUpAlarm(CADO& db, std::int16_t code) {
    AlarmLookup lookup;
    lookup.status = ReadRows(
        db, AlarmQuery(code),
        [&](CRecordset& rs) {
            AlarmRow row;
            row.code = rs.GetFieldValue("AlarmCode");
            row.name = rs.GetFieldValue("AlarmName");
            row.grade = rs.GetFieldValue("Grade");
            row.dispose = rs.GetFieldValue("Dispose");
            lookup.rows.push_back(std::move(row));
        },
        lookup.errorDescription);
    return lookup;
}

std::vector<std::int16_t> AlarmHistoryCodes(const KtVariant& reply) {
    std::vector<std::int16_t> codes;
    const std::size_t length = reply.IsByteArray() ? reply.Count() : 0;
    if (length == 0 || length > kLongestReply ||
        length < kReplyHeader + 2 * std::size_t{kAlarmHistoryCount}) {
        return codes;
    }
    const std::uint8_t* data = reply.Data() + kReplyHeader;
    for (std::size_t i = 0; i < kAlarmHistoryCount; ++i) {
        const auto value = static_cast<std::uint16_t>(data[2 * i] << 8 | data[2 * i + 1]);
        codes.push_back(static_cast<std::int16_t>(value));
    }
    return codes;
}

} // namespace kestova::params
