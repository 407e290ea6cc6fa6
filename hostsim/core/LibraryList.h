// A library as text, for tests and people to diff before and after a backup
// or restore. The output depends only on the database contents (and which
// content files exist), never on time or on the order SQLite happens to use.
//
// Format (ANSI text, CRLF line ends, fields separated by TAB):
//   hostsim library
//   track <n> TAB <title> TAB <path> TAB attr=0x<8 hex> TAB state=<n> TAB file=ok|missing|relative
//         [TAB pic=<path> TAB picfile=ok|missing|relative]...
//   tracks <count>
//   rights                          ("rights none" when no secure core folder was given,
//                                    "rights empty" when the folder has no rights database)
//   right TAB <path> TAB <title> TAB <rights bytes in hex>
//   rights-records <count>
// Paths of the databases are left out, so that a library and its copy list the same.
// Tracks come in the library's order and are numbered from 1; rights records
// come ordered by path. Control characters in texts are written as <XX>.
#pragma once

#include <string>

namespace hostsim {

bool ListLibrary(const std::string& contentsDbPath, const std::string& secureCoreFolder, std::string& out,
                 std::string& errorOut);

}  // namespace hostsim
