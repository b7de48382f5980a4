#pragma once

// The program's one top-level window: a column of picture buttons, a title strip and one page at
// a time, the menu bar, and the reaction to the link coming up and going down.

#include "MainLayout.h"

#include <QDialog>
#include <QHash>

#include <functional>
#include <memory>
#include <vector>

class QAction;
class QMenuBar;
namespace Ui {
class MainForm;
}

namespace kestova {

class CAbout;
class CAlarm;
class CBusMonitor;
class CButtonExt;
class CConnect;
class CObjDictionary;
class CParameterManage;
class CPlatformInfo;
class CProductInfo;
class CRegisterMonitor;
class CRunTest;
class CTuningAssistant;
class Presenter;
class ProgramState;

class CMainDlg : public QDialog {
    Q_OBJECT
public:
    CMainDlg(ProgramState& state, Presenter& presenter, QWidget* parent = nullptr);
    ~CMainDlg() override;

    // A command from the menu, a button, or any other part of the program.
    void OnCommand(int id);
    // 1 connection, 2 parameters, 3 motion test, 4 product information, 5 alarms,
    // 6 dictionary, 7 registers, 8 bus monitor.
    void ShowPage(int page);
    void SetDriveCommandsEnabled(bool on);

    const QString& PageTitle() const { return title_; }
    QWidget* Page(int page) const;
    QAction* Action(int id) const { return actions_.value(id); }
    CButtonExt* Button(int id) const;
    CConnect* ConnectPage() const { return connect_; }
    CParameterManage* ParametersPage() const { return parameters_; }
    CRunTest* MotionPage() const { return motion_; }
    CPlatformInfo* PlatformPage() const { return platform_; }
    CAlarm* AlarmPage() const { return alarm_; }
    // Drive -> Tuning Assistant; none before it was first opened.
    CTuningAssistant* TuningAssistant() const { return tuning_; }
    CBusMonitor* BusMonitorPage() const { return busMonitor_; }
    CProductInfo* ProductInfoDialog() const { return productInfo_.get(); }
    CAbout* AboutDialog() const { return about_.get(); }
    const MainLayout& Layout() const { return layout_; }
    // The seam through which the program shows its message boxes and file dialogs.
    Presenter& Dialogs() const { return presenter_; }

    // The dialogs run modally; tests replace this to look at them instead.
    std::function<void(QDialog&)> runDialog;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void StartUp();
    void BuildMenu();
    void LayOut();
    void SetMinimumSize();
    void RestorePlace();
    void SavePlace() const;
    void PaintClient(QWidget* client);
    void OnLinkNotify(quintptr wParam);
    void LinkUp();
    void ShowProductInfo();
    void ShowAbout();
    void OpenManual();
    void OpenProjectFile();
    void CloseProgram();
    void ShowTuningAssistant();
    // What the assistant left in the drive, shown on the parameter page.
    void TuningKept();

    ProgramState& state_;
    Presenter& presenter_;
    std::unique_ptr<Ui::MainForm> ui_;
    QWidget* client_ = nullptr;
    QMenuBar* menuBar_ = nullptr;
    CConnect* connect_ = nullptr;
    CParameterManage* parameters_ = nullptr;
    CRunTest* motion_ = nullptr;
    CPlatformInfo* platform_ = nullptr;
    CAlarm* alarm_ = nullptr;
    CObjDictionary* dictionary_ = nullptr;
    CRegisterMonitor* registers_ = nullptr;
    CTuningAssistant* tuning_ = nullptr;
    CBusMonitor* busMonitor_ = nullptr;
    std::unique_ptr<CAbout> about_;
    std::unique_ptr<CProductInfo> productInfo_;
    QString title_ = QStringLiteral("Communication");
    // The pages: number, title drawn in the title strip, widget, and what it does before it shows.
    struct PageEntry {
        int number;
        const char* title;
        QWidget* widget;
        std::function<void()> onShow;
    };
    std::vector<PageEntry> pages_;
    QHash<int, QAction*> actions_;
    MainLayout layout_;
    bool closing_ = false;
};

} // namespace kestova
