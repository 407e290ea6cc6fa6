#include "hostsim/core/StoredPath.h"

#include <vector>

#include "hostsim/core/LibraryDb.h"

namespace hostsim {

bool SetStoredPath(const std::string& contentsDb, unsigned track, unsigned picture, const std::string& path,
                   std::string& errorOut) {
    CLibraryDb db;
    std::vector<TrackRow> rows;
    if (!db.Open(contentsDb) || !db.LoadAll(rows)) {
        errorOut = "cannot read the library " + contentsDb;
        return false;
    }
    if (track == 0 || track > rows.size()) {
        errorOut = "the library has no track " + std::to_string(track) + " (it has " + std::to_string(rows.size()) + ")";
        return false;
    }
    TrackRow& row = rows[track - 1];
    if (picture == 0) {
        row.path = path;
    } else if (picture <= row.pictures.size()) {
        row.pictures[picture - 1] = path;
    } else {
        errorOut = "track " + std::to_string(track) + " has no picture " + std::to_string(picture);
        return false;
    }
    if (!db.Update(row)) {
        errorOut = "cannot write track " + std::to_string(track) + " of " + contentsDb;
        return false;
    }
    return true;
}

}  // namespace hostsim
