#pragma once

// The parameter page: the identified model's parameter list, read from and written to the drive.
// The list itself is not built yet; the main window already calls the page's operations.

#include <QWidget>

namespace kestova {

class Presenter;
class ProgramState;

class CParameterManage : public QWidget {
    Q_OBJECT
public:
    CParameterManage(ProgramState& state, Presenter& presenter, QWidget* parent = nullptr);

    void FillClassFilter();
    void ReloadAndRead();
    void WriteToDrive();
    void ResetToFactory();
    bool OpenParameterFile();
    void SaveParameterFile();
    void DownloadAllParameters();

private:
    ProgramState& state_;
    Presenter& presenter_;
};

} // namespace kestova
