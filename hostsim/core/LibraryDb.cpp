#include "hostsim/core/LibraryDb.h"

#include <sqlite3.h>

namespace hostsim {

const char* const kCompanionFiles[4] = {"mirs.db", "contents.fdb", "5e1b9c37-2d84-4a6f-9c03-7b2e6f18d4a5.hdb",
                                        "5e1b9c37-2d84-4a6f-9c03-7b2e6f18d4a5.cdb"};

namespace {

// Marks a file as ours, so that any other SQLite file is refused as "not a library".
constexpr long long kApplicationId = 0x48534C42;  // "HSLB"
constexpr long long kSchemaVersion = 1;

const char kSchema[] =
    "CREATE TABLE tracks(id INTEGER PRIMARY KEY, title TEXT NOT NULL, path TEXT NOT NULL,"
    " attributes INTEGER NOT NULL, picture_state INTEGER NOT NULL);"
    "CREATE TABLE pictures(track_id INTEGER NOT NULL, position INTEGER NOT NULL, path TEXT NOT NULL,"
    " PRIMARY KEY(track_id, position)) WITHOUT ROWID;";

long long PragmaValue(sqlite3* db, const char* sql) {
    CStatement st;
    if (!st.Prepare(db, sql) || st.Step() != SQLITE_ROW) return -1;
    return st.ColumnInt64(0);
}

// A savepoint makes each multi-statement write all-or-nothing, inside or
// outside an explicit transaction.
class CSavepoint {
public:
    explicit CSavepoint(sqlite3* db) : m_db(db), m_open(ExecSql(db, "SAVEPOINT track_write")) {}
    ~CSavepoint() {
        if (m_open) ExecSql(m_db, "ROLLBACK TO track_write; RELEASE track_write");
    }
    bool IsOpen() const { return m_open; }
    bool Release() {
        if (!m_open || !ExecSql(m_db, "RELEASE track_write")) return false;
        m_open = false;
        return true;
    }

private:
    sqlite3* m_db;
    bool m_open;
};

}  // namespace

CLibraryDb::~CLibraryDb() { Close(); }

bool CLibraryDb::Create(const std::string& contentsDbPath) {
    if (m_db || FileExistsA(contentsDbPath)) return false;
    sqlite3* db = nullptr;
    if (OpenSqliteFile(contentsDbPath, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, &db) != SQLITE_OK) return false;
    std::string sql = "BEGIN;" + std::string(kSchema) + "PRAGMA application_id = " + std::to_string(kApplicationId) +
                      "; PRAGMA user_version = " + std::to_string(kSchemaVersion) + "; COMMIT;";
    if (!ExecSql(db, sql.c_str())) {
        sqlite3_close(db);
        DeleteFileA(contentsDbPath.c_str());
        return false;
    }
    m_db = db;
    if (!PrepareStatements()) {
        Close();
        return false;
    }
    return true;
}

bool CLibraryDb::Open(const std::string& contentsDbPath) {
    if (m_db || !FileExistsA(contentsDbPath)) return false;
    sqlite3* db = nullptr;
    if (OpenSqliteFile(contentsDbPath, SQLITE_OPEN_READWRITE, &db) != SQLITE_OK) return false;
    // Reading the header pragmas writes nothing, so a foreign file stays as it was.
    if (PragmaValue(db, "PRAGMA application_id") != kApplicationId ||
        PragmaValue(db, "PRAGMA user_version") != kSchemaVersion) {
        sqlite3_close(db);
        return false;
    }
    m_db = db;
    if (!PrepareStatements()) {
        Close();
        return false;
    }
    return true;
}

bool CLibraryDb::PrepareStatements() {
    return m_insertTrack.Prepare(m_db,
                                 "INSERT INTO tracks(title, path, attributes, picture_state) VALUES(?1, ?2, ?3, ?4)") &&
           m_updateTrack.Prepare(
               m_db, "UPDATE tracks SET title = ?2, path = ?3, attributes = ?4, picture_state = ?5 WHERE id = ?1") &&
           m_deleteTrack.Prepare(m_db, "DELETE FROM tracks WHERE id = ?1") &&
           m_deletePictures.Prepare(m_db, "DELETE FROM pictures WHERE track_id = ?1") &&
           m_insertPicture.Prepare(m_db, "INSERT INTO pictures(track_id, position, path) VALUES(?1, ?2, ?3)");
}

void CLibraryDb::Close() {
    m_insertTrack.Finalize();
    m_updateTrack.Finalize();
    m_deleteTrack.Finalize();
    m_deletePictures.Finalize();
    m_insertPicture.Finalize();
    if (m_db) sqlite3_close(m_db);  // an open transaction is rolled back
    m_db = nullptr;
}

bool CLibraryDb::Begin() { return m_db && ExecSql(m_db, "BEGIN IMMEDIATE"); }
bool CLibraryDb::Commit() { return m_db && ExecSql(m_db, "COMMIT"); }
bool CLibraryDb::Rollback() { return m_db && ExecSql(m_db, "ROLLBACK"); }

bool CLibraryDb::LoadAll(std::vector<TrackRow>& tracks) {
    tracks.clear();
    if (!m_db) return false;
    CStatement st;
    if (!st.Prepare(m_db, "SELECT id, title, path, attributes, picture_state FROM tracks ORDER BY id")) return false;
    int rc;
    while ((rc = st.Step()) == SQLITE_ROW) {
        TrackRow row;
        row.id = st.ColumnInt64(0);
        row.title = st.ColumnText(1);
        row.path = st.ColumnText(2);
        row.attributes = static_cast<DWORD>(st.ColumnInt64(3));
        row.pictureState = static_cast<DWORD>(st.ColumnInt64(4));
        tracks.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) return false;

    // Both lists are ordered by track id: one merge pass attaches the pictures.
    if (!st.Prepare(m_db, "SELECT track_id, path FROM pictures ORDER BY track_id, position")) return false;
    size_t next = 0;
    while ((rc = st.Step()) == SQLITE_ROW) {
        long long id = st.ColumnInt64(0);
        while (next < tracks.size() && tracks[next].id < id) ++next;
        if (next < tracks.size() && tracks[next].id == id) tracks[next].pictures.push_back(st.ColumnText(1));
    }
    return rc == SQLITE_DONE;
}

bool CLibraryDb::WritePictures(long long id, const std::vector<std::string>& pictures) {
    m_deletePictures.Reset();
    if (!m_deletePictures.BindInt64(1, id) || !m_deletePictures.Run()) return false;
    long long position = 0;
    for (const std::string& picture : pictures) {
        m_insertPicture.Reset();
        if (!m_insertPicture.BindInt64(1, id) || !m_insertPicture.BindInt64(2, ++position) ||
            !m_insertPicture.BindText(3, picture) || !m_insertPicture.Run())
            return false;
    }
    return true;
}

bool CLibraryDb::Insert(TrackRow& track) {
    if (!m_db) return false;
    CSavepoint sp(m_db);
    if (!sp.IsOpen()) return false;
    m_insertTrack.Reset();
    if (!m_insertTrack.BindText(1, track.title) || !m_insertTrack.BindText(2, track.path) ||
        !m_insertTrack.BindInt64(3, track.attributes) || !m_insertTrack.BindInt64(4, track.pictureState) ||
        !m_insertTrack.Run())
        return false;
    long long id = sqlite3_last_insert_rowid(m_db);
    if (!WritePictures(id, track.pictures) || !sp.Release()) return false;
    track.id = id;
    return true;
}

bool CLibraryDb::Update(const TrackRow& track) {
    if (!m_db) return false;
    CSavepoint sp(m_db);
    if (!sp.IsOpen()) return false;
    m_updateTrack.Reset();
    if (!m_updateTrack.BindInt64(1, track.id) || !m_updateTrack.BindText(2, track.title) ||
        !m_updateTrack.BindText(3, track.path) || !m_updateTrack.BindInt64(4, track.attributes) ||
        !m_updateTrack.BindInt64(5, track.pictureState) || !m_updateTrack.Run() || sqlite3_changes(m_db) != 1)
        return false;
    return WritePictures(track.id, track.pictures) && sp.Release();
}

bool CLibraryDb::Remove(long long id) {
    if (!m_db) return false;
    CSavepoint sp(m_db);
    if (!sp.IsOpen()) return false;
    m_deleteTrack.Reset();
    if (!m_deleteTrack.BindInt64(1, id) || !m_deleteTrack.Run() || sqlite3_changes(m_db) != 1) return false;
    return WritePictures(id, {}) && sp.Release();
}

}  // namespace hostsim
