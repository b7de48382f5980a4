// CADO against the built DATA.mdb: opening and refusing files, the shared recordset, and the
// errors that the pages catch.

#include "DbTestSupport.h"
#include "SqlCipherFile.h"

#include <sqlite3.h>

#include <cctype>
#include <fstream>
#include <functional>

namespace {

using dbtest::DataMdbPath;
using dbtest::DataMdbTest;
using dbtest::ScratchDir;

long ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const CDbError& e) {
        EXPECT_FALSE(e.Description().empty());
        return e.Error();
    }
    return 0;
}

// ---------------------------------------------------------------------------- connection

TEST(CadoConnection, OpensTheBuiltFileWithTheProgramString) {
    CADO db;
    EXPECT_FALSE(db.IsConnectionOpen());
    EXPECT_FALSE(db.IsRecordsetOpen());
    ASSERT_TRUE(db.OpenConnection(kdb::ProgramConnectionString(DataMdbPath())))
        << db.LastConnectionError();
    EXPECT_TRUE(db.IsConnectionOpen());
    EXPECT_TRUE(db.LastConnectionError().empty());
}

struct RefusedCase {
    const char* what;
    std::function<std::string(const ScratchDir&)> connectionString;
};

void PrintTo(const RefusedCase& c, std::ostream* out) {
    *out << c.what;
}

class CadoRefusesFile : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(CadoRefusesFile, LeavesTheConnectionClosed) {
    ScratchDir dir;
    CADO db;
    // A connection that was open is closed by the failed attempt, as with a first attempt.
    ASSERT_TRUE(db.OpenConnection(kdb::ProgramConnectionString(DataMdbPath())));
    EXPECT_FALSE(db.OpenConnection(GetParam().connectionString(dir)));
    EXPECT_FALSE(db.IsConnectionOpen());
    EXPECT_FALSE(db.LastConnectionError().empty());
    EXPECT_EQ(ErrorOf([&] { db.OpenRecordset("Select * from   AlarmTable Where AlarmCode=1"); }),
              DB_E_NOT_OPEN);
}

std::string CopyOfDataWithKey(const ScratchDir& dir, const char* password) {
    const std::string copy = dir.File("DATA.mdb");
    std::filesystem::copy_file(DataMdbPath(), copy);
    return std::string("Provider=P;Jet OLEDB:DataBase Password=") + password +
           ";Data Source=" + copy;
}

