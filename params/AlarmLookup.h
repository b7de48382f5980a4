#pragma once

// The drive's alarm codes explained from the model database's AlarmTable, with no widget: the
// alarm page and the command-line tool call the same lookup.

#include "DbRows.h"
#include "KtVariant.h"

#include <cstdint>
#include <string>
#include <vector>

class CADO;

namespace kestova::params {

// The alarm registers: 16 is the alarm in force, 16..25 the history in register order. Writing
// kClearCurrentAlarm or kClearAlarmHistory to 16 clears the one or the other.
inline constexpr std::uint16_t kAlarmRegister = 16;
inline constexpr std::uint16_t kAlarmHistoryCount = 10;
inline constexpr std::int16_t kClearCurrentAlarm = 0;
inline constexpr std::int16_t kClearAlarmHistory = 1;

// One record of AlarmTable, each column as text: "Error #", "Name", "Class", "Suggestion".
struct AlarmRow {
    std::string code;
    std::string name;
    std::string grade;
    std::string dispose;
};

using AlarmLookupStatus = LoadStatus;

struct AlarmLookup {
    std::vector<AlarmRow> rows;
    AlarmLookupStatus status = AlarmLookupStatus::Ok;
    std::string errorDescription;
};

std::string AlarmQuery(std::int16_t code);

// Every record of the code, in stored order. A code without a record gives no rows.
AlarmLookup LookUpAlarm(CADO& db, std::int16_t code);

// The ten codes of a block read from register 16, each signed and high byte first. A reply the
// link did not deliver, or one of 128 bytes or more, gives none; so does one too short to hold
// the ten codes after its station, function code and byte count.
std::vector<std::int16_t> AlarmHistoryCodes(const KtVariant& reply);

} // namespace kestova::params
