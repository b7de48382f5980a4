#include "CNewCorvexApp.h"

#include "CMainDlg.h"
#include "ProgramState.h"
#include "QtPresenter.h"

namespace kestova {

CNewCorvexApp::CNewCorvexApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName("Kestova");
    setOrganizationName("Kestova");
}

int CNewCorvexApp::InitInstance() {
    // The shared objects live as long as the main window runs: database first, then the link.
    ProgramState state(applicationDirPath());
    QtPresenter presenter;
    CMainDlg mainDialog(state, presenter);
    mainDialog.exec();
    return 0;
}

} // namespace kestova
