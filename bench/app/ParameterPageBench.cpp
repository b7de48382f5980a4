// The parameter page's load of the largest parameter table in DATA.mdb: from the query to the
// list painted, on the offscreen platform. Prints the median and the worst of the rounds
// (goal: under 30 ms).
//
//   bench_app_parameter_page [rounds]

#include "CListCtrlExt.h"
#include "CParameterManage.h"
#include "KestovaDb.h"
#include "ParameterRules.h"
#include "Presenter.h"
#include "ProgramState.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Nothing is shown while the page loads; any message would be a fault of the bench's set-up.
class SilentPresenter : public kestova::Presenter {
public:
    using Presenter::Message;
    kestova::MsgResult Message(QWidget*, const kestova::MessageRequest& request) override {
        std::fprintf(stderr, "message: %s\n", request.text.toStdString().c_str());
        return kestova::MsgResult::Ok;
    }
    QString OpenFileName(QWidget*, const kestova::FileDialogRequest&) override { return {}; }
    QString SaveFileName(QWidget*, const kestova::FileDialogRequest&) override { return {}; }
    std::optional<QColor> ChooseColor(QWidget*, const QColor&) override { return {}; }
};

// The table with the most visible rows among the models' tables.
std::string LargestTable(CADO& db, std::size_t& rows) {
    std::vector<std::string> tables;
    RecordsetPtr rs = db.OpenRecordset("Select distinct ParaTable from DriverTable");
    while (!rs->IsEOF()) {
        tables.push_back(rs->GetFieldValue("ParaTable"));
        rs->MoveNext();
    }
    rs->Close();
    std::string largest;
    rows = 0;
    for (const std::string& table : tables) {
        const auto load = kestova::params::LoadParameterRows(db, table, "All Parameters");
        if (load.rows.size() > rows) {
            rows = load.rows.size();
            largest = table;
        }
    }
    return largest;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 31;

    const QString dir = QCoreApplication::applicationDirPath();
    kestova::ProgramState state(dir);
    const std::string path = state.FileBesideProgram(kdb::kFileName).toStdString();
    if (!state.Db().OpenConnection(kdb::ProgramConnectionString(path))) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return 1;
    }
    std::size_t rowCount = 0;
    state.paraTableName = QString::fromStdString(LargestTable(state.Db(), rowCount));

    SilentPresenter presenter;
    kestova::CParameterManage page(state, presenter);
    page.resize(1000, 640);
    page.show();
    QCoreApplication::processEvents();

    std::vector<double> ms;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        page.LoadParameterTable("All Parameters");
        page.List()->viewport()->repaint(); // paints the rows at once
        ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        QCoreApplication::processEvents();
    }
    std::sort(ms.begin(), ms.end());
    std::printf("parameter page, %s (%zu rows): query to list painted, median %.2f ms, worst %.2f "
                "ms over %d rounds (goal: under 30 ms)\n",
                state.paraTableName.toStdString().c_str(), rowCount, ms[ms.size() / 2], ms.back(),
                rounds);
    return 0;
}
