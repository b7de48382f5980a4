#pragma once

// Shared pieces of the database tests: where the built DATA.mdb lies, scratch folders, and
// reading a whole query the way the pages do.

#include "CADO.h"
#include "KestovaDb.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace dbtest {

inline std::string DataMdbPath() {
    return KESTOVA_DATA_MDB;
}

using Row = std::map<std::string, std::string>;

// Every row of sql, each field of `columns` read as text; the recordset is closed afterwards.
inline std::vector<Row> ReadAll(CADO& db, const std::string& sql,
                                const std::vector<std::string>& columns) {
    std::vector<Row> rows;
    RecordsetPtr rs = db.OpenRecordset(sql);
    EXPECT_TRUE(db.IsRecordsetOpen()) << sql;
    while (!rs->IsEOF()) {
        Row row;
        for (const auto& column : columns) {
            row[column] = rs->GetFieldValue(column);
        }
        rows.push_back(std::move(row));
        rs->MoveNext();
    }
    rs->Close();
    return rows;
}

// A folder of its own for one test, removed with everything in it afterwards.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& leaf = "scratch") {
        static std::atomic<int> counter{0};
        path_ = std::filesystem::temp_directory_path() /
                ("kestova-db-" + std::to_string(::getpid()) + "-" + std::to_string(counter++)) /
                leaf;
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_.parent_path(), ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Opened on the built DATA.mdb with the program's own connection string.
class DataMdbTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(db.OpenConnection(kdb::ProgramConnectionString(DataMdbPath())))
            << db.LastConnectionError();
    }
    CADO db;
};

} // namespace dbtest
