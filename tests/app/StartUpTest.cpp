// What the user sees before connecting: the database opened (or the one message saying it could
// not be), the caption, the link offline, the connection page in front.

#include "ShellFixture.h"

#include <unistd.h>

using kestova::MsgIcon;

namespace {

TEST_F(ShellFixture, missingDatabaseIsReportedOnceAndTheWindowStillOpensOnTheConnectionPage) {
    MakeProgramFolder(false);
    Start();
    // The parameter page then says that it cannot read its classes.
    const auto messages = presenter.Messages();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0].text, "Unable to connect DB");
    EXPECT_EQ(messages[0].caption, "DB Error");
    EXPECT_EQ(messages[0].icon, MsgIcon::Exclamation);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->Page(1)->isVisible());
    EXPECT_EQ(window->PageTitle(), "Communication");
}

TEST_F(ShellFixture, captionIsTheProgramsOwnWhateverTheSettingsSay) {
    MakeProgramFolder();
    WriteSettings("[SoftCaption]\nCaption=Some Other Tool\n");
    Start();
    EXPECT_EQ(window->windowTitle(), "Tarkel Velmora");
    EXPECT_TRUE(presenter.Messages().isEmpty());
}

TEST_F(ShellFixture, filesBesideTheProgramAreFoundFromAnotherWorkingDirectory) {
    MakeProgramFolder();
    const QString before = QDir::currentPath();
    ASSERT_EQ(::chdir("/"), 0);
    Start();
    ASSERT_EQ(::chdir(before.toLocal8Bit().constData()), 0);
    EXPECT_TRUE(presenter.Messages().isEmpty());
    EXPECT_TRUE(state->Db().IsConnectionOpen());
}

TEST_F(ShellFixture, startsOfflineWithTheDriveCommandsDisabled) {
    MakeProgramFolder();
    Start();
    EXPECT_EQ(state->Link().GetCurrentUseMode(), 0);
    for (int id : {32791, 32787, 32803, 32793, 32797, 32775, 32776, 57670, 32779, 32780}) {
        EXPECT_FALSE(window->Action(id)->isEnabled()) << id;
    }
    for (int id : {32772, 32802, 32804, 32788}) {
        EXPECT_TRUE(window->Action(id)->isEnabled()) << id;
    }
    EXPECT_TRUE(window->Button(1000)->isEnabled());
    EXPECT_FALSE(window->Button(1003)->isEnabled());
    EXPECT_FALSE(window->Button(1005)->isVisible());
    EXPECT_EQ(window->Button(1003)->NormalBitmap(), 1010);
    EXPECT_EQ(window->Button(1023)->PressedBitmap(), 190);
    EXPECT_EQ(window->Button(1000)->HoverBitmap(), 1009);
}

} // namespace
