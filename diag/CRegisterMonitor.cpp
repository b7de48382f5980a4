#include "CRegisterMonitor.h"

namespace kestova {

CRegisterMonitor::CRegisterMonitor(ProgramState& state, Presenter& presenter, QWidget* parent)
    : QWidget(parent), state_(state), presenter_(presenter) {
    setObjectName("page168");
}

} // namespace kestova
