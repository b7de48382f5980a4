#pragma once

// The program's main window on the offscreen platform, with the real model database in a
// program folder of its own, a scripted presenter answering the dialogs, and a drive on a real
// pseudo-terminal registered as COM7.

#include "CButtonExt.h"
#include "CConnect.h"
#include "CMainDlg.h"
#include "CParameterManage.h"
#include "PortNames.h"
#include "ProgramState.h"
#include "PtySlave.h"
#include "RegisterMap.h"
#include "ResourceIds.h"
#include "ScriptedPresenter.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

// Runs the event loop until cond holds or ten seconds pass.
inline bool WaitUntil(const std::function<bool()>& cond) {
    QDeadlineTimer deadline(10000);
    while (!cond()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

class ShellFixture : public ::testing::Test {
protected:
    // The window's size and place go to a user configuration folder of the test's own.
    // The drives' change journals go to a folder of the test's own too.
    ShellFixture() {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, userConfig.path());
        qputenv("KESTOVA_JOURNAL_DIR", journals.path().toUtf8());
    }

    // A program folder holding the real DATA.mdb (unless told otherwise).
    void MakeProgramFolder(bool withDatabase = true) {
        if (withDatabase) {
            ASSERT_TRUE(QFile::copy(KESTOVA_DATA_MDB, programDir.filePath("DATA.mdb")));
        }
    }

    void WriteSettings(const QByteArray& text) {
        QFile file(programDir.filePath("Settings.ini"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    // The drive as the scripted slave answers: a TS-126 with protocol 310 unless changed.
    void DriveAnswers(std::int16_t code = 12, std::uint16_t protocol = 310,
                      std::uint16_t features = 7, std::uint16_t firmware = 215) {
        bank.Set(kestova::reg::DRIVE_CODE, static_cast<std::uint16_t>(code));
        bank.Set(kestova::reg::PROTOCOL_VERSION, protocol);
        bank.Set(kestova::reg::FEATURE_BITS, features);
        bank.Set(kestova::reg::FIRMWARE_VERSION, firmware);
        slave.SetResponder([this](const kttest::Bytes& req) { return bank.Answer(req); });
    }

    void Start() {
        ASSERT_TRUE(ktcom::RegisterPort("COM7", slave.SlavePath()));
        state = std::make_unique<kestova::ProgramState>(programDir.path());
        window = std::make_unique<kestova::CMainDlg>(*state, presenter);
        window->runDialog = [this](QDialog& dialog) { shownDialogs.append(&dialog); };
        defaultSize = window->size();
        window->resize(900, 640);
        window->show();
        QCoreApplication::processEvents();
    }

    kestova::CConnect& Connect() { return *window->ConnectPage(); }

    // Presses Connect with COM7 chosen and lets the posted link message arrive; after a link-up,
    // waits for the parameter page's read to end.
    void PressConnect() {
        QComboBox* ports = Connect().PortList();
        const int index = ports->findText("COM7");
        ASSERT_GE(index, 0);
        ports->setCurrentIndex(index);
        QSignalSpy read(window->ParametersPage(), &kestova::CParameterManage::transferEnded);
        const bool wasUp = Connect().ConnectButton()->text() == "Disconnect";
        Connect().ConnectButton()->click();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        if (!wasUp && Connect().ConnectButton()->text() == "Disconnect") {
            QDeadlineTimer deadline(10000);
            while (read.isEmpty() && !deadline.hasExpired()) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            }
            ASSERT_FALSE(read.isEmpty());
        }
    }

    QTemporaryDir userConfig;
    QTemporaryDir journals;
    QSize defaultSize; // the window's size before Start made it larger
    kttest::TempPortDir ports;
    kttest::RegisterBank bank;
    kttest::PtySlave slave;
    QTemporaryDir programDir;
    kttest::ScriptedPresenter presenter;
    std::unique_ptr<kestova::ProgramState> state;
    std::unique_ptr<kestova::CMainDlg> window;
    QList<QDialog*> shownDialogs;

    void TearDown() override {
        window.reset();
        state.reset();
    }
};
