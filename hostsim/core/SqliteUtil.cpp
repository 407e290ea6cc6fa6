#include "hostsim/core/SqliteUtil.h"

#include <sqlite3.h>

namespace hostsim {
namespace {

std::wstring ToWide(UINT codePage, const char* text, int bytes) {
    if (bytes <= 0) return std::wstring();
    int n = MultiByteToWideChar(codePage, 0, text, bytes, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text, bytes, &wide[0], n);
    return wide;
}

std::string FromWide(UINT codePage, const std::wstring& wide) {
    if (wide.empty()) return std::string();
    int size = static_cast<int>(wide.size());
    int n = WideCharToMultiByte(codePage, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string text(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), size, &text[0], n, nullptr, nullptr);
    return text;
}

}  // namespace

std::string AnsiToUtf8(const std::string& ansi) {
    return FromWide(CP_UTF8, ToWide(CP_ACP, ansi.data(), static_cast<int>(ansi.size())));
}

std::string Utf8ToAnsi(const char* utf8, int bytes) {
    if (!utf8) return std::string();
    return FromWide(CP_ACP, ToWide(CP_UTF8, utf8, bytes));
}

int OpenSqliteFile(const std::string& ansiPath, int flags, sqlite3** db) {
    *db = nullptr;
    sqlite3* handle = nullptr;
    int rc = sqlite3_open_v2(AnsiToUtf8(ansiPath).c_str(), &handle, flags, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close(handle);  // a handle is returned even on failure
        return rc;
    }
    sqlite3_busy_timeout(handle, 2000);
    *db = handle;
    return SQLITE_OK;
}

bool ExecSql(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

bool FileExistsA(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

CStatement::~CStatement() { Finalize(); }

bool CStatement::Prepare(sqlite3* db, const char* sql) {
    Finalize();
    return sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) == SQLITE_OK && m_stmt;
}

void CStatement::Finalize() {
    if (m_stmt) sqlite3_finalize(m_stmt);
    m_stmt = nullptr;
}

void CStatement::Reset() {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

bool CStatement::BindText(int index, const std::string& ansi) {
    std::string utf8 = AnsiToUtf8(ansi);
    return sqlite3_bind_text(m_stmt, index, utf8.data(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT) ==
           SQLITE_OK;
}

bool CStatement::BindInt64(int index, long long value) {
    return sqlite3_bind_int64(m_stmt, index, value) == SQLITE_OK;
}

bool CStatement::BindBlob(int index, const std::vector<BYTE>& data) {
    // A zero-length blob is still a blob, not NULL.
    static const BYTE kEmpty = 0;
    const void* p = data.empty() ? &kEmpty : data.data();
    return sqlite3_bind_blob(m_stmt, index, p, static_cast<int>(data.size()), SQLITE_TRANSIENT) == SQLITE_OK;
}

int CStatement::Step() { return sqlite3_step(m_stmt); }

long long CStatement::ColumnInt64(int column) { return sqlite3_column_int64(m_stmt, column); }

std::string CStatement::ColumnText(int column) {
    const char* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return Utf8ToAnsi(text, sqlite3_column_bytes(m_stmt, column));
}

std::vector<BYTE> CStatement::ColumnBlob(int column) {
    const BYTE* data = static_cast<const BYTE*>(sqlite3_column_blob(m_stmt, column));
    int n = sqlite3_column_bytes(m_stmt, column);
    if (!data || n <= 0) return std::vector<BYTE>();
    return std::vector<BYTE>(data, data + n);
}

}  // namespace hostsim
