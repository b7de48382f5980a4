#include "DriveIdentity.h"

#include "Presenter.h"
#include "ProgramState.h"

namespace kestova {

QString DriverQuery(std::int16_t driveCode, std::int16_t protocolVersion) {
    return QString::fromStdString(DriverQueryText(driveCode, protocolVersion));
}

QString FirmwareText(int hundredths) {
    return QString::fromStdString(FirmwareVersionText(hundredths));
}

QString IdentifyDrive(ProgramState& state, Presenter& presenter, QWidget* owner,
                      std::int16_t driveCode, IdentifyWhat what) {
    QString model = QStringLiteral("Unknown Drive Model");
    try {
        RecordsetPtr rs =
            state.Db().OpenRecordset(DriverQuery(driveCode, state.protocolVersion).toStdString());
        if (!state.Db().IsRecordsetOpen()) {
            presenter.Message(owner, "DB closed", "Parameter Reading Error", MsgIcon::Exclamation);
            return model;
        }
        // Only the first matching row counts.
        if (!rs->IsEOF()) {
            model = QString::fromStdString(rs->GetFieldValue("DriverType"));
            if (what == IdentifyWhat::ModelSeriesAndTable) {
                try {
                    state.seriesName = QString::fromStdString(rs->GetFieldValue("Series"));
                } catch (const CDbError&) {
                    presenter.Message(owner, "Product series information can't be found.",
                                      QString(), MsgIcon::None);
                }
            }
            state.paraTableName = QString::fromStdString(rs->GetFieldValue("ParaTable"));
            rs->MoveNext();
        }
        rs->Close();
    } catch (const CDbError& e) {
        presenter.Message(owner, "Data conneciton error:" + QString::fromStdString(e.Description()),
                          "Read parameter data error", MsgIcon::Exclamation);
        model = QStringLiteral("Type Error");
    }
    return model;
}

} // namespace kestova
