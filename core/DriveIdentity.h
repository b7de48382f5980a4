#pragma once

// Which model the connected drive is: its drive code and protocol version select one row of the
// model table, which names the model, its series and its parameter table.

#include "DriveModel.h"

#include <QString>

#include <cstdint>

class QWidget;

namespace kestova {

class Presenter;
class ProgramState;

enum class IdentifyWhat { ModelSeriesAndTable, ModelAndTable };

// Looks the model up for the drive code and the current protocol version. Sets the current series
// name (unless told not to) and the current parameter table name from the row; returns the model
// name, "Unknown Drive Model" without a row, "Type Error" after a database error. Messages go to
// the presenter, owned by owner.
QString IdentifyDrive(ProgramState& state, Presenter& presenter, QWidget* owner,
                      std::int16_t driveCode,
                      IdentifyWhat what = IdentifyWhat::ModelSeriesAndTable);

// The query text for a drive code and protocol version, blanks as the database has always seen
// them.
QString DriverQuery(std::int16_t driveCode, std::int16_t protocolVersion);

// " V2.15" for 215.
QString FirmwareText(int hundredths);

} // namespace kestova
