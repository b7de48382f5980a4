#pragma once

// The part of identifying a drive that needs no Qt: the values the connection page keeps from
// the identity registers, the model table's query, and the model row it selects. The program's
// windows and the command-line tool share these.

#include <cstdint>
#include <string>

class CADO;
class CKTCOM;

namespace kestova {

// Values as the connection page stores them.
inline std::int32_t FeatureBitsFromRegister(std::int16_t read) {
    return read == -1 ? 0 : read;
}
inline std::int16_t ProtocolFromRegister(std::int16_t read) {
    return read < 300 ? static_cast<std::int16_t>(200) : read;
}

// The identity registers as the connection page reads them: the drive code (0xFD), the feature
// bits (0x49) and the protocol version (0x47), in this order. A read that fails ends it, and
// nothing is guessed for a register that was not read: a protocol taken as 200 would pick
// another model's table.
struct IdentityRead {
    std::int16_t driveCode = 0;
    std::int32_t featureBits = 0;
    std::int16_t protocol = 0;        // as the page keeps it
    std::uint16_t failedRegister = 0; // when failure is set: the register whose read failed
    std::uint16_t failure = 0;        // the link's failure code; 0 when every register was read
};
IdentityRead ReadIdentity(CKTCOM& link, std::uint8_t station);
// "drive code (0xFD)" and the like, for messages.
std::string IdentityRegisterName(std::uint16_t address);

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
