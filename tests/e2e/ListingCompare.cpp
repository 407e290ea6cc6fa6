#include "e2e/ListingCompare.h"

#include <cstdlib>
#include <map>

namespace zre2e {
namespace {

const unsigned long kSecureFlags = 0x08 | 0x10;

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    for (;;) {
        std::string::size_type at = text.find(separator, start);
        parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) return parts;
        start = at + separator.size();
    }
}

bool StartsWith(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

// "name=value" fields after the path: the track's own, then pictures in order.
bool ParseTrack(const std::vector<std::string>& fields, ListedTrack& track) {
    if (fields.size() < 6) return false;
    track.title = fields[1];
    track.path = fields[2];
    for (size_t i = 3; i < fields.size(); ++i) {
        const std::string& f = fields[i];
        std::string::size_type eq = f.find('=');
        if (eq == std::string::npos) return false;
        std::string name = f.substr(0, eq), value = f.substr(eq + 1);
        if (name == "attr") track.attr = value;
        else if (name == "file") track.file = value;
        else if (name == "sum") track.sum = value;
        else if (name == "pic") track.pictures.push_back(ListedPicture{value, "", ""});
        else if (name == "picfile" && !track.pictures.empty()) track.pictures.back().file = value;
        else if (name == "picsum" && !track.pictures.empty()) track.pictures.back().sum = value;
    }
    return !track.file.empty();
}

}  // namespace

bool ParseListing(const std::string& text, Listing& out, std::string& error) {
    out = Listing();
    std::vector<std::string> lines = Split(text, "\r\n");
    if (lines.empty() || lines[0] != "hostsim library") {
        error = "not a hostsim listing";
        return false;
    }
    bool tracksEnd = false, rightsEnd = false;
    for (size_t n = 1; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        if (line.empty()) continue;
        std::vector<std::string> fields = Split(line, "\t");
        if (StartsWith(line, "track ")) {
            ListedTrack track;
            if (!ParseTrack(fields, track)) {
                error = "bad track line " + std::to_string(n + 1);
                return false;
            }
            out.tracks.push_back(track);
        } else if (StartsWith(line, "right\t") && fields.size() == 4) {
            out.rights.push_back(ListedRight{fields[1], fields[2], fields[3]});
        } else if (StartsWith(line, "tracks ")) {
            tracksEnd = std::to_string(out.tracks.size()) == line.substr(7);
        } else if (StartsWith(line, "rights-records ")) {
            rightsEnd = std::to_string(out.rights.size()) == line.substr(15);
        }
    }
    if (!tracksEnd || !rightsEnd) {
        error = "the listing is cut short or its counts do not match";
        return false;
    }
    return true;
}

ListingComparison CompareListings(const Listing& before, const Listing& after, const std::string& leftOut) {
    ListingComparison c;
    c.tracksBefore = before.tracks.size();
    c.tracksAfter = after.tracks.size();
    c.rightsBefore = before.rights.size();
    c.rightsAfter = after.rights.size();

    // Titles of the generated library are unique; equal titles pair in order.
    std::multimap<std::string, const ListedTrack*> unmatched;
    for (const ListedTrack& t : after.tracks) unmatched.emplace(t.title, &t);

    for (const ListedTrack& b : before.tracks) {
        auto it = unmatched.find(b.title);
        const ListedTrack* a = it == unmatched.end() ? nullptr : it->second;
        if (a) unmatched.erase(it);
        if (!leftOut.empty() && b.title == leftOut) {
            if (a) {
                c.problems.push_back(b.title + ": in the restored library though its path was refused (" + a->path + ")");
            } else {
                ++c.leftOut;
            }
            continue;
        }
        if (b.file != "ok") {
            c.notBackedUp.push_back(b.title);
            continue;
        }
        ++c.expected;
        if (!a) {
            c.problems.push_back(b.title + ": not in the restored library");
            continue;
        }
        ++c.present;
        if (a->attr != b.attr) c.problems.push_back(b.title + ": attributes " + b.attr + " became " + a->attr);
        if (a->file != "ok") {
            c.problems.push_back(b.title + ": its file is not there (" + a->path + ")");
            continue;
        }
        ++c.fileThere;
        if (b.sum.empty() || a->sum != b.sum) {
            c.problems.push_back(b.title + ": its bytes differ (" + a->path + ")");
            continue;
        }
        ++c.bytesEqual;
        // A restore re-points the pictures of ordinary tracks into the restored
        // folder; a secure track keeps its pictures' paths, told apart here.
        const bool secure = (std::strtoul(b.attr.c_str(), nullptr, 16) & kSecureFlags) != 0;
        for (size_t i = 0; i < b.pictures.size(); ++i) {
            const bool there = i < a->pictures.size() && a->pictures[i].file == "ok";
            if (secure) {
                ++c.securePictures;
                if (there) ++c.securePicturesThere;
                continue;
            }
            ++c.pictures;
            if (!there) {
                c.problems.push_back(b.title + ": picture " + std::to_string(i + 1) + " is not there");
                continue;
            }
            ++c.picturesThere;
            if (a->pictures[i].sum != b.pictures[i].sum) {
                c.problems.push_back(b.title + ": picture " + std::to_string(i + 1) + " has other bytes (" +
                                     a->pictures[i].path + ")");
                continue;
            }
            ++c.picturesEqual;
        }
    }
    for (const auto& left : unmatched)
        c.problems.push_back(left.first + ": in the restored library but not in the backed-up one");

    std::multimap<std::string, const ListedRight*> rightsAfter;
    for (const ListedRight& r : after.rights) rightsAfter.emplace(r.title + "\t" + r.rights, &r);
    for (const ListedRight& r : before.rights) {
        auto it = rightsAfter.find(r.title + "\t" + r.rights);
        if (it == rightsAfter.end()) {
            c.problems.push_back(r.title + ": its rights record was not restored");
            continue;
        }
        rightsAfter.erase(it);
        ++c.rightsKept;
    }
    return c;
}

}  // namespace zre2e
