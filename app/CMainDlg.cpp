#include "CMainDlg.h"

#include "BusyCursor.h"
#include "CAlarm.h"
#include "CBusMonitor.h"
#include "CButtonExt.h"
#include "CConnect.h"
#include "CListCtrlExt.h"
#include "CListMarks.h"
#include "CObjDictionary.h"
#include "CParameterManage.h"
#include "CPlatformInfo.h"
#include "CRegisterMonitor.h"
#include "CRunTest.h"
#include "CTuningAssistant.h"
#include "DesktopOpen.h"
#include "DriveIdentity.h"
#include "InfoDialogs.h"
#include "KestovaDb.h"
#include "Presenter.h"
#include "ProgramState.h"
#include "RegisterMap.h"
#include "ResourceIds.h"
#include "UserSettings.h"
#include "WindowMessage.h"
#include "ui_Main.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace kestova {

using namespace res;

namespace {

const QColor kGreyPen(176, 176, 176);

// Commands that need a drive.
constexpr int kDriveCommands[] = {ID_PROJECT_OPEN,       ID_PROJECT_SAVE_AS,   ID_DRIVE_ERROR_TRACK,
                                  ID_DRIVE_WRITE,        ID_DRIVE_RESET,       ID_CONFIG_PARAMETERS,
                                  ID_CONFIG_MOTION_TEST, ID_HELP_PRODUCT_INFO, ID_DIAG_DICTIONARY,
                                  ID_DIAG_REGISTERS,     ID_PROJECT_COMPARE,   ID_DRIVE_HISTORY,
                                  ID_DRIVE_TUNING};

} // namespace

