#include "LinkFailure.h"

#include "KTCOM.h"
#include "RegisterMap.h"

namespace kestova::cli {

namespace {

const char* Meaning(std::uint16_t code) {
    switch (code) {
    case LINK_ERR_NOT_OPEN:
        return "an exchange was asked for on a closed port";
    case LINK_ERR_OPEN_FAILED:
        return "the port cannot be opened";
    case LINK_ERR_BAD_CRC:
        return "an answer arrived but its CRC was wrong";
    case LINK_ERR_NO_RESPONSE:
        return "fewer bytes than expected arrived in time (no answer)";
    case LINK_ERR_EVENT:
        return "a wake-up object could not be created";
    case LINK_ERR_BUS_BUSY:
        return "another exchange held the line too long";
    case LINK_ERR_BAD_ARGUMENT:
        return "the arguments cannot make a request";
    case LINK_ERR_REFUSED:
        return "the drive refused the request (exception reply)";
    default:
        return "unknown failure";
    }
}

} // namespace

std::string LinkFailureText(std::uint16_t code) {
    if (code == 0) {
        return "no link failure";
    }
    return "link failure " + std::to_string(code) + ": " + Meaning(code);
}

ExitStatus StatusAfterFailure(CKTCOM& link, std::uint8_t station) {
    const std::uint16_t code = link.GetLastErrors();
    if (code == LINK_ERR_NOT_OPEN || code == LINK_ERR_OPEN_FAILED) {
        return kNoDrive;
    }
    if (code == LINK_ERR_REFUSED) {
        return kRefused; // the drive answered: it is there
    }
    link.ReadAddressValue(station, reg::DRIVE_CODE);
    return link.GetLastErrors() != 0 ? kNoDrive : kRefused;
}

} // namespace kestova::cli
