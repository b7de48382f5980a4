#pragma once

// The program against the simulated drive of a model from DATA.mdb, registered as COM9: the road
// an engineer takes with no drive attached.

#include "CItemEdit.h"
#include "CListCtrlExt.h"
#include "DriveSimulator.h"
#include "ModelDatabase.h"
#include "ShellFixture.h"

#include <QTest>

#include <map>

class SimulatedDriveFixture : public ShellFixture {
protected:
    // Makes the program folder, starts the drive (its clock held when clockRate is 0, so that only
    // the test or the page's waits move it) and then the program.
    void LaunchDrive(int code, int protocol, kestova::sim::DriveOptions driveOptions = {},
                     double clockRate = 1.0) {
        MakeProgramFolder();
        std::string error;
        auto model = kestova::sim::LoadModel(KESTOVA_DATA_MDB, code, protocol, error);
        ASSERT_TRUE(model.has_value()) << error;
        kestova::sim::SimulatorOptions options;
        options.portName = "COM9";
        options.clockRate = clockRate;
        drive = std::make_unique<kestova::sim::DriveSimulator>(*model, std::move(driveOptions),
                                                               options);
        ASSERT_TRUE(drive->Start(error)) << error;
        Start();
    }

    // Picks COM9, presses Connect and waits for the parameter page's read at link-up to end.
    void ConnectAndRead() {
        QSignalSpy ended(window->ParametersPage(), &kestova::CParameterManage::transferEnded);
        QComboBox* ports = Connect().PortList();
        ports->setCurrentIndex(ports->findText("COM9"));
        Connect().ConnectButton()->click();
        ASSERT_TRUE(WaitUntil([&] { return !ended.isEmpty(); }));
    }

    void TearDown() override {
        ShellFixture::TearDown();
        drive.reset();
    }

    // The parameter page and its list.
    kestova::CParameterManage& Page() { return *window->ParametersPage(); }
    kestova::CListCtrlExt& List() { return *Page().List(); }
    int RowOf(int address) {
        for (int row = 0; row < List().RowCount(); ++row) {
            if (List().CellText(row, 0).toInt() == address) {
                return row;
            }
        }
        ADD_FAILURE() << "no row for address " << address;
        return -1;
    }
    // A real click on a cell of the list.
    void Click(int row, int column) {
        const QRect cell = List().visualRect(List().model()->index(row, column));
        QTest::mouseClick(List().viewport(), Qt::LeftButton, {}, cell.center());
    }
    // Two clicks on a Value cell, the text typed and Enter, as a person edits a value.
    void Type(int row, const QString& text) {
        Click(row, kestova::params::kValueColumn);
        Click(row, kestova::params::kValueColumn);
        auto* editor = List().findChild<kestova::CItemEdit*>();
        ASSERT_NE(editor, nullptr);
        editor->clear();
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents();
    }
    // What the drive holds in the register of every row of the list.
    std::map<int, int> DriveValues() {
        std::map<int, int> values;
        for (const auto& row : List().Rows()) {
            const int address = kestova::params::LeadingInteger(row.cells[0]);
            values[address] = DriveValue(address);
        }
        return values;
    }
    // What the drive holds in a parameter register.
    int DriveValue(int address) {
        return drive->WithDrive([address](kestova::sim::Drive& d) {
            return d.Parameters().Value(static_cast<std::uint16_t>(address));
        });
    }

    std::unique_ptr<kestova::sim::DriveSimulator> drive;
};