CMainDlg::CMainDlg(ProgramState& state, Presenter& presenter, QWidget* parent)
    : QDialog(parent), state_(state), presenter_(presenter), ui_(std::make_unique<Ui::MainForm>()) {
    setObjectName("dialog102");
    setWindowFlags(Qt::Window | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    runDialog = [](QDialog& dialog) { dialog.exec(); };

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    menuBar_ = new QMenuBar(this);
    layout->setMenuBar(menuBar_);
    client_ = new QWidget(this);
    client_->setObjectName("client");
    layout->addWidget(client_);
    ui_->setupUi(client_);
    client_->installEventFilter(this);
    resize(client_->size() + QSize(0, menuBar_->sizeHint().height()));

    BuildMenu();
    for (CButtonExt* button :
         {ui_->id1000, ui_->id1003, ui_->id1004, ui_->id1006, ui_->id1023, ui_->id1005}) {
        const int id = button->objectName().mid(2).toInt();
        connect(button, &QPushButton::clicked, this, [this, id] { OnCommand(id); });
    }
    StartUp();
    RestorePlace();
}

CMainDlg::~CMainDlg() = default;

void CMainDlg::StartUp() {
    setWindowIcon(QIcon(":/icons/157.svg"));

    // The model database beside the program; the program runs without it all the same.
    bool open = false;
    try {
        const QString path = state_.FileBesideProgram(kdb::kFileName);
        open = state_.Db().OpenConnection(kdb::ProgramConnectionString(path.toStdString()));
    } catch (const CDbError&) {
        open = false;
    }
    if (!open) {
        presenter_.Message(this, "Unable to connect DB", "DB Error", MsgIcon::Exclamation);
    }

    connect_ = new CConnect(state_, presenter_, this, client_);
    parameters_ = new CParameterManage(state_, presenter_, client_);
    motion_ = new CRunTest(state_, presenter_, client_);
    alarm_ = new CAlarm(state_, presenter_, client_);
    platform_ = new CPlatformInfo(state_, presenter_, client_);
    dictionary_ = new CObjDictionary(state_, presenter_, client_);
    registers_ = new CRegisterMonitor(state_, presenter_, client_);
    busMonitor_ = new CBusMonitor(state_, presenter_, client_);
    // In the order in which ShowPage walks them.
    pages_ = {{1, "Communication", connect_, {}},
              {2, "Parameters", parameters_, {}},
              {3, "Motion Test", motion_, [this] { motion_->RefreshFromDrive(); }},
              {5, "Error Track", alarm_, {}},
              {4, "Product Information", platform_, [this] { platform_->Refresh(); }},
              {6, "Dictionary", dictionary_, {}},
              {7, "Registers", registers_, {}},
              {8, "Bus Monitor", busMonitor_, {}}};
    for (const PageEntry& entry : pages_) {
        entry.widget->hide();
    }
    about_ = std::make_unique<CAbout>(this);
    productInfo_ = std::make_unique<CProductInfo>(this);

    LayOut();
    SetMinimumSize();

    const QSettings settings(state_.FileBesideProgram("Settings.ini"), QSettings::IniFormat);
    setWindowTitle(settings.value("SoftCaption/Caption", "Corvex").toString().left(127));

    state_.Link().SetCurrentUseMode(0);

    ui_->id1000->SetBitmaps(kCommunicationImages.normal, kCommunicationImages.hover,
                            kCommunicationImages.pressed);
    ui_->id1005->SetBitmaps(kHelpImages.normal, kHelpImages.hover, kHelpImages.pressed);
    SetDriveCommandsEnabled(false);

    setWindowTitle("Tarkel Velmora");
    ShowPage(1);
}

void CMainDlg::BuildMenu() {
    auto add = [this](QMenu* menu, const QString& text, int id) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QStringLiteral("cmd%1").arg(id));
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        actions_.insert(id, action);
    };
    QMenu* project = menuBar_->addMenu("Project");
    add(project, "Open", ID_PROJECT_OPEN);
    add(project, "Save As", ID_PROJECT_SAVE_AS);
    add(project, "Compare with File...", ID_PROJECT_COMPARE);
    project->addSeparator();
    add(project, "Exit", ID_PROJECT_EXIT);
    // The desktop's usual keys for the file commands (Ctrl+O, Ctrl+Shift+S, Ctrl+Q).
    // Spelled out: some platform themes give Save As and Quit no key at all.
    actions_.value(ID_PROJECT_OPEN)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    actions_.value(ID_PROJECT_SAVE_AS)->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    actions_.value(ID_PROJECT_EXIT)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    QMenu* drive = menuBar_->addMenu("Drive");
    add(drive, "Communication", ID_DRIVE_COMMUNICATION);
    add(drive, "Error Track", ID_DRIVE_ERROR_TRACK);
    add(drive, "Write to Drive", ID_DRIVE_WRITE);
    add(drive, "Reset", ID_DRIVE_RESET);
    add(drive, "History...", ID_DRIVE_HISTORY);
    add(drive, "Tuning Assistant...", ID_DRIVE_TUNING);
    QMenu* configuration = menuBar_->addMenu("Configuration");
    add(configuration, "Parameters", ID_CONFIG_PARAMETERS);
    add(configuration, "Motion Test", ID_CONFIG_MOTION_TEST);
    // The diagnostics pages have no place in the navigation column; this menu offers them.
    QMenu* diagnostics = menuBar_->addMenu("Diagnostics");
    add(diagnostics, "Product Information Page", IDC_BTN_HELP);
    add(diagnostics, "Dictionary", ID_DIAG_DICTIONARY);
    add(diagnostics, "Registers", ID_DIAG_REGISTERS);
    add(diagnostics, "Bus Monitor", ID_DIAG_BUS_MONITOR);
    QMenu* help = menuBar_->addMenu("Help");
    add(help, "Software Manual", ID_HELP_MANUAL);
    add(help, "Product Information", ID_HELP_PRODUCT_INFO);
    add(help, "About", ID_HELP_ABOUT);

    // Alt and a letter opens a menu. The titles keep their plain texts, so the letters live in
    // shortcuts rather than in ampersands; Diagnostics takes I, as Drive has D.
    const std::pair<QMenu*, Qt::Key> menuKeys[] = {{project, Qt::Key_P},
                                                   {drive, Qt::Key_D},
                                                   {configuration, Qt::Key_C},
                                                   {diagnostics, Qt::Key_I},
                                                   {help, Qt::Key_H}};
    for (const auto& [menu, key] : menuKeys) {
        auto* shortcut = new QShortcut(QKeySequence(Qt::ALT | key), this);
        connect(shortcut, &QShortcut::activated, this,
                [this, menu] { menuBar_->setActiveAction(menu->menuAction()); });
    }
}

