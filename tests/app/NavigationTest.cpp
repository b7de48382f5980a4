// Pages, commands and the information dialogs of the main window.

#include "CPlatformInfo.h"
#include "InfoDialogs.h"
#include "MainLayout.h"
#include "ShellFixture.h"

#include <QDesktopServices>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QUrl>

using kestova::MsgIcon;

namespace {

class Navigating : public ShellFixture {
protected:
    void SetUp() override { MakeProgramFolder(); }
};

TEST_F(Navigating, diagnosticsPagesNeedTheirFeatureBits) {
    DriveAnswers(12, 310, 1);
    Start();
    PressConnect();
    window->OnCommand(32779);
    window->OnCommand(32780);
    const auto messages = presenter.Messages();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0].text, "This drive does not dictionary support");
    EXPECT_EQ(messages[1].text, "This drive does not Register support");
    for (const auto& m : messages) {
        EXPECT_EQ(m.caption, "Fatal Error");
        EXPECT_EQ(m.icon, MsgIcon::None);
    }
    EXPECT_EQ(window->PageTitle(), "Parameters");

    state->featureBits = 6;
    window->OnCommand(32779);
    EXPECT_EQ(window->PageTitle(), "Dictionary");
    EXPECT_TRUE(window->Page(6)->isVisible());
    window->OnCommand(32780);
    EXPECT_EQ(window->PageTitle(), "Registers");
    EXPECT_FALSE(window->Page(6)->isVisible());
}

TEST_F(Navigating, everyCommandReachesItsPage) {
    Start();
    const std::pair<int, const char*> commands[] = {
        {1003, "Parameters"},     {32775, "Parameters"},         {1004, "Motion Test"},
        {32776, "Motion Test"},   {1006, "Error Track"},         {32803, "Error Track"},
        {32777, "Error Track"},   {1005, "Product Information"}, {1000, "Communication"},
        {32802, "Communication"}, {32771, "Communication"}};
    for (const auto& [id, title] : commands) {
        window->OnCommand(id);
        EXPECT_EQ(window->PageTitle(), title) << id;
    }
    window->OnCommand(1001); // the frames do nothing
    window->ShowPage(9);     // an unknown page hides all and keeps the title
    EXPECT_EQ(window->PageTitle(), "Communication");
    for (int page = 1; page <= 7; ++page) {
        EXPECT_FALSE(window->Page(page)->isVisible()) << page;
    }
}

TEST_F(Navigating, productInformationShowsModelAndFirmware) {
    DriveAnswers(12, 310, 0, 215);
    Start();
    PressConnect();
    window->OnCommand(57670);
    ASSERT_EQ(shownDialogs.size(), 1);
    kestova::CProductInfo* info = window->ProductInfoDialog();
    EXPECT_EQ(shownDialogs[0], info);
    EXPECT_EQ(info->modelText, "TS-126");
    EXPECT_EQ(info->firmwareText, " V2.15");
    info->ExchangeTexts();
    EXPECT_EQ(info->findChild<QLabel*>("id1113")->text(), " V2.15");
    EXPECT_EQ(info->windowTitle(), "Product Information");
}

TEST_F(Navigating, firmwareBelowOneHundredIsZeroInTheDialogAndOneOnThePage) {
    DriveAnswers(12, 310, 0, 99);
    Start();
    PressConnect();
    window->OnCommand(57670);
    EXPECT_EQ(window->ProductInfoDialog()->firmwareText, " V0.00");
    window->OnCommand(1005);
    EXPECT_EQ(window->PlatformPage()->FirmwareField(), " V1.00");
    EXPECT_EQ(window->PlatformPage()->ModelField(), "TS-126");
}

TEST_F(Navigating, aboutNamesTheSeriesOnlyWhileConnected) {
    DriveAnswers();
    Start();
    window->OnCommand(32788);
    window->AboutDialog()->ExchangeTexts();
    EXPECT_EQ(window->AboutDialog()->titleText, "Velmora");
    EXPECT_EQ(window->AboutDialog()->findChild<QLabel*>("id1114")->text(), "Velmora");
    PressConnect();
    window->OnCommand(32788);
    EXPECT_EQ(window->AboutDialog()->titleText, "Tarkel Velmora for TS Series");
    EXPECT_EQ(shownDialogs.size(), 2);
}

TEST_F(Navigating, resizingKeepsTheConnectionPageCentredAndThePagesFillingTheArea) {
    Start();
    for (const QSize size : {QSize(900, 640), QSize(1200, 800), QSize(700, 520)}) {
        window->resize(size);
        QCoreApplication::processEvents();
        QWidget* connect = window->Page(1);
        QWidget* client = connect->parentWidget();
        EXPECT_NEAR(connect->geometry().center().x(), client->rect().center().x(), 1);
        EXPECT_NEAR(connect->geometry().center().y(), client->rect().center().y(), 1);
        EXPECT_EQ(window->Page(2)->geometry(), window->Layout().pages);
        EXPECT_EQ(window->Layout().pages.right(), client->width() - 8 - 1 - 2);
        EXPECT_EQ(window->Layout().pages.bottom(), client->height() - 5 - 1 - 2);
    }
}

