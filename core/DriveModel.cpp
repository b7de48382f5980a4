#include "DriveModel.h"

#include "CADO.h"
#include "KTCOM.h"
#include "RegisterMap.h"

#include <cstdio>
#include <optional>

namespace kestova {

std::string DriverQueryText(std::int16_t driveCode, std::int16_t protocolVersion) {
    char sql[128];
    std::snprintf(sql, sizeof sql,
                  "Select * from   DriverTable  Where DriverCode = %d And ProtocolVerssion =%d",
                  int{driveCode}, int{protocolVersion});
    return sql;
}

IdentityRead ReadIdentity(CKTCOM& link, std::uint8_t station) {
    IdentityRead out;
    // Each read's failure is told by the last error: a register may well hold 0xFFFF.
    auto read = [&](std::uint16_t address) -> std::optional<std::int16_t> {
        const std::int16_t value = link.ReadAddressValue(station, address);
        if (link.GetLastErrors() != 0) {
            out.failedRegister = address;
            out.failure = link.GetLastErrors();
            return std::nullopt;
        }
        return value;
    };
    const auto code = read(reg::DRIVE_CODE);
    if (!code) {
        return out;
    }
    out.driveCode = *code;
    const auto features = read(reg::FEATURE_BITS);
    if (!features) {
        return out;
    }
    out.featureBits = FeatureBitsFromRegister(*features);
    const auto protocol = read(reg::PROTOCOL_VERSION);
    if (!protocol) {
        return out;
    }
    out.protocol = ProtocolFromRegister(*protocol);
    return out;
}

std::string IdentityRegisterName(std::uint16_t address) {
    switch (address) {
    case reg::DRIVE_CODE:
        return "drive code (0xFD)";
    case reg::FEATURE_BITS:
        return "feature bits (0x49)";
    case reg::PROTOCOL_VERSION:
        return "protocol version (0x47)";
    case reg::FIRMWARE_VERSION:
        return "firmware version (0x4A)";
    default:
        return "register " + std::to_string(address);
    }
}

std::string FirmwareVersionText(int hundredths) {
    char text[32];
    std::snprintf(text, sizeof text, " V%.2f", hundredths / 100.0);
    return text;
}

DriveModelLookup LookUpDriveModel(CADO& db, std::int16_t driveCode, std::int16_t protocolVersion) {
    DriveModelLookup out;
    try {
        RecordsetPtr rs = db.OpenRecordset(DriverQueryText(driveCode, protocolVersion));
        if (!db.IsRecordsetOpen()) {
            out.status = DriveModelLookup::Status::NotOpen;
            return out;
        }
        if (!rs->IsEOF()) {
            out.model = rs->GetFieldValue("DriverType");
            out.series = rs->GetFieldValue("Series");
            out.table = rs->GetFieldValue("ParaTable");
            out.status = DriveModelLookup::Status::Found;
        }
        rs->Close();
    } catch (const CDbError& e) {
        out.status = DriveModelLookup::Status::DbError;
        out.errorDescription = e.Description();
    }
    return out;
}

} // namespace kestova
