// The dictionary and register pages through the main window, typed into and clicked, against a
// scripted drive that records every request (where the order on the wire matters) and against
// the simulated drive (where the drive's own dictionary answers).

#include "CObjDictionary.h"
#include "CRegisterMonitor.h"
#include "SimulatedDriveFixture.h"

#include <QLineEdit>
#include <QTest>

#include <tuple>

namespace {

using kestova::res::ControlName;

// Function, address and value (or count) of a request.
using Request = std::tuple<int, int, int>;
Request Decode(const kttest::Bytes& frame) {
    return {frame[1], frame[2] << 8 | frame[3], frame[4] << 8 | frame[5]};
}

class Diagnostics : public ShellFixture {
protected:
    void SetUp() override {
        MakeProgramFolder();
        DriveAnswers(12, 310, 6);
        Start();
        PressConnect();
        presenter.Clear();
    }

    void Open(int command) {
        window->OnCommand(command);
        mark = slave.RequestCount();
    }
    // The requests since the page was opened or the last call.
    std::vector<Request> Sent() {
        std::vector<Request> sent;
        const auto all = slave.Requests();
        for (std::size_t i = mark; i < all.size(); ++i) {
            sent.push_back(Decode(all[i]));
        }
        mark = all.size();
        return sent;
    }

    QWidget* Page() const { return window->Page(window->PageTitle() == "Dictionary" ? 6 : 7); }
    QLineEdit* Field(int id) const { return Page()->findChild<QLineEdit*>(ControlName(id)); }
    QPushButton* Button(int id) const { return Page()->findChild<QPushButton*>(ControlName(id)); }
    QCheckBox* Box(int id) const { return Page()->findChild<QCheckBox*>(ControlName(id)); }
    void Type(int id, const QString& text) {
        Field(id)->clear();
        QTest::keyClicks(Field(id), text);
    }
    kestova::CObjDictionary* Dictionary() const {
        return static_cast<kestova::CObjDictionary*>(window->Page(6));
    }

    std::size_t mark = 0;
};

TEST_F(Diagnostics, writeNamesTheEntryThenSendsTheValueHighHalfFirst) {
    Open(32779);
    Type(1074, "6040");
    Type(1075, "0");
    Type(1077, "1F");
    QTest::mouseClick(Button(1080), Qt::LeftButton);
    Type(1077, "12345678");
    QTest::mouseClick(Button(1080), Qt::LeftButton);
    const std::vector<Request> expected{{6, 0xAF00, 0x6040}, {6, 0xAF01, 0},      {6, 0xAF02, 0},
                                        {6, 0xAF03, 0x1F},   {6, 0xAF00, 0x6040}, {6, 0xAF01, 0},
                                        {6, 0xAF02, 0x1234}, {6, 0xAF03, 0x5678}};
    EXPECT_EQ(Sent(), expected);
    EXPECT_TRUE(presenter.Messages().isEmpty());
}

// A sign reads as no hexadecimal number at all; writing it would send 0xFFFFFFFF.
TEST_F(Diagnostics, aSignedValueIsRefusedAndNothingIsWritten) {
    Open(32779);
    Type(1074, "6040");
    Type(1075, "0");
    Type(1077, "-1");
    QTest::mouseClick(Button(1080), Qt::LeftButton);
    EXPECT_TRUE(Sent().empty());
    ASSERT_EQ(presenter.Messages().size(), 1);
    EXPECT_EQ(presenter.Messages()[0].text, "Invalid input value, check and try again");
    EXPECT_TRUE(presenter.Messages()[0].caption.isEmpty()); // the program's name
    EXPECT_TRUE(Field(1077)->hasFocus());
}

TEST_F(Diagnostics, typingADecimalValueShowsItInHexadecimal) {
    Open(32779);
    Type(1078, "255");
    EXPECT_EQ(Field(1077)->text(), "FF");
    Type(1077, "FFFFFFFF");
    EXPECT_EQ(Field(1078)->text(), "-1");
}

TEST_F(Diagnostics, onePressWithoutContinuousReadingReadsOnce) {
    bank.Set(0xAF0A, 0xFFFF);
    bank.Set(0xAF0B, 0xFFFF);
    Open(32779);
    Type(1089, "6041");
    Type(1090, "0");
    QTest::mouseClick(Button(1088), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !Field(1092)->text().isEmpty(); }));
    EXPECT_EQ(Field(1092)->text(), "FFFFFFFF");
    EXPECT_EQ(Field(1093)->text(), "-1");
    EXPECT_FALSE(Dictionary()->Polling(2));
    const std::vector<Request> expected{
        {6, 0xAF08, 0x6041}, {6, 0xAF09, 0}, {3, 0xAF0A, 1}, {3, 0xAF0B, 1}};
    EXPECT_EQ(Sent(), expected);
}

