// alarms: the alarm in force and the drive's log, explained from the model database.

#include "AlarmLookup.h"
#include "CliError.h"
#include "Commands.h"
#include "LinkFailure.h"
#include "Output.h"

#include <ostream>

namespace kestova::cli {

using namespace params;

namespace {

// How long the drive takes to settle a clear before it is read again, as the alarm page waits.
constexpr std::chrono::milliseconds kClearSettle{500};

struct Explained {
    std::int16_t code = 0;
    std::vector<AlarmRow> rows;
};

Explained Explain(Session& s, std::int16_t code) {
    AlarmLookup lookup = LookUpAlarm(s.Db(), code);
    if (lookup.status == AlarmLookupStatus::NotOpen) {
        throw CliError(kRefused, "the model database gave no alarm table");
    }
    if (lookup.status == AlarmLookupStatus::DbError) {
        throw CliError(kRefused, "alarm table: " + lookup.errorDescription);
    }
    return {code, std::move(lookup.rows)};
}

// Every record of the code: one code may have several causes.
Json AlarmJson(const Explained& alarm) {
    Json causes = Json::array();
    for (const AlarmRow& row : alarm.rows) {
        causes.push_back({{"name", row.name}, {"class", row.grade}, {"suggestion", row.dispose}});
    }
    return {{"code", alarm.code}, {"causes", causes}};
}

void AddRows(TextTable& table, const std::string& slot, const Explained& alarm) {
    if (alarm.rows.empty()) {
        table.Add({slot, std::to_string(alarm.code), "(not in the alarm table)", "", ""});
    }
    for (const AlarmRow& row : alarm.rows) {
        table.Add({slot, row.code, row.name, row.grade, row.dispose});
    }
}

} // namespace

int Alarms(Context& c, const AlarmOptions& o) {
    if (o.clearCurrent && o.clearHistory) {
        throw CliError(kUsage, "clear the current alarm or the history, not both at once");
    }
    Session s(c.link);
    s.OpenDatabase();
    s.Connect();
    CKTCOM& link = s.Link();
    if (o.clearCurrent || o.clearHistory) {
        link.WriteAddressValue(s.Station(), kAlarmRegister,
                               o.clearHistory ? kClearAlarmHistory : kClearCurrentAlarm);
        if (link.GetLastErrors() != 0) {
            const std::string failure = LinkFailureText(link.GetLastErrors());
            throw CliError(StatusAfterFailure(link, s.Station()),
                           "the drive did not take the clear: " + failure);
        }
        Session::Wait(kClearSettle);
    }

    const std::int16_t current = link.ReadAddressValue(s.Station(), kAlarmRegister);
    if (link.GetLastErrors() != 0) {
        const std::string failure = LinkFailureText(link.GetLastErrors());
        throw CliError(StatusAfterFailure(link, s.Station()),
                       "reading the alarm failed: " + failure);
    }
    const KtVariant reply = link.ReadBigData(s.Station(), kAlarmRegister, kAlarmHistoryCount);
    if (link.GetLastErrors() != 0) {
        const std::string failure = LinkFailureText(link.GetLastErrors());
        throw CliError(StatusAfterFailure(link, s.Station()),
                       "reading the alarm history failed: " + failure);
    }
    std::vector<Explained> history;
    for (const std::int16_t code : AlarmHistoryCodes(reply)) {
        if (code != 0) {
            history.push_back(Explain(s, code));
        }
    }

    if (c.link.json) {
        Json log = Json::array();
        for (const Explained& alarm : history) {
            log.push_back(AlarmJson(alarm));
        }
        PrintJson(c.out, {{"current", current == 0 ? Json() : AlarmJson(Explain(s, current))},
                          {"history", log}});
        return kSuccess;
    }
    TextTable table({"", "CODE", "NAME", "CLASS", "SUGGESTION"});
    if (current != 0) {
        AddRows(table, "current", Explain(s, current));
    } else {
        table.Add({"current", "", "No error found", "", ""});
    }
    for (std::size_t i = 0; i < history.size(); ++i) {
        AddRows(table, "log " + std::to_string(i + 1), history[i]);
    }
    table.Print(c.out);
    return kSuccess;
}

} // namespace kestova::cli
