#include "ProgramState.h"

namespace kestova {

ProgramState::ProgramState(QString programDirectory)
    : programDirectory_(std::move(programDirectory)) {}

} // namespace kestova
