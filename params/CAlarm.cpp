#include "CAlarm.h"

namespace kestova {

CAlarm::CAlarm(ProgramState& state, Presenter& presenter, QWidget* parent)
    : QWidget(parent), state_(state), presenter_(presenter) {
    setObjectName("page154");
}

} // namespace kestova
