#pragma once

// The objects and values the whole program shares: the model database, the drive link, the
// identified model's texts and the values read from the drive. One object lives for the run;
// windows are handed a reference to it.

#include "CADO.h"
#include "KTCOM.h"

#include <QString>

#include <cstdint>

namespace kestova {

class ProgramState {
public:
    // programDirectory: where DATA.mdb, Settings.ini and the manual lie, without a trailing
    // separator.
    explicit ProgramState(QString programDirectory);

    CADO& Db() { return db_; }
    CKTCOM& Link() { return link_; }
    const QString& ProgramDirectory() const { return programDirectory_; }
    QString FileBesideProgram(const QString& name) const { return programDirectory_ + "/" + name; }

    // True when every bit of mask is among the drive's feature bits.
    bool HasFeature(std::uint32_t mask) const {
        return (static_cast<std::uint32_t>(featureBits) & mask) == mask;
    }

    // Written when a model is identified.
    QString modelName;
    QString paraTableName;
    QString seriesName;

    // Written by the connection page.
    QString portName; // as the connection page gave it to the link
    std::uint8_t station = 1;
    std::int16_t driveCode = 0; // below 1: no drive
    std::int16_t protocolVersion = 0;
    std::int32_t featureBits = 0;

private:
    // Built in this order and torn down in reverse: the database, then the link.
    CADO db_;
    CKTCOM link_;
    QString programDirectory_;
};

} // namespace kestova
