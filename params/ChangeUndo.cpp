#include "ChangeUndo.h"

#include "KTCOM.h"
#include "ParameterMarks.h"
#include "ParameterTransfer.h"

#include <algorithm>
#include <map>

namespace kestova::params {

namespace {

int AddressOfRow(const ParameterRow& row) {
    return LeadingInteger(row.Cell(kAddressColumn));
}

// The table's row for a journalled parameter: the same Par. # at the same register.
std::optional<std::size_t> RowOf(const ParameterRows& rows, const UndoStep& step) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].Cell(kNumberColumn) == step.number && AddressOfRow(rows[i]) == step.address) {
            return i;
        }
    }
    return std::nullopt;
}

} // namespace

std::vector<JournalRun> JournalRuns(const std::vector<JournalEntry>& entries) {
    std::vector<JournalRun> runs;
    std::map<std::string, std::size_t> byGroup;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const JournalEntry& e = entries[i];
        const std::string group = e.group.empty() ? "#" + std::to_string(i + 1) : e.group;
        auto [at, added] = byGroup.emplace(group, runs.size());
        if (added) {
            runs.push_back({group, e.time, e.source, {}, false});
        }
        JournalRun& run = runs[at->second];
        run.entries.push_back(i);
        run.changesValues = run.changesValues || IsParameterEntry(e);
    }
    return runs;
}

std::optional<std::size_t> LastChangingRun(const std::vector<JournalRun>& runs) {
    for (std::size_t i = runs.size(); i-- > 0;) {
        if (runs[i].changesValues) {
            return i;
        }
    }
    return std::nullopt;
}

bool UndoReport::Whole() const {
    return std::all_of(steps.begin(), steps.end(),
                       [](const UndoStep& s) { return s.outcome == UndoOutcome::Undone; });
}

int UndoReport::Count(UndoOutcome outcome) const {
    return static_cast<int>(std::count_if(
        steps.begin(), steps.end(), [outcome](const UndoStep& s) { return s.outcome == outcome; }));
}

std::vector<UndoStep> PlanUndo(const std::vector<JournalEntry>& entries, const JournalRun& run) {
    std::vector<UndoStep> steps; // oldest first write first, turned round at the end
    for (const std::size_t index : run.entries) {
        const JournalEntry& e = entries.at(index);
        if (!IsParameterEntry(e)) {
            continue;
        }
        auto same = std::find_if(steps.begin(), steps.end(), [&](const UndoStep& s) {
            return s.number == e.number && s.address == e.address;
        });
        if (same == steps.end()) {
            steps.push_back(
                {e.number, e.address, e.oldValue, e.newValue, {}, {}, UndoOutcome::NotReached});
        } else {
            same->left = e.newValue; // the value before the run stays the first write's
        }
    }
    std::reverse(steps.begin(), steps.end());
    return steps;
}

UndoReport UndoRun(CKTCOM& link, std::uint8_t station, const ParameterRows& table,
                   const std::vector<JournalEntry>& entries, const JournalRun& run,
                   JournalWriter& journal,
                   const std::function<void(std::chrono::milliseconds)>& wait) {
    UndoReport report;
    report.steps = PlanUndo(entries, run);
    ParameterRows rows = table;
    const std::atomic<bool> cancel{false};
    for (std::size_t k = 0; k < report.steps.size(); ++k) {
        UndoStep& step = report.steps[k];
        const std::optional<std::size_t> at = RowOf(rows, step);
        if (!at) {
            step.outcome = UndoOutcome::NotInTable;
            continue;
        }
        if (!step.target) {
            step.outcome = UndoOutcome::NotRead;
            continue;
        }
        ParameterRow& row = rows[*at];
        if (!ValueToWrite(row, *step.target)) {
            step.outcome = UndoOutcome::NotWritable;
            continue;
        }
        // What the drive holds now: this row and, for a bit row, the bits it shares a register
        // with, which the write carries as they are.
        ParameterRows now{row};
        std::vector<std::size_t> nowRows{*at};
        if (step.address == kBitFieldAddress) {
            for (std::size_t i = 0; i < rows.size(); ++i) {
                if (i != *at && AddressOfRow(rows[i]) == kBitFieldAddress) {
                    now.push_back(rows[i]);
                    nowRows.push_back(i);
                }
            }
        }
        bool read = true;
        TransferEvents events;
        events.value = [&](int i, std::string text) {
            rows[nowRows[static_cast<std::size_t>(i)]].Cell(kValueColumn) = std::move(text);
        };
        events.failed = [&read](int) { read = false; };
        const PassReport pass = ReadAllParameters(link, station, now, cancel, events);
        if (!read) {
            // A drive that refuses the register answers the next; one that is gone does not.
            if (pass.end != PassEnd::LinkFailed) {
                step.outcome = UndoOutcome::NotReadNow;
                continue;
            }
            step.outcome = UndoOutcome::LinkFailed;
            report.linkFailure = pass.lastFailure != 0 ? pass.lastFailure : link.GetLastErrors();
            break;
        }
        step.held = row.Cell(kValueColumn);
        if (step.held != step.left) {
            step.outcome = UndoOutcome::ChangedSince;
            continue;
        }
        row.Cell(kValueColumn) = *step.target;
        step.back = WriteOneParameter(link, station, rows, static_cast<int>(*at), wait);
        if (const std::uint16_t failure = link.GetLastErrors(); failure != 0) {
            step.back.clear();
            row.Cell(kValueColumn) = step.held;
            step.outcome = UndoOutcome::LinkFailed;
            report.linkFailure = failure;
            break;
        }
        row.Cell(kValueColumn) = step.back;
        const bool undone = step.back == ShownAfterWrite(row, *step.target);
        step.outcome = undone ? UndoOutcome::Undone : UndoOutcome::Refused;
        if (undone || step.back != step.held) {
            journal.Written(step.number, step.address, step.held, step.back);
        }
    }
    return report;
}

std::string UndoStepText(const UndoStep& step) {
    std::string text = step.number + " (register " + std::to_string(step.address) + "): ";
    switch (step.outcome) {
    case UndoOutcome::Undone:
        return text + "back to " + step.back + " (was " + step.held + ")";
    case UndoOutcome::NotRead:
        return text + "not undone: its value before the change was not read";
    case UndoOutcome::NotInTable:
        return text + "not undone: not a parameter of this drive";
    case UndoOutcome::NotWritable:
        return text + "not undone: " + step.target.value_or("") + " is outside what it takes now";
    case UndoOutcome::ChangedSince:
        return text + "not undone: changed since, the drive holds " + step.held +
               " (the change left " + step.left + ")";
    case UndoOutcome::Refused:
        return text + "not undone: written " + step.target.value_or("") + ", the drive holds " +
               step.back;
    case UndoOutcome::NotReadNow:
        return text + "not undone: what the drive holds now could not be read";
    case UndoOutcome::LinkFailed:
        return text + "not undone: the drive did not answer";
    case UndoOutcome::NotReached:
        return text + "not undone: not reached after the drive stopped answering";
    }
    return text;
}

} // namespace kestova::params
