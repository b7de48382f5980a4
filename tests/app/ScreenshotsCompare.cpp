#include "ScreenshotsCompare.h"

#include "CCompareDialog.h"
#include "CHistoryDialog.h"
#include "CItemEdit.h"
#include "CListCtrlExt.h"
#include "CListMarks.h"
#include "CMainDlg.h"
#include "CParameterManage.h"
#include "ParameterFile.h"
#include "ResourceIds.h"
#include "ScriptedPresenter.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <cstdio>
#include <optional>

namespace {

using kestova::params::kValueColumn;

bool WaitFor(const std::function<bool()>& cond) {
    QDeadlineTimer deadline(10000);
    while (!cond() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return cond();
}

// Two clicks on a Value cell, a new value typed and Enter: the page writes it and reads it back.
bool Edit(kestova::CParameterManage& page, int row, const QString& text) {
    kestova::CListCtrlExt& list = *page.List();
    const QRect cell = list.visualRect(list.model()->index(row, kValueColumn));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, cell.center());
    auto* editor = list.findChild<kestova::CItemEdit*>();
    if (editor == nullptr) {
        return false;
    }
    editor->selectAll();
    QTest::keyClicks(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
    return WaitFor([&] { return page.Marks()->IsUnstored(row); });
}

// A plain row's value raised by one, when its range allows it.
std::optional<std::string> Raised(const kestova::params::ParameterRow& row) {
    const int address = kestova::params::LeadingInteger(row.cells[0]);
    const std::string raised =
        std::to_string(kestova::params::LeadingInteger(row.cells[kValueColumn]) + 1);
    if (address == kestova::params::kBitFieldAddress ||
        kestova::params::IsUnsignedAddress(address) ||
        !kestova::params::ValueToWrite(row, raised)) {
        return std::nullopt;
    }
    return raised;
}

// The drive's rows with the value of `count` plain rows raised by one, from row `first` on.
kestova::params::ParameterRows Changed(kestova::params::ParameterRows rows, std::size_t first,
                                       int count) {
    for (std::size_t i = first; i < rows.size() && count > 0; ++i) {
        if (const auto raised = Raised(rows[i])) {
            rows[i].cells[kValueColumn] = *raised;
            --count;
        }
    }
    return rows;
}

} // namespace

bool ShootCompare(kestova::CMainDlg& window,
                  const std::function<bool(const char* name, QWidget* what)>& save) {
    auto* presenter = dynamic_cast<kttest::ScriptedPresenter*>(&window.Dialogs());
    if (presenter == nullptr) {
        std::fprintf(stderr, "the compare view needs the scripted presenter\n");
        return false;
    }
    window.OnCommand(kestova::res::ID_CONFIG_PARAMETERS);
    kestova::CParameterManage& page = *window.ParametersPage();
    if (page.List()->RowCount() < 8) {
        std::fprintf(stderr, "the parameter list is not filled\n");
        return false;
    }
    bool ok = true;
    // A current setting a little up, well inside the list's first screen.
    const kestova::params::ParameterRows rows = page.List()->Rows();
    int edited = 12;
    while (edited < 20 && !Raised(rows[static_cast<std::size_t>(edited)])) {
        ++edited;
    }
    const auto raised = Raised(rows[static_cast<std::size_t>(edited)]);
    if (raised && Edit(page, edited, QString::fromStdString(*raised))) {
        // The highlight moved off the edited row, so that its mark shows.
        kestova::CListCtrlExt& list = *page.List();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                          list.visualRect(list.model()->index(2, 1)).center());
        ok = save("parameter-marks.png", &page) && ok;
    } else {
        std::fprintf(stderr, "the edit for the marks did not reach the drive\n");
        ok = false;
    }

    QTemporaryDir dir;
    const QString path = dir.filePath("tuned.ktr");
    const std::string bytes =
        kestova::params::WriteParameterFile(12, "TS-126", Changed(page.List()->Rows(), 10, 3));
    if (kestova::params::ReplaceFileContents(path.toStdString(), bytes)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    const auto run = page.runCompare;
    page.runCompare = [](QDialog& dialog) { dialog.show(); };
    presenter->AnswerFile(path);
    window.OnCommand(kestova::res::ID_PROJECT_COMPARE);
    page.runCompare = run;
    kestova::CCompareDialog* dialog = page.CompareDialog();
    if (dialog == nullptr || !dialog->isVisible()) {
        std::fprintf(stderr, "the compare view did not open\n");
        return false;
    }
    // Two of the three rows ticked, as a person picks what to take over.
    dialog->Rows()->topLevelItem(0)->setCheckState(0, Qt::Checked);
    dialog->Rows()->topLevelItem(2)->setCheckState(0, Qt::Checked);
    ok = save("parameter-compare.png", dialog) && ok;

    // The two rows applied, then the history of the drive: the edit and the applied rows, none
    // stored yet, the applied run picked for undo.
    dialog->ApplyButton()->click();
    dialog->close();
    const auto history = page.runHistory;
    page.runHistory = [](QDialog& shown) { shown.show(); };
    window.OnCommand(kestova::res::ID_DRIVE_HISTORY);
    page.runHistory = history;
    kestova::CHistoryDialog* journal = page.HistoryDialog();
    if (journal == nullptr || !journal->isVisible() ||
        journal->Entries()->topLevelItemCount() < 3) {
        std::fprintf(stderr, "the history did not open with the changes\n");
        return false;
    }
    QTreeWidget* entries = journal->Entries();
    entries->setCurrentItem(entries->topLevelItem(entries->topLevelItemCount() - 1));
    ok = save("parameter-history.png", journal) && ok;
    journal->close();
    return ok;
}
