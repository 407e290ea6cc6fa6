// The stand-in host's listings (hostsim list --digest) of a library before a
// backup and after its restore on another PC, compared track by track. Paths
// differ after a restore, so tracks are matched by title; the assertion is
// the one a user cares about: every track whose file was there is present,
// its file is there and its bytes are equal, and so are the pictures of every
// track without a secure flag.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zre2e {

struct ListedPicture {
    std::string path, file, sum;
};

struct ListedTrack {
    std::string title, path, attr, file, sum;
    std::vector<ListedPicture> pictures;
};

struct ListedRight {
    std::string path, title, rights;
};

struct Listing {
    std::vector<ListedTrack> tracks;
    std::vector<ListedRight> rights;
};

// False with a message when the text is not a listing.
bool ParseListing(const std::string& text, Listing& out, std::string& error);

struct ListingComparison {
    size_t tracksBefore = 0, tracksAfter = 0;
    size_t expected = 0;    // tracks whose file was there before
    size_t present = 0, fileThere = 0, bytesEqual = 0;
    std::vector<std::string> notBackedUp;  // titles whose file was missing before
    // Pictures of present tracks without a secure flag (asserted), and of secure ones (told).
    size_t pictures = 0, picturesThere = 0, picturesEqual = 0;
    size_t securePictures = 0, securePicturesThere = 0;
    size_t rightsBefore = 0, rightsAfter = 0, rightsKept = 0;
    size_t leftOut = 0;  // the named track, absent from the restored library as it must be
    std::vector<std::string> problems;  // one line each; empty when the restore is whole

    bool Passed() const { return problems.empty(); }
};

// leftOut: the title of a track whose stored path was made hostile in the
// backup; the restore must leave it out of the restored library.
ListingComparison CompareListings(const Listing& before, const Listing& after,
                                  const std::string& leftOut = std::string());

}  // namespace zre2e