QWidget* CMainDlg::Page(int page) const {
    for (const PageEntry& entry : pages_) {
        if (entry.number == page) {
            return entry.widget;
        }
    }
    return nullptr;
}

CButtonExt* CMainDlg::Button(int id) const {
    return client_->findChild<CButtonExt*>(ControlName(id));
}

void CMainDlg::OnCommand(int id) {
    switch (id) {
    case IDC_BTN_COMMUNICATION:
    case ID_DRIVE_COMMUNICATION:
    case ID_COMMUNICATION_ALT:
        ShowPage(1);
        break;
    case IDC_BTN_PARAMETERS:
    case ID_CONFIG_PARAMETERS:
        ShowPage(2);
        break;
    case IDC_BTN_MOTION_TEST:
    case ID_CONFIG_MOTION_TEST:
        ShowPage(3);
        break;
    case IDC_BTN_HELP:
        ShowPage(4);
        break;
    case IDC_BTN_ALARMS:
    case ID_DRIVE_ERROR_TRACK:
    case ID_ALARMS_ALT:
        ShowPage(5);
        break;
    case ID_DIAG_DICTIONARY:
        if (state_.HasFeature(reg::FEATURE_DICTIONARY)) {
            ShowPage(6);
        } else {
            presenter_.Message(this, "This drive does not dictionary support", "Fatal Error",
                               MsgIcon::None);
        }
        break;
    case ID_DIAG_REGISTERS:
        if (state_.HasFeature(reg::FEATURE_REGISTER_MONITOR)) {
            ShowPage(7);
        } else {
            presenter_.Message(this, "This drive does not Register support", "Fatal Error",
                               MsgIcon::None);
        }
        break;
    case ID_DIAG_BUS_MONITOR:
        ShowPage(8); // the line is the program's own: every drive has it
        break;
    case IDC_BTN_WRITE_TO_DRIVE:
    case ID_DRIVE_WRITE:
        parameters_->WriteToDrive();
        break;
    case ID_DRIVE_RESET:
        parameters_->ResetToFactory();
        break;
    case ID_DRIVE_HISTORY:
        ShowPage(2);
        parameters_->ShowHistory();
        break;
    case ID_DRIVE_TUNING:
        ShowTuningAssistant();
        break;
    case ID_PROJECT_OPEN:
        OpenProjectFile();
        break;
    case ID_PROJECT_SAVE_AS:
        parameters_->SaveParameterFile();
        break;
    case ID_PROJECT_COMPARE:
        ShowPage(2);
        parameters_->CompareWithFile();
        break;
    case ID_HELP_MANUAL:
        OpenManual();
        break;
    case ID_HELP_PRODUCT_INFO:
        ShowProductInfo();
        break;
    case ID_HELP_ABOUT:
        ShowAbout();
        break;
    case ID_PROJECT_EXIT:
        close();
        break;
    default:
        break; // the frames (1001, 1010) and anything unknown do nothing
    }
}

void CMainDlg::ShowPage(int page) {
    if (motion_->IsTestRunning()) {
        presenter_.Message(
            this, "Stop motion test first by clicking \"Stop\" button on Motion Test screen ",
            "Tarkel Velmora", MsgIcon::Exclamation);
        motion_->RefreshFromDrive();
        motion_->show();
        title_ = QStringLiteral("Motion Test");
        return;
    }
    for (const PageEntry& entry : pages_) {
        if (entry.number == page) {
            if (entry.onShow) {
                const BusyCursor busy; // the page reads its settings from the drive
                entry.onShow();
            }
            entry.widget->show();
            title_ = QString::fromLatin1(entry.title);
        } else {
            entry.widget->hide();
        }
    }
    client_->update();
}

void CMainDlg::SetDriveCommandsEnabled(bool on) {
    for (int id : kDriveCommands) {
        actions_.value(id)->setEnabled(on);
    }
    struct ButtonImages {
        CButtonExt* button;
        ImageSet withoutDrive;
        ImageSet withDrive;
    };
    const ButtonImages buttons[] = {{ui_->id1003, kParametersImages, kParametersDriveImages},
                                    {ui_->id1004, kMotionImages, kMotionDriveImages},
                                    {ui_->id1006, kAlarmImages, kAlarmDriveImages},
                                    {ui_->id1023, kWriteImages, kWriteDriveImages}};
    for (const ButtonImages& b : buttons) {
        const ImageSet& set = on ? b.withDrive : b.withoutDrive;
        b.button->setEnabled(on);
        b.button->SetBitmaps(set.normal, set.hover, set.pressed);
        b.button->update();
    }
}

