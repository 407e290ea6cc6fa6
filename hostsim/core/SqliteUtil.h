// Small helpers around SQLite for the stand-in host's databases: ANSI <-> UTF-8
// at the boundary (the tool speaks the ANSI code page, SQLite stores UTF-8),
// RAII for connections and statements.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace hostsim {

std::string AnsiToUtf8(const std::string& ansi);
std::string Utf8ToAnsi(const char* utf8, int bytes);

// Opens an SQLite file named by an ANSI path. flags: SQLITE_OPEN_*. Returns the
// SQLite result code; on failure *db is null and nothing stays open.
int OpenSqliteFile(const std::string& ansiPath, int flags, sqlite3** db);

// Runs statements without results; false on the first error.
bool ExecSql(sqlite3* db, const char* sql);

bool FileExistsA(const std::string& path);

// One prepared statement. Text binds and columns are ANSI on our side.
class CStatement {
public:
    CStatement() = default;
    ~CStatement();
    CStatement(const CStatement&) = delete;
    CStatement& operator=(const CStatement&) = delete;

    bool Prepare(sqlite3* db, const char* sql);
    bool IsPrepared() const { return m_stmt != nullptr; }
    void Finalize();

    // Clears earlier bindings and results so the statement can run again.
    void Reset();
    bool BindText(int index, const std::string& ansi);
    bool BindInt64(int index, long long value);
    bool BindBlob(int index, const std::vector<BYTE>& data);

    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step();
    // Step that must finish without a row.
    bool Run() { return Step() == 101 /* SQLITE_DONE */; }

    long long ColumnInt64(int column);
    std::string ColumnText(int column);
    std::vector<BYTE> ColumnBlob(int column);

private:
    sqlite3_stmt* m_stmt = nullptr;
};

}  // namespace hostsim
