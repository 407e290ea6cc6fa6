// The stand-in secure core's rights database: one SQLite file in the secure
// core's folder, one record per secure content file. The Move component saves
// and loads it through the backup stream; the library generator fills it and
// the listing tool prints it. Strings are ANSI on this side, UTF-8 on disk.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct sqlite3;

namespace hostsim {

struct RightsRecord {
    std::string path;          // content file path, as the library stores it; the key (ASCII case ignored)
    std::string title;
    std::vector<BYTE> rights;  // opaque licence bytes
};

// File name of the rights database inside the secure core's folder.
extern const char kRightsDbFile[];  // "MoveRights.db"

// coreFolder + "\" + kRightsDbFile (coreFolder may end in a backslash).
std::string RightsDbPath(const std::string& coreFolder);

class CRightsDb {
public:
    CRightsDb() = default;
    ~CRightsDb();
    CRightsDb(const CRightsDb&) = delete;
    CRightsDb& operator=(const CRightsDb&) = delete;

    // Opens the rights database of a secure core folder. With create, a missing
    // file is made (the folder must exist); without, a missing file fails.
    // Fails for a file that is not a rights database.
    bool Open(const std::string& coreFolder, bool create);
    void Close();
    bool IsOpen() const { return m_db != nullptr; }

    bool Put(const RightsRecord& record);  // adds, or replaces the record of the same path
    bool Find(const std::string& path, RightsRecord& record);  // false when absent
    bool LoadAll(std::vector<RightsRecord>& records);           // ordered by path
    // The database afterwards holds exactly these records; all or nothing.
    bool ReplaceAll(const std::vector<RightsRecord>& records);

private:
    sqlite3* m_db = nullptr;
};

}  // namespace hostsim
