#include "ModelDatabase.h"

#include "Drive.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <filesystem>
#include <unistd.h>

#ifdef KESTOVA_SIM_WITH_DATABASE
#include "CADO.h"
#include "KestovaDb.h"
#endif

namespace kestova::sim {

std::string DefaultDatabasePath() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) {
        return "DATA.mdb";
    }
    buffer[n] = '\0';
    return (std::filesystem::path(buffer).parent_path() / "DATA.mdb").string();
}

#ifdef KESTOVA_SIM_WITH_DATABASE

namespace {

std::string Upper(std::string text) {
    for (auto& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

bool OpenDatabase(CADO& db, const std::string& path, std::string& error) {
    if (!db.OpenConnection(kdb::ProgramConnectionString(path))) {
        error = "cannot open the model database " + path + ": " + db.LastConnectionError();
        return false;
    }
    return true;
}

// Table names come from DriverTable; only plain identifiers go into a query.
bool IsPlainName(const std::string& name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    });
}

std::vector<ParameterRow> ReadParameterRows(CADO& db, const std::string& table,
                                            std::vector<std::string>& warnings) {
    std::vector<ParameterRow> rows;
    RecordsetPtr rs = db.OpenRecordset("Select * from " + table + " Order by rank asc");
    while (!rs->IsEOF()) {
        ParameterRow row;
        const std::string address = rs->GetFieldValue("Address");
        row.name = rs->GetFieldValue("ParameterName");
        row.units = rs->GetFieldValue("Units");
        row.defaultValue = LeadingInteger(rs->GetFieldValue("ParameterValue"));
        const std::string range = rs->GetFieldValue("Range");
        rs->MoveNext();
        const std::int32_t a = LeadingInteger(address);
        if (a < 0 || a > 0xFFFF) {
            warnings.push_back("parameter " + row.name + " has no register address");
            continue;
        }
        row.address = static_cast<std::uint16_t>(a);
        if (auto limits = ParseRangeText(range)) {
            row.low = limits->first;
            row.high = limits->second;
        } else {
            warnings.push_back("register " + address + " has no readable range: " + range);
            row.low = -32768;
            row.high = 65535;
        }
        // The parameter page shows these registers unsigned; so does a range past 32767.
        row.isUnsigned = row.high > 32767 || a == 14 || a == 18 || a == 165;
        if (!row.isUnsigned) {
            row.low = std::max(row.low, -32768);
            row.high = std::min(row.high, 32767);
        }
        rows.push_back(row);
    }
    rs->Close();
    return rows;
}

void ReadAlarmCodes(CADO& db, AlarmCodes& codes) {
    RecordsetPtr rs = db.OpenRecordset("Select * from AlarmTable Order by AlarmCode asc");
    bool current = false;
    bool following = false;
    bool memory = false;
    while (!rs->IsEOF()) {
        const std::string name = Upper(rs->GetFieldValue("AlarmName"));
        const auto code = static_cast<std::int16_t>(LeadingInteger(rs->GetFieldValue("AlarmCode")));
        rs->MoveNext();
        if (!current && name.find("OVER-CURRENT") != std::string::npos) {
            codes.overCurrent = code;
            current = true;
        } else if (!following && name.find("FOLLOWING") != std::string::npos) {
            codes.followingError = code;
            following = true;
        } else if (!memory && name.find("MEMORY") != std::string::npos) {
            codes.memoryError = code;
            memory = true;
        }
    }
    rs->Close();
}

MotorKind KindOf(const ModelDescription& model, const std::vector<ParameterRow>& rows) {
    for (const auto& row : rows) {
        if (Upper(row.name).find("POLE PAIRS") != std::string::npos) {
            return row.defaultValue >= 50 ? MotorKind::Stepper : MotorKind::Servo;
        }
    }
    const std::string text = Upper(model.name + " " + model.series);
    return text.find("SERVO") != std::string::npos ? MotorKind::Servo : MotorKind::Stepper;
}

// What the model database does not hold: the drive's firmware, capture memory and features.
void SetDriveProperties(ModelDescription& m) {
    const bool servo = m.motor == MotorKind::Servo;
    m.firmwareVersion = static_cast<std::uint16_t>(
        m.protocolVersion >= 300 ? 300 + m.protocolVersion % 100 / 10 : 215);
    m.channelCount = m.protocolVersion >= 300 ? 4 : 2;
    m.samplesPerChannel = servo ? 512 : 400;
    m.featureBits = m.protocolVersion >= 300 ? 0x7 : 0x0;
}

} // namespace

