// params, get and set: the model's parameters by name, with the page's value rules.

#include "CliError.h"
#include "CommandJournal.h"
#include "Commands.h"
#include "LinkFailure.h"
#include "Output.h"
#include "ParameterTransfer.h"
#include "RowNames.h"

#include <algorithm>
#include <ostream>

namespace kestova::cli {

using namespace params;

namespace {

Json RowJson(const ParameterRow& row) {
    return {{"number", row.Cell(kNumberColumn)}, {"name", row.Cell(kDescriptionColumn)},
            {"address", AddressOf(row)},         {"value", row.Cell(kValueColumn)},
            {"unit", row.Cell(kUnitColumn)},     {"range", row.Cell(kRangeColumn)}};
}

std::size_t OneRow(const ParameterRows& rows, const std::string& word) {
    const std::vector<std::size_t> found = FindRows(rows, word);
    if (found.empty()) {
        throw CliError(kUsage, "no parameter " + word + " in this drive's table");
    }
    if (found.size() > 1) {
        std::string numbers;
        for (const std::size_t i : found) {
            numbers += " " + rows[i].Cell(kNumberColumn);
        }
        throw CliError(kUsage, word + " names several parameters:" + numbers);
    }
    return found.front();
}

void PrintRows(Context& c, const ParameterRows& rows, const ParameterRows* defaults,
               const std::vector<std::size_t>& which) {
    if (c.link.json) {
        Json list = Json::array();
        for (const std::size_t i : which) {
            Json row = RowJson(rows[i]);
            if (defaults != nullptr) {
                row["default"] = (*defaults)[i].Cell(kValueColumn);
            }
            list.push_back(std::move(row));
        }
        PrintJson(c.out, list);
        return;
    }
    std::vector<std::string> headings{"NUMBER", "NAME", "VALUE", "UNIT", "RANGE"};
    if (defaults != nullptr) {
        headings.insert(headings.begin() + 3, "DEFAULT");
    }
    TextTable table(headings);
    for (const std::size_t i : which) {
        const ParameterRow& r = rows[i];
        std::vector<std::string> cells{r.Cell(kNumberColumn), r.Cell(kDescriptionColumn),
                                       r.Cell(kValueColumn), r.Cell(kUnitColumn),
                                       r.Cell(kRangeColumn)};
        if (defaults != nullptr) {
            cells.insert(cells.begin() + 3, (*defaults)[i].Cell(kValueColumn));
        }
        table.Add(std::move(cells));
    }
    table.Print(c.out);
}

} // namespace

int ListParameters(Context& c, const ParamsOptions& o) {
    Session s(c.link);
    s.OpenDatabase();
    s.Connect();
    if (!o.className.empty() && o.className.find("All") == std::string::npos) {
        const ClassLoad classes = LoadClasses(s.Db(), s.Id().table);
        if (std::find(classes.classes.begin(), classes.classes.end(), o.className) ==
            classes.classes.end()) {
            std::string known;
            for (const std::string& name : classes.classes) {
                known += "\n  " + name;
            }
            throw CliError(kUsage, "no class " + o.className + " in " + s.Id().table +
                                       "; its classes:" + known);
        }
    }
    ParameterRows rows = s.LoadRows(o.className.empty() ? "All" : o.className);
    const ParameterRows defaults = rows;
    {
        Progress progress(c.err, c.terminal.err && !c.link.json);
        ReadValues(s, rows, [&progress, n = rows.size()](int done) {
            progress.Show("reading " + std::to_string(done) + "/" + std::to_string(n));
        });
    }
    std::vector<std::size_t> which;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (!o.changed ||
            ShownValue(defaults[i], defaults[i].Cell(kValueColumn)) != rows[i].Cell(kValueColumn)) {
            which.push_back(i);
        }
    }
    PrintRows(c, rows, o.changed ? &defaults : nullptr, which);
    return kSuccess;
}

int GetParameters(Context& c, const std::vector<std::string>& names) {
    Session s(c.link);
    s.OpenDatabase();
    s.Connect();
    const ParameterRows all = s.LoadRows("All");
    ParameterRows picked;
    for (const std::string& name : names) {
        const std::vector<std::size_t> found = FindRows(all, name);
        if (found.empty()) {
            throw CliError(kUsage, "no parameter " + name + " in this drive's table");
        }
        for (const std::size_t i : found) {
            picked.push_back(all[i]);
        }
    }
    ReadValues(s, picked);
    std::vector<std::size_t> which(picked.size());
    for (std::size_t i = 0; i < which.size(); ++i) {
        which[i] = i;
    }
    PrintRows(c, picked, nullptr, which);
    return kSuccess;
}