TEST_F(Diagnostics, hidingThePageStopsThePollingAtTheNextTick) {
    Open(32779);
    Type(1082, "6041");
    Type(1083, "0");
    Box(1095)->setChecked(true);
    QTest::mouseClick(Button(1081), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return Sent().size() >= 4; }));
    ASSERT_TRUE(WaitUntil([&] { return Sent().size() >= 4; })); // still polling
    window->ShowPage(2);
    const std::size_t hiddenAt = slave.RequestCount();
    ASSERT_TRUE(WaitUntil([&] { return !Dictionary()->Polling(1); }));
    EXPECT_EQ(slave.RequestCount(), hiddenAt);
}

TEST_F(Diagnostics, enterOnAReadButtonDoesNothing) {
    Open(32779);
    Type(1082, "6041");
    Type(1083, "0");
    Button(1081)->setFocus();
    QTest::keyClick(Button(1081), Qt::Key_Return);
    EXPECT_FALSE(Dictionary()->Polling(1));
    EXPECT_EQ(window->PageTitle(), "Dictionary");
}

TEST_F(Diagnostics, theRegisterMonitorNamesTheRegisterAndShowsItsValueSignExtended) {
    bank.Set(0xB101, 0x8000);
    Open(32780);
    Type(1096, "1a2b");
    QTest::mouseClick(Button(1097), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !Field(1099)->text().isEmpty(); }));
    EXPECT_EQ(Field(1099)->text(), "FFFF8000");
    EXPECT_EQ(Field(1100)->text(), "-32768");
    const std::vector<Request> expected{{6, 0xB100, 0x1A2B}, {3, 0xB101, 1}};
    EXPECT_EQ(Sent(), expected);
}

class DiagnosticsOnSimulatedDrive : public SimulatedDriveFixture {};

// The drive's own dictionary: an entry written through the write group reads back in a read
// group, from the Diagnostics menu on.
TEST_F(DiagnosticsOnSimulatedDrive, aWrittenEntryReadsBack) {
    LaunchDrive(12, 310);
    ConnectAndRead();
    presenter.Clear();

    QAction* item = nullptr;
    for (QAction* action : window->findChildren<QAction*>()) {
        if (action->text() == "Dictionary") {
            item = action;
        }
    }
    ASSERT_NE(item, nullptr);
    item->trigger();
    ASSERT_EQ(window->PageTitle(), "Dictionary");
    QWidget* page = window->Page(6);
    auto field = [page](int id) { return page->findChild<QLineEdit*>(ControlName(id)); };
    QTest::keyClicks(field(1074), "6081");
    QTest::keyClicks(field(1075), "0");
    QTest::keyClicks(field(1078), "300");
    QTest::mouseClick(page->findChild<QPushButton*>(ControlName(1080)), Qt::LeftButton);
    QTest::keyClicks(field(1082), "6081");
    QTest::keyClicks(field(1083), "0");
    QTest::mouseClick(page->findChild<QPushButton*>(ControlName(1081)), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !field(1085)->text().isEmpty(); }));
    EXPECT_EQ(field(1085)->text(), "12C");
    EXPECT_EQ(field(1086)->text(), "300");
    EXPECT_TRUE(presenter.Messages().isEmpty());
}

} // namespace
