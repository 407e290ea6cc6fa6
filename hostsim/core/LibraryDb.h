// The stand-in host's library database: one SQLite file "contents.db".
// Strings cross this API in the ANSI code page (as the tool sees them) and are
// stored as UTF-8.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "hostsim/core/SqliteUtil.h"

struct sqlite3;

namespace hostsim {

struct TrackRow {
    long long id = 0;             // assigned by Insert
    std::string title;
    std::string path;             // as registered: absolute, or relative (folder\file)
    DWORD attributes = 0;         // NM_ATTR_* flags among others
    DWORD pictureState = 0;       // track property 3
    std::vector<std::string> pictures;  // picture file paths, in order
};

class CLibraryDb {
public:
    CLibraryDb() = default;
    ~CLibraryDb();
    CLibraryDb(const CLibraryDb&) = delete;
    CLibraryDb& operator=(const CLibraryDb&) = delete;

    // Creates a new empty database file (fails when the file exists).
    bool Create(const std::string& contentsDbPath);
    // Opens an existing database file; fails when it is missing or not a library.
    bool Open(const std::string& contentsDbPath);
    void Close();
    bool IsOpen() const { return m_db != nullptr; }

    // Writes between Begin and Commit go to disk together.
    bool Begin();
    bool Commit();
    bool Rollback();

    bool LoadAll(std::vector<TrackRow>& tracks);      // ordered by id
    bool Insert(TrackRow& track);                      // sets track.id
    bool Update(const TrackRow& track);                // title, path, attributes, picture state, pictures
    bool Remove(long long id);

private:
    bool PrepareStatements();
    bool WritePictures(long long id, const std::vector<std::string>& pictures);

    sqlite3* m_db = nullptr;
    // Prepared once per connection: registering tens of thousands of tracks
    // in one mount must not parse SQL per track.
    CStatement m_insertTrack;
    CStatement m_updateTrack;
    CStatement m_deleteTrack;
    CStatement m_deletePictures;
    CStatement m_insertPicture;
};

// The companion files a real library keeps beside contents.db.
extern const char* const kCompanionFiles[4];  // "mirs.db", "contents.fdb", "<guid>.hdb", "<guid>.cdb"

}  // namespace hostsim
