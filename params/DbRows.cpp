#include "DbRows.h"

#include "CADO.h"

namespace kestova::params {

LoadStatus ReadRows(CADO& db, const std::string& sql,
                    const std::function<void(CRecordset&)>& eachRow,
                    std::string& errorDescription) {
    RecordsetPtr rs;
    try {
        rs = db.OpenRecordset(sql);
        if (!db.IsRecordsetOpen()) {
            return LoadStatus::NotOpen;
        }
        while (!rs->IsEOF()) {
            eachRow(*rs);
            rs->MoveNext();
        }
        rs->Close();
    } catch (const CDbError& e) {
        if (rs) {
            rs->Close();
        }
        errorDescription = e.Description();
        return LoadStatus::DbError;
    }
    return LoadStatus::Ok;
}

} // namespace kestova::params
