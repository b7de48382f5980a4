#include "CParameterManage.h"

namespace kestova {

CParameterManage::CParameterManage(ProgramState& state, Presenter& presenter, QWidget* parent)
    : QWidget(parent), state_(state), presenter_(presenter) {
    setObjectName("page133");
}

void CParameterManage::FillClassFilter() {}
void CParameterManage::ReloadAndRead() {}
void CParameterManage::WriteToDrive() {}
void CParameterManage::ResetToFactory() {}
bool CParameterManage::OpenParameterFile() {
    return false;
}
void CParameterManage::SaveParameterFile() {}
void CParameterManage::DownloadAllParameters() {}

} // namespace kestova