bool CMainDlg::event(QEvent* event) {
    if (WindowMessage::Is(event, WM_LINK_NOTIFY)) {
        OnLinkNotify(static_cast<WindowMessage*>(event)->WParam());
        return true;
    }
    return QDialog::event(event);
}

void CMainDlg::OnLinkNotify(quintptr wParam) {
    if (wParam == 1000) {
        LinkUp();
    } else if (wParam == 1001) {
        // A pass that outlived the link would only fail row by row, or run on over the next
        // connection.
        parameters_->StopTransfer();
        SetDriveCommandsEnabled(false);
    }
}

void CMainDlg::LinkUp() {
    state_.modelName = IdentifyDrive(state_, presenter_, this, state_.driveCode);
    SetDriveCommandsEnabled(true);
    parameters_->FillClassFilter();
    ShowPage(2);
    parameters_->ReloadAndRead();
    setWindowTitle(QString("Tarkel Velmora for %1").arg(state_.seriesName));
}

void CMainDlg::ShowProductInfo() {
    state_.modelName = IdentifyDrive(state_, presenter_, this, state_.driveCode);
    BusyCursor busy;
    int firmware = state_.Link().ReadAddressValue(state_.station, reg::FIRMWARE_VERSION);
    busy.End();
    if (firmware < 100) {
        firmware = 0;
    }
    productInfo_->modelText = state_.modelName;
    productInfo_->firmwareText = FirmwareText(firmware);
    runDialog(*productInfo_);
}

void CMainDlg::ShowAbout() {
    if (state_.Link().GetConnectStatus() != 0) {
        about_->titleText = QString("Tarkel Velmora for %1").arg(state_.seriesName);
    }
    runDialog(*about_);
}

// Where the desktop cannot show the manual, the person is told where the file is, to read it
// elsewhere or with a viewer installed later.
void CMainDlg::OpenManual() {
    const QString path = QDir::toNativeSeparators(state_.FileBesideProgram("Kestova_sm31.pdf"));
    const QString caption = QStringLiteral("Software Manual");
    if (!QFileInfo::exists(path)) {
        presenter_.Message(this,
                           QStringLiteral("The software manual was not found at\n%1").arg(path),
                           caption, MsgIcon::Exclamation);
        return;
    }
    if (!OpenDocument(path, QStringLiteral("application/pdf"))) {
        presenter_.Message(this,
                           QStringLiteral("No program to show PDF files was found.\n"
                                          "The software manual is at\n%1")
                               .arg(path),
                           caption, MsgIcon::Information);
    }
}

void CMainDlg::ShowTuningAssistant() {
    if (tuning_ == nullptr) {
        tuning_ = new CTuningAssistant(
            state_, presenter_, [this] { return parameters_->JournalPathNow(); }, this);
        connect(tuning_, &CTuningAssistant::sequenceEnded, this, &CMainDlg::TuningKept);
        connect(tuning_, &CTuningAssistant::resultKept, this, &CMainDlg::TuningKept);
    }
    tuning_->show();
    tuning_->raise();
    tuning_->activateWindow();
}

void CMainDlg::TuningKept() {
    const QString& left = tuning_->Left();
    if (left == "stored") {
        parameters_->Marks()->Stored();
    } else if (left == "applied" && tuning_->Outcome()) {
        // The tuned values are in working memory only, as an edit's are.
        CListCtrlExt* list = parameters_->List();
        for (const tune::ParameterChange& change : tuning_->Outcome()->changes) {
            for (int row = 0; row < list->RowCount(); ++row) {
                if (list->CellText(row, params::kNumberColumn).toStdString() == change.number) {
                    parameters_->Marks()->MarkWritten(row);
                }
            }
        }
    } else {
        // A sequence that ended, or a Revert: the drive holds other values than the list shows.
        parameters_->ReloadAndRead();
    }
}

