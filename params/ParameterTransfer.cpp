#include "ParameterTransfer.h"

// Placeholder bodies; the transfers are being written.
namespace kestova::params {
PassEnd ReadAllParameters(CKTCOM&, std::uint8_t, const ParameterRows&, const std::atomic<bool>&,
                          const TransferEvents&) {
    return PassEnd::Complete;
}
PassEnd DownloadAllParameters(CKTCOM&, std::uint8_t, const ParameterRows&, const std::atomic<bool>&,
                              const TransferEvents&) {
    return PassEnd::Complete;
}
std::string WriteOneParameter(CKTCOM&, std::uint8_t, const ParameterRows&, int,
                              const std::function<void(std::chrono::milliseconds)>&) {
    return {};
}
bool RunDriveCommand(CKTCOM&, std::uint8_t, std::uint16_t,
                     const std::function<void(std::chrono::milliseconds)>&) {
    return false;
}
} // namespace kestova::params
