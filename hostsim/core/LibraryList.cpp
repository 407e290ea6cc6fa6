#include "hostsim/core/LibraryList.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "hostsim/core/HostIo.h"
#include "hostsim/core/LibraryDb.h"
#include "hostsim/core/RightsDb.h"

namespace hostsim {
namespace {

// Texts as they are, except control bytes (never part of a double-byte
// character) so that a line stays one line.
void AppendText(std::string& out, const std::string& text) {
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "<%02X>", u);
            out += escaped;
        } else {
            out += c;
        }
    }
}

bool IsAbsolute(const std::string& path) {
    return (path.size() >= 3 && path[1] == ':' && path[2] == '\\') || path.rfind("\\\\", 0) == 0;
}

const char* FileState(const std::string& path) {
    if (!IsAbsolute(path)) return "relative";
    return IsFile(path) ? "ok" : "missing";
}

}  // namespace

bool ListLibrary(const std::string& contentsDbPath, const std::string& secureCoreFolder, std::string& out,
                 std::string& errorOut) {
    out.clear();
    if (!IsFile(contentsDbPath)) {
        errorOut = "no library database at \"" + contentsDbPath + "\"";
        return false;
    }
    CLibraryDb db;
    std::vector<TrackRow> tracks;
    if (!db.Open(contentsDbPath) || !db.LoadAll(tracks)) {
        errorOut = "\"" + contentsDbPath + "\" cannot be read as a library database";
        return false;
    }
    db.Close();

    std::vector<RightsRecord> records;
    const char* rightsHeader = "rights none";
    if (!secureCoreFolder.empty()) {
        rightsHeader = "rights empty";
        if (IsFile(RightsDbPath(secureCoreFolder))) {
            CRightsDb rights;
            if (!rights.Open(secureCoreFolder, false) || !rights.LoadAll(records)) {
                errorOut = "\"" + RightsDbPath(secureCoreFolder) + "\" cannot be read as a rights database";
                return false;
            }
            rightsHeader = "rights";
        }
    }

    out.reserve(tracks.size() * 200);
    out += "hostsim library\r\n";
    char number[64];
    size_t n = 0;
    for (const TrackRow& t : tracks) {
        std::snprintf(number, sizeof(number), "track %lu\t", static_cast<unsigned long>(++n));
        out += number;
        AppendText(out, t.title);
        out += '\t';
        AppendText(out, t.path);
        std::snprintf(number, sizeof(number), "\tattr=0x%08lX\tstate=%lu\tfile=",
                      static_cast<unsigned long>(t.attributes), static_cast<unsigned long>(t.pictureState));
        out += number;
        out += FileState(t.path);
        for (const std::string& pic : t.pictures) {
            out += "\tpic=";
            AppendText(out, pic);
            out += "\tpicfile=";
            out += FileState(pic);
        }
        out += "\r\n";
    }
    std::snprintf(number, sizeof(number), "tracks %lu\r\n", static_cast<unsigned long>(tracks.size()));
    out += number;

    out += rightsHeader;
    out += "\r\n";
    for (const RightsRecord& r : records) {
        out += "right\t";
        AppendText(out, r.path);
        out += '\t';
        AppendText(out, r.title);
        out += '\t';
        for (BYTE b : r.rights) {
            std::snprintf(number, sizeof(number), "%02x", b);
            out += number;
        }
        out += "\r\n";
    }
    std::snprintf(number, sizeof(number), "rights-records %lu\r\n", static_cast<unsigned long>(records.size()));
    out += number;
    return true;
}

}  // namespace hostsim
