// backup, restore and diff: parameter set files (*.ktr) exactly as the program reads and writes
// them, with its drive-code check.

#include "CliError.h"
#include "CommandJournal.h"
#include "Commands.h"
#include "JournalledTransfer.h"
#include "LinkFailure.h"
#include "Output.h"
#include "ParameterFile.h"
#include "ParameterTransfer.h"
#include "RowNames.h"
#include "WritableRows.h"

#include <algorithm>
#include <map>
#include <ostream>

namespace kestova::cli {

using namespace params;

namespace {

ParameterFileRead ReadFile(const std::string& path) {
    std::string bytes;
    if (const auto error = LoadFileBytes(path, bytes)) {
        throw CliError(kRefused, "cannot open " + path + ": " + *error);
    }
    ParameterFileRead file = ReadParameterFile(bytes);
    switch (file.verdict) {
    case FileVerdict::Ok:
        break;
    case FileVerdict::UnknownModel:
        throw CliError(kRefused, path + ": drive model in this file is unknown");
    case FileVerdict::NotAParameterFile:
        throw CliError(kRefused, "cannot read " + path + ": " + file.problem);
    }
    return file;
}

// The program refuses a file of another drive; offline (drive code 0) it takes any.
void CheckDriveCode(const Session& s, const ParameterFileRead& file, const std::string& path) {
    if (s.Id().driveCode != 0 && file.driveCode != s.Id().driveCode) {
        throw CliError(kRefused, "current drive model " + s.Id().model + " (drive code " +
                                     std::to_string(s.Id().driveCode) +
                                     ") is different from the drive " +
                                     std::to_string(file.driveCode) + " in " + path);
    }
}

// What the drive holds for each row, as the page shows it; a row not read ends the command.
ParameterRows DriveValues(Session& s, const ParameterRows& rows, Progress& progress,
                          const std::string& consequence = {}) {
    ParameterRows read = rows;
    ReadValues(
        s, read,
        [&progress, n = rows.size()](int done) {
            progress.Show("reading " + std::to_string(done) + "/" + std::to_string(n));
        },
        consequence);
    progress.Clear();
    return read;
}

struct Difference {
    const ParameterRow* row;
    std::string left;
    std::string right;
};

// `same` is the line that says so when nothing differs: silence would look like a failure.
int PrintDifferences(std::ostream& out, bool json, const std::vector<Difference>& differences,
                     const std::string& leftName, const std::string& rightName,
                     const std::string& same) {
    if (json) {
        auto key = [](std::string name) {
            for (char& ch : name) {
                ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
            }
            return name;
        };
        Json list = Json::array();
        for (const Difference& d : differences) {
            list.push_back({{"number", d.row->Cell(kNumberColumn)},
                            {"name", d.row->Cell(kDescriptionColumn)},
                            {"address", AddressOf(*d.row)},
                            {key(leftName), d.left},
                            {key(rightName), d.right},
                            {"unit", d.row->Cell(kUnitColumn)}});
        }
        PrintJson(out, {{"same", differences.empty()}, {"differences", list}});
    } else if (!differences.empty()) {
        TextTable table({"NUMBER", "NAME", leftName, rightName, "UNIT"});
        for (const Difference& d : differences) {
            table.Add({d.row->Cell(kNumberColumn), d.row->Cell(kDescriptionColumn), d.left, d.right,
                       d.row->Cell(kUnitColumn)});
        }
        table.Print(out);
    } else {
        out << same << '\n';
    }
    return differences.empty() ? kSuccess : kRefused;
}

// Rows the drive does not hold as the file says.
std::vector<Difference> CompareWithDrive(const ParameterRows& fileRows,
                                         const ParameterRows& driveRows) {
    std::vector<Difference> out;
    for (std::size_t i = 0; i < fileRows.size(); ++i) {
        const std::string wanted = ShownValue(fileRows[i], fileRows[i].Cell(kValueColumn));
        const std::string& held = driveRows[i].Cell(kValueColumn);
        if (wanted != held) {
            out.push_back({&fileRows[i], wanted, held});
        }
    }
    return out;
}

int DiffFiles(Context& c, const std::string& leftPath, const std::string& rightPath) {
    const ParameterFileRead left = ReadFile(leftPath);
    const ParameterFileRead right = ReadFile(rightPath);
    if (left.driveCode != right.driveCode && !c.link.json) {
        c.err << "note: drive codes differ: " << left.driveCode << " (" << left.modelName
              << ") and " << right.driveCode << " (" << right.modelName << ")\n";
    }
    // Rows are matched by Par. # and register.
    std::map<std::pair<std::string, int>, const ParameterRow*> rightRows;
    for (const ParameterRow& row : right.rows) {
        rightRows.emplace(std::make_pair(row.Cell(kNumberColumn), AddressOf(row)), &row);
    }
    std::vector<Difference> differences;
    for (const ParameterRow& row : left.rows) {
        const auto key = std::make_pair(row.Cell(kNumberColumn), AddressOf(row));
        const auto match = rightRows.find(key);
        const std::string a = ShownValue(row, row.Cell(kValueColumn));
        if (match == rightRows.end()) {
            differences.push_back({&row, a, "(none)"});
            continue;
        }
        const std::string b = ShownValue(*match->second, match->second->Cell(kValueColumn));
        if (a != b) {
            differences.push_back({&row, a, b});
        }
        rightRows.erase(match);
    }
    for (const ParameterRow& row : right.rows) {
        if (rightRows.count(std::make_pair(row.Cell(kNumberColumn), AddressOf(row))) != 0) {
            differences.push_back({&row, "(none)", ShownValue(row, row.Cell(kValueColumn))});
        }
    }
    return PrintDifferences(c.out, c.link.json, differences, "A", "B",
                            "no differences between " + leftPath + " and " + rightPath);
}

} // namespace

int Backup(Context& c, const std::string& path) {
    Session s(c.link);
    s.OpenDatabase();
    s.Connect();
    ParameterRows rows = s.LoadRows("All");
    {
        Progress progress(c.err, c.terminal.err && !c.link.json);
        rows = DriveValues(s, rows, progress, "no file was written");
    }
    const std::string bytes = WriteParameterFile(s.Id().driveCode, s.Id().model, rows);
    if (const auto error = ReplaceFileContents(path, bytes)) {
        throw CliError(kRefused, "cannot save " + path + ": " + *error);
    }
    if (c.link.json) {
        PrintJson(c.out, {{"file", path},
                          {"driveCode", s.Id().driveCode},
                          {"model", s.Id().model},
                          {"parameters", rows.size()}});
    } else {
        c.out << "saved " << rows.size() << " parameters of " << s.Id().model << " (drive code "
              << s.Id().driveCode << ") to " << path << '\n';
    }
    return kSuccess;
}

int Restore(Context& c, const std::string& path, bool store, bool skipUnwritable) {
    const ParameterFileRead file = ReadFile(path);
    Session s(c.link);
    s.OpenDatabase();
    s.Connect();
    CheckDriveCode(s, file, path);

    // Only the drive's own parameters, with values its ranges take, are written. Offline there is
    // no drive: the file's own ranges are checked.
    const std::vector<RowRefusal> unwritable =
        RowsNotWritable(file.rows, c.link.offline ? file.rows : s.LoadRows("All"));
    if (!unwritable.empty()) {
        std::string lines;
        for (const RowRefusal& r : unwritable) {
            lines += "\n  " + r.reason;
        }
        const std::string what = std::to_string(unwritable.size()) + " of " +
                                 std::to_string(file.rows.size()) + " rows of " + path +
                                 " cannot be written to this drive:" + lines;
        if (!skipUnwritable) {
            throw CliError(kRefused,
                           what + "\nnothing was written (--skip-unwritable writes the others)");
        }
        c.err << what << "\nthey were skipped\n";
    }
    std::vector<int> kept;
    const ParameterRows rows = WritableRows(file.rows, unwritable, kept);

    Progress progress(c.err, c.terminal.err && !c.link.json);
    const std::atomic<bool> cancel{false};
    TransferEvents reading;
    reading.progress = [&progress, n = rows.size()](int done) {
        progress.Show("reading " + std::to_string(done) + "/" + std::to_string(n));
    };
    TransferEvents events;
    events.progress = [&progress, n = rows.size()](int done) {
        progress.Show("writing " + std::to_string(done) + "/" + std::to_string(n));
    };
    CommandJournal journal(s, c.err, "restore");
    const PassReport written =
        DownloadJournalled(s.Link(), s.Station(), rows, cancel, reading, events, journal.Writer());
    journal.Tell();
    if (written.end == PassEnd::LinkFailed) {
        const std::vector<int> at{written.stoppedAt};
        throw CliError(kNoDrive, "the drive stopped answering at " + RowNumbers(rows, at) + " (" +
                                     LinkFailureText(written.lastFailure) +
                                     "); not written: " + RowNumbers(rows, written.failedRows));
    }
    // Each value read back: a row the drive refused shows here.
    // Offline nothing was sent and every read gives 0: there is nothing to check.
    const std::vector<Difference> refused =
        c.link.offline ? std::vector<Difference>{}
                       : CompareWithDrive(rows, DriveValues(s, rows, progress,
                                                            "the values written were not checked"));
    bool stored = false;
    if (refused.empty() && store) {
        stored = RunDriveCommand(s.Link(), s.Station(), kStoreRegister, Session::Wait);
        if (stored) {
            journal.Stored();
        } else {
            c.err << "the drive did not confirm the store\n";
        }
    }
    if (!refused.empty()) {
        c.err << refused.size() << " of " << rows.size()
              << " parameters were not taken by the drive:\n";
        PrintDifferences(c.err, false, refused, "FILE", "DRIVE", {});
    }
    if (c.link.json) {
        PrintJson(c.out, {{"file", path},
                          {"parameters", rows.size()},
                          {"skipped", unwritable.size()},
                          {"refused", refused.size()},
                          {"stored", stored}});
    } else if (refused.empty()) {
        c.out << "restored " << rows.size() << " parameters from " << path
              << (unwritable.empty() ? "" : ", skipped " + std::to_string(unwritable.size()))
              << (stored ? ", stored" : "") << '\n';
    }
    return refused.empty() && (stored || !store) ? kSuccess : kRefused;
}

int Diff(Context& c, const std::vector<std::string>& paths) {
    if (paths.size() == 2) {
        return DiffFiles(c, paths[0], paths[1]);
    }
    const ParameterFileRead file = ReadFile(paths.at(0));
    Session s(c.link);
    s.OpenDatabase();
    s.Connect();
    CheckDriveCode(s, file, paths[0]);
    Progress progress(c.err, c.terminal.err && !c.link.json);
    const ParameterRows held = DriveValues(s, file.rows, progress);
    return PrintDifferences(c.out, c.link.json, CompareWithDrive(file.rows, held), "FILE", "DRIVE",
                            "no differences: the drive holds every value of " + paths[0]);
}

} // namespace kestova::cli