int SetParameters(Context& c, const std::vector<std::string>& assignments, bool store) {
    Session s(c.link);
    s.OpenDatabase();
    s.Connect();
    ParameterRows rows = s.LoadRows("All");

    // Every assignment is checked before anything is sent.
    struct Change {
        std::size_t row;
        std::string asked; // as typed
        std::string value; // in decimal, as the row's Value cell takes it
    };
    std::vector<Change> changes;
    std::string refusals;
    bool bitRow = false;
    for (const std::string& assignment : assignments) {
        const std::size_t eq = assignment.rfind('=');
        if (eq == std::string::npos || eq == 0) {
            throw CliError(kUsage, "set wants NAME=VALUE, not " + assignment);
        }
        const std::size_t i = OneRow(rows, assignment.substr(0, eq));
        const std::string asked = assignment.substr(eq + 1);
        const std::string& range = rows[i].Cell(kRangeColumn);
        const std::optional<long long> value = ValueToWrite(rows[i], asked, true);
        if (!value) {
            refusals += rows[i].Cell(kNumberColumn) + " " + rows[i].Cell(kDescriptionColumn) +
                        ": " + (asked.empty() ? "an empty value" : asked) +
                        (WholeInteger(asked, true) ? " is out of the range "
                                                   : " is not a whole number in the range ") +
                        range + "\n";
            continue;
        }
        bitRow = bitRow || AddressOf(rows[i]) == kBitFieldAddress;
        changes.push_back({i, asked, std::to_string(*value)});
    }
    if (!refusals.empty()) {
        throw CliError(kRefused, refusals.substr(0, refusals.size() - 1) + "\nnothing was written");
    }

    CKTCOM& link = s.Link();
    if (bitRow) {
        // The bit rows share one register: the bits not set here keep what the drive holds.
        const std::int16_t packed = link.ReadAddressValue(s.Station(), kBitFieldAddress);
        if (link.GetLastErrors() != 0) {
            const std::string failure = LinkFailureText(link.GetLastErrors());
            throw CliError(StatusAfterFailure(link, s.Station()),
                           "reading register 255 failed: " + failure);
        }
        for (ParameterRow& row : rows) {
            if (AddressOf(row) == kBitFieldAddress) {
                row.Cell(kValueColumn) =
                    FormatParameterValue(row.Cell(kDescriptionColumn), kBitFieldAddress, packed);
            }
        }
    }

    // What the drive holds before the writes, for the journal; a value not read is not guessed.
    std::vector<std::optional<std::string>> olds(changes.size());
    if (!c.link.offline) {
        ParameterRows before;
        for (const Change& change : changes) {
            before.push_back(rows[change.row]);
        }
        TransferEvents events;
        events.value = [&olds](int i, std::string text) {
            olds[static_cast<std::size_t>(i)] = std::move(text);
        };
        events.failed = [&olds](int i) { olds[static_cast<std::size_t>(i)].reset(); };
        const std::atomic<bool> cancel{false};
        ReadAllParameters(link, s.Station(), before, cancel, events);
    }
    CommandJournal journal(s, c.err, "set");

    int status = kSuccess;
    Json results = Json::array();
    TextTable table({"NUMBER", "NAME", "ASKED", "DRIVE HOLDS", "UNIT"});
    for (std::size_t k = 0; k < changes.size(); ++k) {
        const Change& change = changes[k];
        ParameterRow& row = rows[change.row];
        row.Cell(kValueColumn) = change.value;
        const std::string back =
            WriteOneParameter(link, s.Station(), rows, static_cast<int>(change.row), Session::Wait);
        const std::uint16_t failure = link.GetLastErrors();
        const std::string expected = ShownValue(row, change.value);
        // Offline every read gives 0: there is nothing to compare with.
        const bool ok = c.link.offline || (failure == 0 && back == expected);
        row.Cell(kValueColumn) = back;
        // The drive took a value when it reads back the one asked, or one it did not hold before.
        if (failure == 0 && (ok || (olds[k] && back != *olds[k]))) {
            journal.Written(row, olds[k], back);
        }
        if (failure != 0) {
            const std::string text = LinkFailureText(failure);
            status = std::max<int>(status, StatusAfterFailure(link, s.Station()));
            c.err << row.Cell(kNumberColumn) << ": reading it back failed: " << text << '\n';
        } else if (!ok) {
            status = std::max<int>(status, kRefused);
            c.err << row.Cell(kNumberColumn) << ": the drive holds " << back << ", not " << expected
                  << '\n';
        }
        results.push_back({{"number", row.Cell(kNumberColumn)},
                           {"name", row.Cell(kDescriptionColumn)},
                           {"asked", change.asked},
                           {"value", back},
                           {"ok", ok}});
        table.Add({row.Cell(kNumberColumn), row.Cell(kDescriptionColumn), change.asked, back,
                   row.Cell(kUnitColumn)});
    }

    bool stored = false;
    if (store && status == kSuccess) {
        stored = RunDriveCommand(link, s.Station(), kStoreRegister, Session::Wait);
        if (stored) {
            journal.Stored();
        } else {
            status = kRefused;
            c.err << "the drive did not confirm the store\n";
        }
    }
    if (c.link.json) {
        PrintJson(c.out, {{"written", results}, {"stored", stored}});
    } else {
        table.Print(c.out);
        if (stored) {
            c.out << "stored\n";
        }
    }
    return status;
}

} // namespace kestova::cli