// Issue 24: the window opens as it was closed, unless its place is on no screen any more.
TEST_F(Navigating, theWindowOpensWithTheSizeAndPlaceItWasClosedWith) {
    Start();
    EXPECT_EQ(defaultSize.width(), 790);
    window->resize(1000, 700);
    window->move(40, 30);
    ASSERT_TRUE(WaitUntil([&] { return window->size() == QSize(1000, 700); }));
    window->close();
    window.reset();
    Start();
    EXPECT_EQ(defaultSize, QSize(1000, 700));
    EXPECT_EQ(window->pos(), QPoint(40, 30));

    window->move(9000, 30); // a screen that was unplugged
    ASSERT_TRUE(WaitUntil([&] { return window->pos() == QPoint(9000, 30); }));
    window->close();
    window.reset();
    Start();
    EXPECT_EQ(defaultSize, QSize(900, 640)) << "the size Start gave the window it closed";
    EXPECT_NE(window->pos(), QPoint(9000, 30));
}

TEST(MainWindowPlace, isUsedOnlyWhereTheTitleBarCanBeTaken) {
    const QList<QRect> screens = {QRect(0, 0, 1920, 1080), QRect(1920, 200, 1280, 1024)};
    EXPECT_TRUE(kestova::PlaceIsOnAScreen(QRect(100, 100, 790, 600), screens));
    EXPECT_TRUE(kestova::PlaceIsOnAScreen(QRect(1800, 500, 790, 600), screens));
    EXPECT_TRUE(kestova::PlaceIsOnAScreen(QRect(-600, 10, 790, 600), screens)) << "190 px seen";
    EXPECT_FALSE(kestova::PlaceIsOnAScreen(QRect(-720, 10, 790, 600), screens)) << "70 px seen";
    EXPECT_FALSE(kestova::PlaceIsOnAScreen(QRect(100, 1070, 790, 600), screens))
        << "only 10 px of the title bar";
    EXPECT_FALSE(kestova::PlaceIsOnAScreen(QRect(2000, 50, 790, 600), screens))
        << "above the second screen";
    EXPECT_FALSE(kestova::PlaceIsOnAScreen(QRect(100, 100, 790, 600), {}));
}

TEST_F(Navigating, escapeDoesNotCloseTheProgramButExitDoes) {
    Start();
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
    window->OnCommand(32772);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(Navigating, theFileCommandsHaveTheDesktopsKeys) {
    Start();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    // Without a drive Open is offered but greyed: its key does nothing.
    QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_TRUE(presenter.Seen().isEmpty());
    QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(Navigating, theSmallestWindowKeepsEveryNavigationButtonWhole) {
    Start();
    window->resize(200, 150);
    QCoreApplication::processEvents();
    QWidget* client = window->Page(1)->parentWidget();
    const QRect column = window->Layout().navigation;
    for (const int id : {1000, 1003, 1004, 1006, 1023}) {
        const QRect button =
            client->findChild<QWidget*>(QStringLiteral("id%1").arg(id))->geometry();
        EXPECT_TRUE(column.contains(button)) << id;
    }
    EXPECT_GE(window->Page(1)->x(), column.right());
    // Left as large as it is, the window keeps its size.
    window->resize(900, 640);
    QCoreApplication::processEvents();
    EXPECT_EQ(window->size(), QSize(900, 640));
}

TEST_F(Navigating, altAndALetterOpensEachMenu) {
    Start();
    const std::pair<Qt::Key, const char*> keys[] = {{Qt::Key_P, "Project"},
                                                    {Qt::Key_D, "Drive"},
                                                    {Qt::Key_C, "Configuration"},
                                                    {Qt::Key_I, "Diagnostics"},
                                                    {Qt::Key_H, "Help"}};
    for (const auto& [key, title] : keys) {
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        QTest::keyClick(window.get(), key, Qt::AltModifier);
        ASSERT_TRUE(WaitUntil([] { return QApplication::activePopupWidget() != nullptr; }));
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(menu->title(), title);
        menu->close();
        QCoreApplication::processEvents();
    }
}

// The desktop's launcher is a script on a PATH of the test's own, writing down what it was asked
// to open; without the desktop's tools, Qt's desktop services get the file.
class OpeningTheManual : public Navigating {
protected:
    void SetUp() override {
        Navigating::SetUp();
        oldPath = qgetenv("PATH");
        qputenv("PATH", bin.path().toLocal8Bit());
        QFile manual(Manual());
        ASSERT_TRUE(manual.open(QIODevice::WriteOnly));
    }
    void TearDown() override {
        qputenv("PATH", oldPath);
        QDesktopServices::unsetUrlHandler("file");
        Navigating::TearDown();
    }
    void Script(const QString& name, const QByteArray& body) {
        QFile file(bin.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n" + body + "\n");
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QString Manual() const { return programDir.filePath("Kestova_sm31.pdf"); }

    QTemporaryDir bin;
    QByteArray oldPath;
};

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void Open(const QUrl& url) { urls.append(url); }
};

TEST_F(OpeningTheManual, goesToTheLauncherRegisteredForPdf) {
    const QString asked = bin.filePath("asked");
    Script("xdg-mime", "echo pdfviewer.desktop");
    Script("xdg-open", "echo \"$1\" > '" + asked.toLocal8Bit() + "'");
    Start();
    window->OnCommand(32804);
    QFile file(asked);
    ASSERT_TRUE(WaitUntil([&] { return file.exists() && file.size() > 0; }));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().trimmed(), Manual().toLocal8Bit());
    EXPECT_TRUE(presenter.Seen().isEmpty());
}

// Issue 24: a desktop with nothing to show a PDF is told where the manual is.
TEST_F(OpeningTheManual, withoutALauncherForPdfAMessageSaysWhereTheManualIs) {
    const QString asked = bin.filePath("asked");
    Script("xdg-mime", "exit 0"); // no application for the type
    Script("xdg-open", "echo \"$1\" > '" + asked.toLocal8Bit() + "'; exit 3");
    Start();
    window->OnCommand(32804);
    const auto messages = presenter.Messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].text,
              "No program to show PDF files was found.\nThe software manual is at\n" +
                  QDir::toNativeSeparators(Manual()));
    EXPECT_EQ(messages[0].caption, "Software Manual");
    EXPECT_EQ(messages[0].icon, kestova::MsgIcon::Information);
    EXPECT_EQ(messages[0].buttons, kestova::MsgButtons::Ok);
    EXPECT_FALSE(QFile::exists(asked));
}