INSTANTIATE_TEST_SUITE_P(
    Files, CadoRefusesFile,
    ::testing::Values(
        RefusedCase{"wrong password",
                    [](const ScratchDir& d) { return CopyOfDataWithKey(d, "KZRQ"); }},
        RefusedCase{"no password", [](const ScratchDir& d) { return CopyOfDataWithKey(d, ""); }},
        RefusedCase{
            "missing file",
            [](const ScratchDir& d) { return kdb::ProgramConnectionString(d.File("DATA.mdb")); }},
        RefusedCase{"empty path",
                    [](const ScratchDir&) { return kdb::ProgramConnectionString(""); }},
        RefusedCase{
            "a folder",
            [](const ScratchDir& d) { return kdb::ProgramConnectionString(d.Path().string()); }},
        RefusedCase{"in-memory name",
                    [](const ScratchDir&) { return kdb::ProgramConnectionString(":memory:"); }},
        RefusedCase{"empty file",
                    [](const ScratchDir& d) {
                        std::ofstream(d.File("DATA.mdb")).flush();
                        return kdb::ProgramConnectionString(d.File("DATA.mdb"));
                    }},
        RefusedCase{"text file",
                    [](const ScratchDir& d) {
                        std::ofstream(d.File("DATA.mdb")) << "not a database\n";
                        return kdb::ProgramConnectionString(d.File("DATA.mdb"));
                    }},
        RefusedCase{"unreadable file",
                    [](const ScratchDir& d) {
                        const std::string copy = d.File("DATA.mdb");
                        std::filesystem::copy_file(DataMdbPath(), copy);
                        std::filesystem::permissions(copy, std::filesystem::perms::none);
                        // Root reads it all the same; then only the key can fail.
                        return std::ifstream(copy).good()
                                   ? std::string("Jet OLEDB:DataBase Password=x;Data Source=") +
                                         copy
                                   : kdb::ProgramConnectionString(copy);
                    }}),
    [](const ::testing::TestParamInfo<RefusedCase>& info) {
        std::string name = info.param.what;
        for (char& c : name) {
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        return name;
    });

TEST(CadoConnection, MissingFileIsNotCreated) {
    ScratchDir dir;
    CADO db;
    EXPECT_FALSE(db.OpenConnection(kdb::ProgramConnectionString(dir.File("DATA.mdb"))));
    EXPECT_FALSE(std::filesystem::exists(dir.File("DATA.mdb")));
}

TEST(CadoConnection, PathWithBlanksOpensUnquoted) {
    ScratchDir dir("Program Files; Kestova 3.1");
    std::filesystem::copy_file(DataMdbPath(), dir.File("DATA.mdb"));
    CADO db;
    ASSERT_TRUE(db.OpenConnection(kdb::ProgramConnectionString(dir.File("DATA.mdb"))))
        << db.LastConnectionError();
    EXPECT_EQ(dbtest::ReadAll(db,
                              "Select * from   DriverTable  Where DriverCode = 11 And "
                              "ProtocolVerssion =200",
                              {"DriverType"})
                  .size(),
              1u);
}

TEST(CadoConnection, ConnectionStringWithoutSourceRaises) {
    CADO db;
    EXPECT_EQ(ErrorOf([&] { db.OpenConnection("Provider=P;Jet OLEDB:DataBase Password=KZRP"); }),
              DB_E_CONNECTION_STRING);
    EXPECT_FALSE(db.IsConnectionOpen());
}

TEST_F(DataMdbTest, ReopeningClosesAndOpensAgain) {
    RecordsetPtr rs = db.OpenRecordset("Select * from   AlarmTable Where AlarmCode=1");
    ASSERT_TRUE(db.OpenConnection(kdb::ProgramConnectionString(DataMdbPath())));
    // The old query went with the old connection.
    EXPECT_FALSE(rs->IsOpen());
    EXPECT_FALSE(db.IsRecordsetOpen());
    rs = db.OpenRecordset("Select * from   AlarmTable Where AlarmCode=1");
    ASSERT_FALSE(rs->IsEOF());
    EXPECT_EQ(rs->GetFieldValue("AlarmName"), "Over-current");
}

TEST_F(DataMdbTest, EngineIsTheCipherBuild) {
    // SQLCipher replaces the plain engine; linking both would leave this empty.
    const kdb::SqliteHandle raw =
        kdb::OpenCipherFile(DataMdbPath(), kdb::kPassword, kdb::OpenMode::ReadOnly);
    EXPECT_FALSE(kdb::CipherVersion(raw.get()).empty());
}

// ---------------------------------------------------------------------------- recordset

TEST_F(DataMdbTest, TwoQueriesShareOneRecordsetAndEachGetsItsRows) {
    RecordsetPtr first = db.OpenRecordset("Select * from   AlarmTable Where AlarmCode=9");
    ASSERT_FALSE(first->IsEOF());
    EXPECT_EQ(first->GetFieldValue("AlarmName"), "Encoder disconnected");

    // Opened before the first was read to its end: the first is closed for the second.
    RecordsetPtr second = db.OpenRecordset(
        "Select * from   DriverTable  Where DriverCode = 257 And ProtocolVerssion =320");
    EXPECT_EQ(first.get(), second.get());
    ASSERT_FALSE(second->IsEOF());
    EXPECT_EQ(second->GetFieldValue("DriverType"), "TA-275C");
    second->MoveNext();
    EXPECT_TRUE(second->IsEOF());
    second->Close();
    EXPECT_FALSE(db.IsRecordsetOpen());

    const auto alarms =
        dbtest::ReadAll(db, "Select * from   AlarmTable Where AlarmCode=9", {"AlarmName"});
    ASSERT_EQ(alarms.size(), 2u);
    EXPECT_EQ(alarms[1].at("AlarmName"), "Encoder count error");
}

TEST_F(DataMdbTest, MissingTableRaisesWithTheEngineText) {
    try {
        db.OpenRecordset("Select * from   NoSuchTable  Order by rank asc, Greyout desc");
        FAIL() << "no error";
    } catch (const CDbError& e) {
        EXPECT_EQ(e.Error(), SQLITE_ERROR);
        EXPECT_NE(e.Description().find("no such table: NoSuchTable"), std::string::npos)
            << e.Description();
    }
    EXPECT_FALSE(db.IsRecordsetOpen());
    EXPECT_TRUE(db.IsConnectionOpen());
}

TEST_F(DataMdbTest, FieldsReadAsTextWhateverTheirType) {
    RecordsetPtr rs = db.OpenRecordset(
        "Select DriverCode, ProtocolVerssion, DriverType, 1.5 AS Ratio, -7 AS Negative from "
        "DriverTable Where DriverCode = 256");
    ASSERT_FALSE(rs->IsEOF());
    EXPECT_EQ(rs->GetFieldValue("DriverCode"), "256");
    EXPECT_EQ(rs->GetFieldValue("protocolverssion"), "310"); // names match without case
    EXPECT_EQ(rs->GetFieldValue("DRIVERTYPE"), "TS-126C");
    EXPECT_EQ(rs->GetFieldValue("Ratio"), "1.5");
    EXPECT_EQ(rs->GetFieldValue("Negative"), "-7");
}

struct FieldErrorCase {
    const char* sql;
    const char* column;
    long code;
};

void PrintTo(const FieldErrorCase& c, std::ostream* out) {
    *out << c.column << " of " << c.sql;
}

class CadoFieldError : public DataMdbTest, public ::testing::WithParamInterface<FieldErrorCase> {};

TEST_P(CadoFieldError, Raises) {
    RecordsetPtr rs = db.OpenRecordset(GetParam().sql);
    EXPECT_EQ(ErrorOf([&] { rs->GetFieldValue(GetParam().column); }), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, CadoFieldError,
    ::testing::Values(FieldErrorCase{"Select * from DriverTable", "Serie", DB_E_NO_SUCH_COLUMN},
                      FieldErrorCase{"Select NULL AS Series", "Series", DB_E_NULL_VALUE},
                      FieldErrorCase{"Select X'00FF' AS Picture", "Picture", DB_E_NOT_TEXT},
                      FieldErrorCase{"Select * from AlarmTable Where AlarmCode=0", "AlarmName",
                                     DB_E_NO_CURRENT_ROW}));

TEST_F(DataMdbTest, MovingOrTestingOutsideTheRowsRaises) {
    RecordsetPtr rs = db.OpenRecordset("Select * from   AlarmTable Where AlarmCode=1");
    rs->MoveNext();
    ASSERT_TRUE(rs->IsEOF());
    EXPECT_EQ(ErrorOf([&] { rs->MoveNext(); }), DB_E_NO_CURRENT_ROW);
    rs->Close();
    rs->Close(); // closing twice is harmless
    EXPECT_EQ(ErrorOf([&] { rs->IsEOF(); }), DB_E_RECORDSET_CLOSED);
    EXPECT_EQ(ErrorOf([&] { rs->GetFieldValue("AlarmName"); }), DB_E_RECORDSET_CLOSED);
}

TEST_F(DataMdbTest, OneStatementPerQuery) {
    // A second statement would otherwise be dropped without a word.
    EXPECT_EQ(
        ErrorOf([&] { db.OpenRecordset("Select * from AlarmTable; Select * from DriverTable"); }),
        DB_E_TRAILING_TEXT);
    EXPECT_EQ(ErrorOf([&] { db.OpenRecordset(std::string("Select 1\0 Select 2", 18)); }),
              DB_E_TRAILING_TEXT);
    EXPECT_FALSE(db.IsRecordsetOpen());
    EXPECT_EQ(
        dbtest::ReadAll(db, "Select * from AlarmTable Where AlarmCode=1; -- done\n", {"AlarmCode"})
            .size(),
        1u);
}

TEST_F(DataMdbTest, StatementsWithoutRowsLeaveTheRecordsetClosedAndChangeNothing) {
    const std::size_t before =
        dbtest::ReadAll(db, "Select * from AlarmTable", {"AlarmCode"}).size();
    RecordsetPtr rs = db.OpenRecordset("Delete from AlarmTable");
    EXPECT_FALSE(db.IsRecordsetOpen());
    EXPECT_FALSE(rs->IsOpen());
    db.OpenRecordset("");
    EXPECT_FALSE(db.IsRecordsetOpen());
    EXPECT_EQ(dbtest::ReadAll(db, "Select * from AlarmTable", {"AlarmCode"}).size(), before);
}

TEST(CadoConnection, FilesAreOpenedReadOnly) {
    const kdb::SqliteHandle raw =
        kdb::OpenCipherFile(DataMdbPath(), kdb::kPassword, kdb::OpenMode::ReadOnly);
    EXPECT_EQ(ErrorOf([&] { kdb::Execute(raw.get(), "Delete from AlarmTable"); }) & 0xFF,
              SQLITE_READONLY);
}

TEST(CadoLifetime, RecordsetOutlivingTheDatabaseIsClosed) {
    RecordsetPtr rs;
    {
        CADO db;
        ASSERT_TRUE(db.OpenConnection(kdb::ProgramConnectionString(DataMdbPath())));
        rs = db.OpenRecordset("Select * from AlarmTable");
        ASSERT_TRUE(rs->IsOpen());
    }
    EXPECT_FALSE(rs->IsOpen());
    EXPECT_EQ(ErrorOf([&] { rs->MoveNext(); }), DB_E_RECORDSET_CLOSED);
}

} // namespace
