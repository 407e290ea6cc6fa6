// Fills an installed host's (empty) library with generated tracks: content
// files below a music root, picture files, secure tracks with their rights
// records, and tracks whose files are missing. Everything is deterministic:
// the same options give the same names, bytes and rows.
#pragma once

#include <string>

#include "hostsim/core/HostInstall.h"

namespace hostsim {

struct LibraryOptions {
    unsigned tracks = 20;          // N, including the special tracks below
    unsigned folders = 6;          // F source folders (fewer when there are fewer tracks)
    unsigned fileSize = 4096;      // content bytes per track file
    unsigned picturesPerTrack = 1; // K
    unsigned secureTracks = 2;     // M, alternately NM_ATTR_SECURE_A and NM_ATTR_SECURE_B
    unsigned missingTracks = 1;    // J, rows whose content file is never written
    bool driveRootTrack = false;   // one track at the root of the music root's drive
    std::string musicRoot;         // empty: the installation's root + "\Music"; must be absent or empty
};

struct LibrarySummary {
    unsigned tracks = 0;
    unsigned folders = 0;
    unsigned filesWritten = 0;     // content files
    unsigned picturesWritten = 0;  // distinct picture files
    unsigned secureTracks = 0;
    unsigned missingTracks = 0;
    std::string driveRootFile;
};

// Limits that keep a mistyped option from filling the disk.
constexpr unsigned kMaxTracks = 1000000;
constexpr unsigned kMaxFileSize = 64u * 1024 * 1024;
constexpr unsigned kMaxPicturesPerTrack = 16;

// Generates the library into `installed.contentsDb` (which must be empty) and
// remembers the music root and any drive-root file in `installed` and in the
// registry, so that Uninstall removes them. On failure the files, rows and
// records written so far are removed again and `errorOut` says why.
bool CreateLibrary(InstalledHost& installed, const LibraryOptions& options, std::string& errorOut,
                   LibrarySummary* summary = nullptr);

}  // namespace hostsim