TEST_F(OpeningTheManual, withoutTheDesktopsToolsQtOpensIt) {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "Open");
    Start();
    window->OnCommand(32804);
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls[0], QUrl::fromLocalFile(Manual()));
    EXPECT_TRUE(presenter.Seen().isEmpty());
}

TEST_F(OpeningTheManual, aMissingManualIsNamedWithItsPlace) {
    ASSERT_TRUE(QFile::remove(Manual()));
    Script("xdg-mime", "echo pdfviewer.desktop");
    Script("xdg-open", "exit 0");
    Start();
    window->OnCommand(32804);
    const auto messages = presenter.Messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].text,
              "The software manual was not found at\n" + QDir::toNativeSeparators(Manual()));
    EXPECT_EQ(messages[0].icon, kestova::MsgIcon::Exclamation);
}

TEST(MainLayoutMath, followsTheFrameRules) {
    const auto l = kestova::ComputeMainLayout(QRect(0, 0, 800, 600), 120, 36, QSize(300, 150));
    EXPECT_EQ(l.navigation, QRect(5, 5, 120, 590));
    EXPECT_EQ(l.title, QRect(133, 5, 800 - 8 - 133, 36));
    EXPECT_EQ(l.pageArea, QRect(133, 41, 800 - 8 - 133, 600 - 5 - 41));
    EXPECT_EQ(l.pages, l.pageArea.adjusted(1, 1, -2, -2));
    EXPECT_EQ(l.connectPage, QRect(250, 225, 300, 150));
}

class PictureButton : public ::testing::Test {
protected:
    kestova::CButtonExt button;
    void SetUp() override {
        button.resize(106, 85);
        button.show();
        QCoreApplication::processEvents();
    }
    // Waits, with a bound, for the button to notice the resting mouse.
    bool WaitForHover() {
        for (int i = 0; i < 100 && !button.IsHovering(); ++i) {
            QTest::qWait(10);
        }
        return button.IsHovering();
    }
};

TEST_F(PictureButton, withoutPicturesIsABlackRectangle) {
    const QImage image = button.grab().toImage();
    EXPECT_EQ(image.pixelColor(0, 0), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(53, 42), QColor(Qt::black));
}

TEST_F(PictureButton, showsHoverAfterTheMouseRestsAndPressedOnlyThen) {
    button.SetBitmaps(1010, 1011, 1012);
    EXPECT_EQ(button.CurrentBitmap(), 1010);
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(button.CurrentBitmap(), 1010); // pressed, but the hover has not arrived yet
    QTest::mouseMove(&button, QPoint(21, 21));
    ASSERT_TRUE(WaitForHover());
    EXPECT_EQ(button.CurrentBitmap(), 1012);
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(21, 21));
    EXPECT_EQ(button.CurrentBitmap(), 1011);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&button, &leave);
    EXPECT_EQ(button.CurrentBitmap(), 1010);
}

TEST_F(PictureButton, paintsItsPictureOverTheWholeButton) {
    button.SetBitmaps(1010, 1011, 1012);
    const QImage image = button.grab().toImage();
    EXPECT_NE(image.pixelColor(53, 20), QColor(Qt::black)); // the picture covers the black fill
    button.resize(212, 170);
    const QImage big = button.grab().toImage();
    EXPECT_NE(big.pixelColor(150, 40), QColor(Qt::black));
}

} // namespace

#include "NavigationTest.moc"
