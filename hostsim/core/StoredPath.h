// Rewrites one stored path of a library database in place: a track's own
// path or one of its pictures'. Tests and the end-to-end run use it to hand
// the tool a crafted backup (the backup's DB\NMLDB\contents.db).
#pragma once

#include <string>

namespace hostsim {

// track counts from 1 in the library's order, as the listing numbers it;
// picture 0 is the track's own path, 1 and on its pictures in order. False
// with a message when the database, the track or the picture is not there.
bool SetStoredPath(const std::string& contentsDb, unsigned track, unsigned picture, const std::string& path,
                   std::string& errorOut);

}  // namespace hostsim
