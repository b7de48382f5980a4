#include "CRunTest.h"

namespace kestova {

CRunTest::CRunTest(ProgramState& state, Presenter& presenter, QWidget* parent)
    : QWidget(parent), state_(state), presenter_(presenter) {
    setObjectName("page134");
}

void CRunTest::StopCurrentTest(int) {}

void CRunTest::RefreshFromDrive() {}

} // namespace kestova
