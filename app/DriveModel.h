#pragma once

// The part of identifying a drive that needs no Qt: the values the connection page keeps from
// the identity registers, the model table's query, and the model row it selects. The program's
// windows and the command-line tool share these.

#include <cstdint>
#include <string>

class CADO;

namespace kestova {

// Values as the connection page stores them.
inline std::int32_t FeatureBitsFromRegister(std::int16_t read) {
    return read == -1 ? 0 : read;
}
inline std::int16_t ProtocolFromRegister(std::int16_t read) {
    return read < 300 ? static_cast<std::int16_t>(200) : read;
}

// The query text for a drive code and protocol version, blanks as the database has always seen
// them.
std::string DriverQueryText(std::int16_t driveCode, std::int16_t protocolVersion);

// " V2.15" for 215.
std::string FirmwareVersionText(int hundredths);

// The model row of a drive: only the first row matching its code and protocol counts.
struct DriveModelLookup {
    enum class Status {
        Found,
        NoRow,   // no model has this code and protocol
        NotOpen, // the query left no open record set
        DbError  // the database raised; errorDescription says why
    };
    Status status = Status::NoRow;
    std::string model;
    std::string series;
    std::string table; // the model's parameter table
    std::string errorDescription;
};
DriveModelLookup LookUpDriveModel(CADO& db, std::int16_t driveCode, std::int16_t protocolVersion);

} // namespace kestova
