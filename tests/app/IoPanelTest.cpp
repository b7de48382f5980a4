// The IO function panel: alone on a plain parent for its own rules, and over the parameter list
// of a TS-126C (drive code 256) on the simulated drive for the road from the list's Value cell to
// the drive's register and back.

#include "CIOSettings.h"
#include "CListCtrlExt.h"
#include "CParameterManage.h"
#include "SimulatedDriveFixture.h"
#include "WindowMessage.h"

#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

namespace {

using kestova::CIOSettings;
using kestova::CListCtrlExt;
using kestova::WindowMessage;
using kestova::params::kValueColumn;
using kestova::res::ControlName;

// Records the WM_IO_FUNCTION_SET messages that reach a widget.
class IoMessages : public QObject {
public:
    explicit IoMessages(QObject* target) { target->installEventFilter(this); }
    QList<std::pair<quintptr, qintptr>> seen;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (WindowMessage::Is(event, kestova::WM_IO_FUNCTION_SET)) {
            const auto* message = static_cast<const WindowMessage*>(event);
            seen.append({message->WParam(), message->LParam()});
        }
        return QObject::eventFilter(watched, event);
    }
};

template <typename T> T* Control(QWidget* panel, int id) {
    T* control = panel->findChild<T*>(ControlName(id));
    EXPECT_NE(control, nullptr) << id;
    return control;
}

class IoPanelAlone : public ::testing::Test {
protected:
    IoPanelAlone() {
        parent.resize(600, 400);
        parent.show();
    }
    QLineEdit* Hex() { return Control<QLineEdit>(&panel, kestova::res::IDC_IO_VALUE); }
    QComboBox* Function() { return Control<QComboBox>(&panel, kestova::res::IDC_IO_FUNCTION); }
    QComboBox* Filter() { return Control<QComboBox>(&panel, kestova::res::IDC_IO_FILTER); }
    QRadioButton* Node(int id) { return Control<QRadioButton>(&panel, id); }
    void Retype(const QString& text) {
        Hex()->selectAll();
        QTest::keyClicks(Hex(), text);
    }

    QWidget parent;
    CIOSettings panel{&parent};
    IoMessages messages{&parent};
};

TEST_F(IoPanelAlone, anInputShowsItsFunctionContactAndFilterAndBNodeSetsBit7) {
    EXPECT_FALSE(panel.isVisible());
    EXPECT_EQ(panel.pos(), QPoint(100, 25));
    panel.OpenForRow(0, 105, "SI5 input function", 0x0114);
    ASSERT_TRUE(panel.isVisible());
    EXPECT_EQ(Hex()->text(), "114");
    EXPECT_EQ(Function()->currentText(), "14:EMG");
    EXPECT_TRUE(Node(kestova::res::IDC_IO_A_NODE)->isChecked());
    EXPECT_EQ(Filter()->currentText(), "1:2ms");
    EXPECT_TRUE(Filter()->isVisible());

    QTest::mouseClick(Node(kestova::res::IDC_IO_B_NODE), Qt::LeftButton);
    EXPECT_EQ(Hex()->text(), "194");
    EXPECT_EQ(panel.Value(), 0x194u);
}

TEST_F(IoPanelAlone, anOutputWithAnUnlistedCodeShowsTheFirstEntryAndKeepsTheFilterBits) {
    panel.OpenForRow(0, 111, "SO1 output function", 0x0114);
    EXPECT_EQ(Function()->currentText(), "1: Fault Output");
    EXPECT_FALSE(Filter()->isVisible());
    EXPECT_EQ(panel.Value(), 0x114u); // opening changes nothing
    QTest::mouseClick(Node(kestova::res::IDC_IO_B_NODE), Qt::LeftButton);
    EXPECT_EQ(Hex()->text(), "181"); // the entry shown, B Node, filter 1 untouched
}