std::optional<ModelDescription> LoadModel(const std::string& databasePath, int driveCode,
                                          std::optional<int> protocolVersion, std::string& error) {
    try {
        CADO db;
        if (!OpenDatabase(db, databasePath, error)) {
            return std::nullopt;
        }
        std::string sql =
            "Select * from DriverTable Where DriverCode = " + std::to_string(driveCode);
        if (protocolVersion) {
            sql += " And ProtocolVerssion = " + std::to_string(*protocolVersion);
        }
        sql += " Order by ProtocolVerssion desc"; // a code's newest firmware unless asked
        RecordsetPtr rs = db.OpenRecordset(sql);
        if (rs->IsEOF()) {
            error = "the model database has no drive code " + std::to_string(driveCode) +
                    (protocolVersion ? " of protocol " + std::to_string(*protocolVersion) : "");
            return std::nullopt;
        }
        ModelDescription m;
        m.driveCode = driveCode;
        m.protocolVersion = LeadingInteger(rs->GetFieldValue("ProtocolVerssion"));
        m.name = rs->GetFieldValue("DriverType");
        m.series = rs->GetFieldValue("Series");
        m.parameterTable = rs->GetFieldValue("ParaTable");
        rs->Close();
        if (!IsPlainName(m.parameterTable)) {
            error = "parameter table name not usable: " + m.parameterTable;
            return std::nullopt;
        }
        const std::vector<ParameterRow> rows = ReadParameterRows(db, m.parameterTable, m.warnings);
        ReadAlarmCodes(db, m.alarms);
        m.motor = KindOf(m, rows);
        SetDriveProperties(m);
        AddParameterRows(m, rows);
        for (const auto& row : m.parameters) {
            if (Drive::IsFunctionRegister(row.address, m.LaterProtocol())) {
                m.warnings.push_back("parameter at register " + std::to_string(row.address) +
                                     " is shadowed by a drive function register: " + row.name);
            }
        }
        return m;
    } catch (const CDbError& e) {
        error = "model database error: " + e.Description();
        return std::nullopt;
    }
}

std::vector<ModelSummary> ListModels(const std::string& databasePath, std::string& error) {
    std::vector<ModelSummary> out;
    try {
        CADO db;
        if (!OpenDatabase(db, databasePath, error)) {
            return out;
        }
        RecordsetPtr rs = db.OpenRecordset("Select * from DriverTable");
        while (!rs->IsEOF()) {
            ModelSummary s;
            s.driveCode = LeadingInteger(rs->GetFieldValue("DriverCode"));
            s.protocolVersion = LeadingInteger(rs->GetFieldValue("ProtocolVerssion"));
            s.name = rs->GetFieldValue("DriverType");
            s.series = rs->GetFieldValue("Series");
            out.push_back(s);
            rs->MoveNext();
        }
        rs->Close();
    } catch (const CDbError& e) {
        error = "model database error: " + e.Description();
    }
    return out;
}

#else

std::optional<ModelDescription> LoadModel(const std::string&, int, std::optional<int>,
                                          std::string& error) {
    error = "this build has no model database access";
    return std::nullopt;
}

std::vector<ModelSummary> ListModels(const std::string&, std::string& error) {
    error = "this build has no model database access";
    return {};
}

#endif

} // namespace kestova::sim
