// Reading connection strings: the program's own, hand-written variants, and strings that must be
// refused.

#include "ConnectionString.h"
#include "DbError.h"
#include "KestovaDb.h"

#include <gtest/gtest.h>

namespace {

struct ParseCase {
    const char* text;
    const char* provider;
    const char* password;
    const char* source;
};

void PrintTo(const ParseCase& c, std::ostream* out) {
    *out << c.text;
}

class ConnectionStringParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ConnectionStringParse, FindsProviderPasswordAndSource) {
    const ParseCase& c = GetParam();
    const kdb::ConnectionSettings settings = kdb::ParseConnectionString(c.text);
    EXPECT_EQ(settings.provider, c.provider);
    EXPECT_EQ(settings.password, c.password);
    EXPECT_EQ(settings.dataSource, c.source);
}

INSTANTIATE_TEST_SUITE_P(
    Variants, ConnectionStringParse,
    ::testing::Values(
        ParseCase{"Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:DataBase Password=KZRP;"
                  "Data Source=/opt/kestova/DATA.mdb",
                  "Microsoft.Jet.OLEDB.4.0", "KZRP", "/opt/kestova/DATA.mdb"},
        // Blanks and semicolons belong to the path: it runs to the end of the string.
        ParseCase{
            "Provider=P;Jet OLEDB:DataBase Password=KZRP;Data Source=/home/a b/my;dir/DATA.mdb",
            "P", "KZRP", "/home/a b/my;dir/DATA.mdb"},
        // Keys in any case, with blanks around them; unknown keys and bare segments skipped.
        ParseCase{" provider = P ; User ID=; jet oledb:database password=x=y ;junk; DATA SOURCE=d",
                  "P", "x=y ", "d"},
        ParseCase{"Data Source=\"/tmp/with blank/DATA.mdb\"", "", "", "/tmp/with blank/DATA.mdb"},
        ParseCase{"Jet OLEDB:DataBase Password=;Data Source=", "", "", ""}));

TEST(ConnectionString, WithoutDataSourceIsRefused) {
    for (const char* text : {"", "Provider=P;Jet OLEDB:DataBase Password=KZRP",
                             "Provider=P;Data Sourc=/x", "Data Source"}) {
        try {
            kdb::ParseConnectionString(text);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const CDbError& e) {
            EXPECT_EQ(e.Error(), DB_E_CONNECTION_STRING);
            EXPECT_FALSE(e.Description().empty());
        }
    }
}

TEST(ConnectionString, ProgramStringCarriesThePathAsItStands) {
    const std::string path = "/home/user/Kestova build/DATA.mdb";
    EXPECT_EQ(kdb::ProgramConnectionString(path),
              "Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:DataBase Password=KZRP;Data Source=" +
                  path);
    const kdb::ConnectionSettings settings =
        kdb::ParseConnectionString(kdb::ProgramConnectionString(path));
    EXPECT_EQ(settings.password, kdb::kPassword);
    EXPECT_EQ(settings.dataSource, path);
    EXPECT_EQ(kdb::DatabasePathIn("/opt/kestova"), "/opt/kestova/DATA.mdb");
}

} // namespace