TEST_F(IoPanelAlone, typedHexSetsTheControlsAndAnythingElseChangesNothing) {
    panel.OpenForRow(0, 105, "SI5 input function", 0x0114);
    Hex()->end(false);
    QTest::keyClicks(Hex(), "G");
    EXPECT_EQ(panel.Value(), 0x114u);
    EXPECT_EQ(Function()->currentText(), "14:EMG");

    // 9, 92 and 925 carry no listed function: the selection stays and the bits are kept.
    Retype("925");
    EXPECT_EQ(panel.Value(), 0x925u);
    EXPECT_EQ(Function()->currentText(), "14:EMG");
    EXPECT_EQ(Filter()->currentText(), "9:20ms");

    Retype("-1");
    EXPECT_EQ(panel.Value(), 0xFFFFFFFFu);
    EXPECT_EQ(Function()->currentText(), "14:EMG");
    EXPECT_TRUE(Node(kestova::res::IDC_IO_B_NODE)->isChecked());
    EXPECT_EQ(Filter()->currentText(), "15:500ms");
}

TEST_F(IoPanelAlone, enterDoesNothingAndCancelHidesWithoutAMessage) {
    panel.OpenForRow(3, 105, "SI5 input function", 0x0114);
    QTest::keyClick(Hex(), Qt::Key_Return);
    auto* ok = Control<QPushButton>(&panel, kestova::res::IDOK);
    ok->setFocus();
    QTest::keyClick(ok, Qt::Key_Enter);
    QCoreApplication::processEvents();
    EXPECT_TRUE(panel.isVisible());

    QTest::mouseClick(Control<QPushButton>(&panel, kestova::res::IDCANCEL), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_FALSE(panel.isVisible());
    EXPECT_TRUE(messages.seen.isEmpty());
}

// The list of a TS-126C on the simulated drive.
class IoPanelOverList : public SimulatedDriveFixture {
protected:
    void SetUp() override {
        LaunchDrive(256, 310, {}, 0);
        Page().wait = [this](std::chrono::milliseconds d) { drive->Step(d); };
        ConnectAndRead();
    }

    CIOSettings& Panel() { return *List().IoPanel(); }
};

TEST_F(IoPanelOverList, okWritesTheRegisterAndTheListShowsWhatTheDriveHolds) {
    const int row = RowOf(105);
    List().scrollTo(List().model()->index(row, kValueColumn));
    Click(row, kValueColumn);
    Click(row, kValueColumn);
    ASSERT_TRUE(Panel().isVisible());
    EXPECT_EQ(Panel().Value(), static_cast<std::uint32_t>(DriveValue(105)));

    auto* hex = Control<QLineEdit>(&Panel(), kestova::res::IDC_IO_VALUE);
    hex->selectAll();
    QTest::keyClicks(hex, "114");
    QTest::mouseClick(Control<QRadioButton>(&Panel(), kestova::res::IDC_IO_B_NODE), Qt::LeftButton);
    IoMessages messages(&List());
    QTest::mouseClick(Control<QPushButton>(&Panel(), kestova::res::IDOK), Qt::LeftButton);
    EXPECT_FALSE(Panel().isVisible());
    ASSERT_TRUE(WaitUntil([&] { return DriveValue(105) == 0x194; }));
    ASSERT_EQ(messages.seen.size(), 1);
    EXPECT_EQ(messages.seen[0].first, static_cast<quintptr>(row) * 65536 + 105);
    EXPECT_EQ(messages.seen[0].second, 0x194);
    EXPECT_EQ(List().CellText(row, kValueColumn), "404");
}

TEST_F(IoPanelOverList, aClickInTheListHidesThePanelAndSendsNothing) {
    const int row = RowOf(111);
    List().scrollTo(List().model()->index(row, kValueColumn));
    Click(row, kValueColumn);
    Click(row, kValueColumn);
    ASSERT_TRUE(Panel().isVisible());
    const auto requests = drive->RequestsAnswered();
    const QString before = List().CellText(row, kValueColumn);
    Click(row, 2);
    QCoreApplication::processEvents();
    EXPECT_FALSE(Panel().isVisible());
    EXPECT_EQ(List().CellText(row, kValueColumn), before);
    EXPECT_EQ(drive->RequestsAnswered(), requests);
}

} // namespace
