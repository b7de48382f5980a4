#include "DriveModel.h"

#include "CADO.h"

#include <cstdio>

namespace kestova {

std::string DriverQueryText(std::int16_t driveCode, std::int16_t protocolVersion) {
    char sql[128];
    std::snprintf(sql, sizeof sql,
                  "Select * from   DriverTable  Where DriverCode = %d And ProtocolVerssion =%d",
                  int{driveCode}, int{protocolVersion});
    return sql;
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
