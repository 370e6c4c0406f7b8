// The database operations on copies of a wixl-built package, with a table of
// the test's own where the Property table cannot hold a case (duplicate names).
#include "msi/msi_database.h"

#include <gtest/gtest.h>

#include <msiquery.h>

#include <string>
#include <vector>

#include "win/process_runner.h"

using namespace bastion;

namespace {

class MsiDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"bastion-msi-database-test.msi";
    ASSERT_TRUE(CopyFileW((TestDirectory() + L"msi\\plain.msi").c_str(), path_.c_str(), FALSE));
    ASSERT_TRUE(OpenMsiDatabase(path_.c_str(), &database_));
  }
  void TearDown() override {
    if (database_) {
      EXPECT_TRUE(CloseMsiHandle(database_));
    }
    DeleteFileW(path_.c_str());
  }

  void Execute(const wchar_t* query) {
    MSIHANDLE view = 0;
    EXPECT_TRUE(OpenMsiView(database_, query, &view)) << query;
    if (view) {
      EXPECT_TRUE(CloseMsiHandle(view));
    }
  }

  // A table whose rows may share a name, read in the order (Name, Value, Id).
  void MakeTable(const std::vector<std::pair<const wchar_t*, const wchar_t*>>& rows) {
    Execute(L"CREATE TABLE `Props` (`Id` SHORT NOT NULL, `Name` CHAR(72), `Value` CHAR(72) PRIMARY KEY `Id`)");
    int id = 1;
    for (const auto& [name, value] : rows) {
      std::wstring insert = L"INSERT INTO `Props` (`Id`, `Name`, `Value`) VALUES (" + std::to_wstring(id++) +
                            L", '" + name + L"', '" + value + L"')";
      Execute(insert.c_str());
    }
  }

  bool SetInTable(const wchar_t* name, const wchar_t* value, const wchar_t* where = L"") {
    MSIHANDLE view = 0;
    std::wstring query = std::wstring(L"SELECT `Name`, `Value`, `Id` FROM `Props`") + where;
    EXPECT_TRUE(OpenMsiView(database_, query.c_str(), &view));
    bool set = static_cast<bool>(SetPropertyValue(view, name, value));
    EXPECT_TRUE(CloseMsiHandle(view));
    return set;
  }

  std::vector<std::wstring> Values() {
    std::vector<std::wstring> values;
    MSIHANDLE view = 0;
    EXPECT_TRUE(OpenMsiView(database_, L"SELECT `Value` FROM `Props` ORDER BY `Id`", &view));
    MSIHANDLE record = 0;
    while (MsiViewFetch(view, &record) == ERROR_SUCCESS) {
      wchar_t value[80] = {};
      DWORD size = 80;
      MsiRecordGetStringW(record, 1, value, &size);
      values.push_back(value);
      MsiCloseHandle(record);
    }
    MsiCloseHandle(view);
    return values;
  }

  std::wstring path_;
  MSIHANDLE database_ = 0;
};

TEST_F(MsiDatabaseTest, EveryExactMatchIsUpdatedAndOtherCasesAreNot) {
  MakeTable({{L"RECONF", L"0"}, {L"reconf", L"0"}, {L"OTHER", L"0"}, {L"RECONF", L"7"}, {L"RECONFX", L"0"}});
  EXPECT_TRUE(SetInTable(L"RECONF", L"1"));
  EXPECT_EQ(Values(), (std::vector<std::wstring>{L"1", L"0", L"0", L"1", L"0"}));
}

TEST_F(MsiDatabaseTest, ViewWithoutRowsChangesNothingAndSucceeds) {
  MakeTable({{L"RECONF", L"0"}});
  EXPECT_TRUE(SetInTable(L"RECONF", L"1", L" WHERE `Id` = 99"));
  EXPECT_EQ(Values(), std::vector<std::wstring>{L"0"});
}

TEST_F(MsiDatabaseTest, EditsSurviveACommitAndReopen) {
  MakeTable({{L"RECONF", L"0"}});
  EXPECT_TRUE(SetInTable(L"RECONF", L"1"));
  ASSERT_TRUE(CommitMsiDatabase(database_));
  ASSERT_TRUE(CloseMsiHandle(database_));
  database_ = 0;
  ASSERT_TRUE(OpenMsiDatabase(path_.c_str(), &database_));
  EXPECT_EQ(Values(), std::vector<std::wstring>{L"1"});
}

// Each failure carries the installer's own return code.
TEST_F(MsiDatabaseTest, BadQueryAndBadHandlesFailWithTheInstallersCode) {
  MSIHANDLE view = 0;
  Win32Result result = OpenMsiView(database_, L"SELECT * FROM `NoSuchTable`", &view);
  EXPECT_FALSE(result);
  EXPECT_EQ(result.error(), static_cast<unsigned long>(ERROR_BAD_QUERY_SYNTAX));
  EXPECT_EQ(view, 0u);
  // The stream's file is the open package itself: the first call to fail reads it.
  EXPECT_EQ(AddBinaryStream(0, L"name", path_.c_str()).error(), static_cast<unsigned long>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(SetPropertyValue(0, L"RECONF", L"1").error(), static_cast<unsigned long>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(CloseMsiHandle(0xBAD).error(), static_cast<unsigned long>(ERROR_INVALID_HANDLE));
  MSIHANDLE database = 0;
  result = OpenMsiDatabase((path_ + L".missing").c_str(), &database);
  EXPECT_FALSE(result);
  // Wine answers 1627 (ERROR_FUNCTION_FAILED), Windows 110 (ERROR_OPEN_FAILED).
  EXPECT_NE(result.error(), 0u);
}

}  // namespace
