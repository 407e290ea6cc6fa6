#include "hostsim/core/RightsDb.h"

#include <sqlite3.h>

#include "common/PathUtil.h"
#include "hostsim/core/SqliteUtil.h"

namespace hostsim {

const char kRightsDbFile[] = "MoveRights.db";

namespace {

constexpr long long kApplicationId = 0x48535254;  // "HSRT"
constexpr long long kSchemaVersion = 1;

long long PragmaValue(sqlite3* db, const char* sql) {
    CStatement st;
    if (!st.Prepare(db, sql) || st.Step() != SQLITE_ROW) return -1;
    return st.ColumnInt64(0);
}

bool InsertOrReplace(CStatement& st, const RightsRecord& record) {
    st.Reset();
    return st.BindText(1, record.path) && st.BindText(2, record.title) && st.BindBlob(3, record.rights) && st.Run();
}

const char kInsertSql[] = "INSERT OR REPLACE INTO rights(path, title, rights) VALUES(?1, ?2, ?3)";

}  // namespace

std::string RightsDbPath(const std::string& coreFolder) {
    std::string path = coreFolder;
    if (!path.empty() && !zr::HasTrailingBackslash(path)) path += '\\';
    return path + kRightsDbFile;
}

CRightsDb::~CRightsDb() { Close(); }

bool CRightsDb::Open(const std::string& coreFolder, bool create) {
    if (m_db) return false;
    std::string path = RightsDbPath(coreFolder);
    bool isNew = !FileExistsA(path);
    if (isNew && !create) return false;
    sqlite3* db = nullptr;
    int flags = SQLITE_OPEN_READWRITE | (isNew ? SQLITE_OPEN_CREATE : 0);
    if (OpenSqliteFile(path, flags, &db) != SQLITE_OK) return false;
    if (isNew) {
        std::string sql =
            "BEGIN; CREATE TABLE rights(path TEXT PRIMARY KEY COLLATE NOCASE, title TEXT NOT NULL,"
            " rights BLOB NOT NULL); PRAGMA application_id = " +
            std::to_string(kApplicationId) + "; PRAGMA user_version = " + std::to_string(kSchemaVersion) + "; COMMIT;";
        if (!ExecSql(db, sql.c_str())) {
            sqlite3_close(db);
            DeleteFileA(path.c_str());
            return false;
        }
    } else if (PragmaValue(db, "PRAGMA application_id") != kApplicationId ||
               PragmaValue(db, "PRAGMA user_version") != kSchemaVersion) {
        sqlite3_close(db);
        return false;
    }
    m_db = db;
    return true;
}

void CRightsDb::Close() {
    if (m_db) sqlite3_close(m_db);
    m_db = nullptr;
}

bool CRightsDb::Put(const RightsRecord& record) {
    CStatement st;
    return m_db && st.Prepare(m_db, kInsertSql) && InsertOrReplace(st, record);
}

bool CRightsDb::Find(const std::string& path, RightsRecord& record) {
    CStatement st;
    if (!m_db || !st.Prepare(m_db, "SELECT path, title, rights FROM rights WHERE path = ?1") || !st.BindText(1, path) ||
        st.Step() != SQLITE_ROW)
        return false;
    record.path = st.ColumnText(0);
    record.title = st.ColumnText(1);
    record.rights = st.ColumnBlob(2);
    return true;
}

bool CRightsDb::LoadAll(std::vector<RightsRecord>& records) {
    records.clear();
    CStatement st;
    if (!m_db || !st.Prepare(m_db, "SELECT path, title, rights FROM rights ORDER BY path")) return false;
    int rc;
    while ((rc = st.Step()) == SQLITE_ROW) {
        RightsRecord record;
        record.path = st.ColumnText(0);
        record.title = st.ColumnText(1);
        record.rights = st.ColumnBlob(2);
        records.push_back(std::move(record));
    }
    return rc == SQLITE_DONE;
}

bool CRightsDb::ReplaceAll(const std::vector<RightsRecord>& records) {
    if (!m_db || !ExecSql(m_db, "BEGIN IMMEDIATE")) return false;
    CStatement st;
    bool ok = ExecSql(m_db, "DELETE FROM rights") && st.Prepare(m_db, kInsertSql);
    for (size_t i = 0; ok && i < records.size(); ++i) ok = InsertOrReplace(st, records[i]);
    st.Finalize();
    if (ok && ExecSql(m_db, "COMMIT")) return true;
    ExecSql(m_db, "ROLLBACK");
    return false;
}

}  // namespace hostsim
