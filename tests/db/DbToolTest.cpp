// The build tool and the built file: the file is encrypted, the dump reads back into the same
// data, a broken source names its line and leaves no file, and a hand-made model table with a
// missing series reads the way drive identification expects.

#include "DbScript.h"
#include "DbTestSupport.h"
#include "SqlCipherFile.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

using dbtest::DataMdbPath;
using dbtest::ScratchDir;

std::string Dump(const std::string& path) {
    const kdb::SqliteHandle db = kdb::OpenCipherFile(path, kdb::kPassword, kdb::OpenMode::ReadOnly);
    std::ostringstream out;
    kdb::DumpDatabase(db.get(), out);
    return out.str();
}

TEST(BuiltFile, IsEncrypted) {
    std::ifstream in(DataMdbPath(), std::ios::binary);
    char header[16] = {};
    ASSERT_TRUE(in.read(header, sizeof header));
    EXPECT_NE(std::string(header, sizeof header), std::string("SQLite format 3\0", 16));
    for (const char* password : {"", "kzrp"}) {
        try {
            kdb::OpenCipherFile(DataMdbPath(), password, kdb::OpenMode::ReadOnly);
            ADD_FAILURE() << "opened with '" << password << "'";
        } catch (const CDbError& e) {
            EXPECT_NE(e.Description().find("not a database"), std::string::npos) << e.Description();
        }
    }
}

TEST(BuiltFile, CipherToolOpensItWithThePassword) {
    // The stock command-line tool, given the password and our key derivation rounds.
    if (std::system("command -v sqlcipher >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "sqlcipher tool not installed";
    }
    const std::string command = "printf \"PRAGMA key='" + std::string(kdb::kPassword) +
                                "';\\nPRAGMA kdf_iter=" + std::to_string(kdb::kKdfIterations) +
                                ";\\nSELECT count(*) FROM DriverTable;\\n\" | sqlcipher '" +
                                DataMdbPath() + "' 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[256] = {};
    std::string output;
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        output += buffer;
    }
    EXPECT_EQ(::pclose(pipe), 0) << output;
    CADO db;
    ASSERT_TRUE(db.OpenConnection(kdb::ProgramConnectionString(DataMdbPath())));
    const auto models = dbtest::ReadAll(db, "Select * from DriverTable", {"DriverCode"});
    EXPECT_EQ(output, std::to_string(models.size()) + "\n");
}

TEST(DbTool, DumpBuildsBackIntoTheSameData) {
    ScratchDir dir;
    const std::string first = Dump(DataMdbPath());
    kdb::BuildDatabase(dir.File("copy.mdb"), kdb::kPassword, {{"dump.sql", first}});
    EXPECT_EQ(Dump(dir.File("copy.mdb")), first);
    EXPECT_NE(first.find("CREATE TABLE ParameterTable"), std::string::npos);
    EXPECT_NE(first.find("'Encoder count error'"), std::string::npos);
}

TEST(DbTool, DumpKeepsEveryKindOfValue) {
    ScratchDir dir;
    kdb::BuildDatabase(dir.File("kinds.mdb"), kdb::kPassword,
                       {{"kinds.sql", "CREATE TABLE t (a, b, c, d, e);\n"
                                      "INSERT INTO t VALUES (-7, 2.0, 'it''s', X'00FF', NULL);\n"
                                      "CREATE INDEX ta ON t (a);\n"}});
    const std::string dump = Dump(dir.File("kinds.mdb"));
    EXPECT_NE(dump.find("VALUES(-7,2.0,'it''s',X'00FF',NULL);"), std::string::npos) << dump;
    EXPECT_NE(dump.find("CREATE INDEX ta ON t (a);"), std::string::npos) << dump;
    kdb::BuildDatabase(dir.File("again.mdb"), kdb::kPassword, {{"dump.sql", dump}});
    EXPECT_EQ(Dump(dir.File("again.mdb")), dump);
}

TEST(DbTool, BrokenSourceNamesItsLineAndKeepsTheOldFile) {
    ScratchDir dir;
    const std::string target = dir.File("DATA.mdb");
    kdb::BuildDatabase(target, kdb::kPassword, {{"good.sql", "CREATE TABLE t (a);"}});
    const std::string before = Dump(target);
    try {
        kdb::BuildDatabase(target, kdb::kPassword,
                           {{"schema.sql", "CREATE TABLE t (a);\nCREATE TABLE u (b);\n"},
                            {"rows.sql", "-- rows\nINSERT INTO t VALUES (1);\n\n  INSERT INTO v "
                                         "VALUES (2);\n"}});
        FAIL() << "built";
    } catch (const CDbError& e) {
        EXPECT_EQ(e.Description().rfind("rows.sql:4: ", 0), 0u) << e.Description();
        EXPECT_NE(e.Description().find("no such table: v"), std::string::npos);
    }
    EXPECT_EQ(Dump(target), before);
    EXPECT_FALSE(std::filesystem::exists(target + ".part"));
}

TEST(DbTool, NullSeriesReadsAsIdentificationExpects) {
    // A model table of older make, without the NOT NULL rules of ours.
    ScratchDir dir;
    kdb::BuildDatabase(
        dir.File("DATA.mdb"), kdb::kPassword,
        {{"old.sql", "CREATE TABLE DriverTable (DriverCode INTEGER, ProtocolVerssion "
                     "INTEGER, DriverType TEXT, Series TEXT, ParaTable TEXT);\n"
                     "INSERT INTO DriverTable VALUES (5, 200, 'X-5', NULL, 'ParaX');\n"
                     "INSERT INTO DriverTable VALUES (5, 200, 'X-5b', 'B', 'ParaB');\n"}});
    CADO db;
    ASSERT_TRUE(db.OpenConnection(kdb::ProgramConnectionString(dir.File("DATA.mdb"))));
    RecordsetPtr rs = db.OpenRecordset(
        "Select * from   DriverTable  Where DriverCode = 5 And ProtocolVerssion =200");
    ASSERT_FALSE(rs->IsEOF());
    // Two rows with the same key: the first stored one comes first.
    EXPECT_EQ(rs->GetFieldValue("DriverType"), "X-5");
    try {
        rs->GetFieldValue("Series");
        FAIL() << "NULL read as text";
    } catch (const CDbError& e) {
        EXPECT_EQ(e.Error(), DB_E_NULL_VALUE);
    }
    // The lookup goes on after the series message.
    EXPECT_EQ(rs->GetFieldValue("ParaTable"), "ParaX");
    rs->MoveNext();
    EXPECT_FALSE(rs->IsEOF());
    rs->Close();
}

} // namespace