void CMainDlg::OpenProjectFile() {
    if (parameters_->OpenParameterFile()) {
        ShowPage(2);
        // The message is about the file; what the download has to say comes after it.
        parameters_->HoldTransferReports(true);
        parameters_->DownloadAllParameters();
        presenter_.Message(this, "Configuration file has been loaded successfully.", "Load File",
                           MsgIcon::Exclamation);
        parameters_->HoldTransferReports(false);
    }
}

void CMainDlg::closeEvent(QCloseEvent* event) {
    // A running test is stopped before the window goes; there is no question first.
    if (motion_->IsTestRunning()) {
        motion_->StopCurrentTest(motion_->CurrentTestType());
    }
    SavePlace();
    event->accept();
    QDialog::closeEvent(event);
}

// Escape would end the dialog, and with it the program, past the close path above; the main
// window closes only through Exit or the window's close button.
void CMainDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CMainDlg::moveEvent(QMoveEvent* event) {
    connect_->move(layout_.connectPage.topLeft());
    QDialog::moveEvent(event);
}

// The window's size and place are the user's, not the installation's (UserSettings).
void CMainDlg::RestorePlace() {
    const QSettings settings = UserSettings();
    const QSize size = settings.value("Window/Size").toSize();
    if (size.isValid()) {
        resize(size); // never below the minimum size
    }
    const QVariant at = settings.value("Window/Position");
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens()) {
        screens.append(screen->availableGeometry());
    }
    if (at.isValid() && PlaceIsOnAScreen(QRect(at.toPoint(), frameGeometry().size()), screens)) {
        move(at.toPoint());
    }
    if (settings.value("Window/Maximized", false).toBool()) {
        setWindowState(windowState() | Qt::WindowMaximized);
    }
}

void CMainDlg::SavePlace() const {
    QSettings settings = UserSettings();
    const bool maximized = isMaximized();
    settings.setValue("Window/Maximized", maximized);
    // A maximised window keeps the place it had before, to return to.
    if (!maximized) {
        settings.setValue("Window/Size", size());
        settings.setValue("Window/Position", pos());
    }
}

// Smaller than this, the lowest navigation button would be cut off or the connection page would
// slide under the column.
void CMainDlg::SetMinimumSize() {
    int top = client_->height();
    int bottom = 0;
    for (CButtonExt* button : client_->findChildren<CButtonExt*>()) {
        if (!button->isHidden()) {
            top = std::min(top, button->y());
            bottom = std::max(bottom, button->geometry().bottom() + 1);
        }
    }
    client_->setMinimumSize(MinimumClientSize(ui_->id1001->width(), top, bottom, connect_->size()));
}

void CMainDlg::LayOut() {
    layout_ = ComputeMainLayout(client_->rect(), ui_->id1001->width(), ui_->id1010->height(),
                                connect_->size());
    ui_->id1001->setGeometry(layout_.navigation);
    ui_->id1010->setGeometry(layout_.title);
    ui_->id1002->setGeometry(layout_.pageArea);
    for (const PageEntry& entry : pages_) {
        if (entry.widget != connect_) {
            entry.widget->setGeometry(layout_.pages);
        }
    }
    connect_->move(layout_.connectPage.topLeft());
    client_->update();
}

bool CMainDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == client_) {
        if (event->type() == QEvent::Resize && connect_ != nullptr) {
            LayOut();
        } else if (event->type() == QEvent::Paint) {
            PaintClient(client_);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CMainDlg::PaintClient(QWidget* client) {
    QPainter painter(client);
    painter.fillRect(client->rect(), palette().window());
    painter.setPen(QPen(kGreyPen, 1));

    painter.setBrush(QColor(215, 215, 215));
    painter.drawRoundedRect(layout_.navigation, 2.5, 2.5);

    const QRect& area = layout_.pageArea;
    painter.fillRect(area, Qt::white);
    painter.drawLine(area.topLeft(), area.bottomLeft());
    painter.drawLine(area.bottomLeft(), area.bottomRight());
    painter.drawLine(area.bottomRight(), area.topRight());

    painter.setBrush(QColor(200, 200, 200));
    painter.drawRect(layout_.title);
    QFont font("Verdana");
    font.setPixelSize(21); // a 25-pixel line
    painter.setFont(font);
    painter.setPen(QColor(0, 64, 128));
    painter.drawText(layout_.title, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, title_);
}

} // namespace kestova
