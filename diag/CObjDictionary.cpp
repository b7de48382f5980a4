#include "CObjDictionary.h"

namespace kestova {

CObjDictionary::CObjDictionary(ProgramState& state, Presenter& presenter, QWidget* parent)
    : QWidget(parent), state_(state), presenter_(presenter) {
    setObjectName("page167");
}

} // namespace kestova
