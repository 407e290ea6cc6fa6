#include "support/HostFixture.h"

#include <cstdio>
#include <map>

#include "common/PathUtil.h"
#include "hostsim/core/LibraryList.h"
#include "support/FileTree.h"
#include "support/HostRegistry.h"
#include "support/Sandbox.h"
#include "support/TestPaths.h"

namespace zrtest {

bool InstallHost(const std::string& root, hostsim::HostKind kind, unsigned major, unsigned minor,
                 hostsim::InstalledHost& host, bool relocate) {
    hostsim::InstallOptions options;
    options.host = kind;
    options.major = major;
    options.minor = minor;
    options.root = root;
    options.relocateDatabases = relocate;
    options.moduleSource = ExeFolder() + "\\NerithMediaLibrary.dll";
    std::string error;
    bool ok = hostsim::Install(options, host, error);
    EXPECT_TRUE(ok) << error;
    return ok;
}

bool MakeLibrary(hostsim::InstalledHost& host, const hostsim::LibraryOptions& options) {
    std::string error;
    bool ok = hostsim::CreateLibrary(host, options, error);
    EXPECT_TRUE(ok) << error;
    return ok;
}

bool InstallHostWithLibrary(const CSandbox& sandbox, const hostsim::LibraryOptions& library,
                            hostsim::InstalledHost& host, bool relocate, unsigned major, unsigned minor) {
    RedirectShellFolders(sandbox.Folder());
    return InstallHost(sandbox.Path("Host"), hostsim::HostKind::Talvane, major, minor, host, relocate) &&
           MakeLibrary(host, library);
}

::testing::AssertionResult BackUp(const std::string& backupData) {
    CJob job;
    HRESULT hr = job.Initialize();
    if (hr == 0) hr = zr::RunBackupSteps(job.engine, backupData, job.runner);
    if (hr == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "backup failed with 0x" << std::hex << static_cast<unsigned long>(hr);
}

HRESULT Restore(CJob& job, const std::string& backupData, const std::string& restoreTo) {
    HRESULT hr = job.Initialize();
    if (FAILED(hr)) return hr;
    job.plan = std::make_unique<zr::CRestorePlan>(backupData, restoreTo);
    return zr::RunRestoreSteps(job.engine, *job.plan, job.runner);
}

void ListRelocation(hostsim::InstalledHost& host, const std::string& folder) {
    SetRegString(HKEY_LOCAL_MACHINE, kNmlKey, "Db_Path_00_Old", host.libraryFolder + "\\databases");
    SetRegString(HKEY_LOCAL_MACHINE, kNmlKey, "Db_Path_00_New", folder);
    host.databasesFolder = folder;
    host.contentsDb = folder + "\\contents.db";
}

std::vector<hostsim::TrackRow> LoadTracks(const std::string& contentsDb) {
    hostsim::CLibraryDb db;
    std::vector<hostsim::TrackRow> rows;
    EXPECT_TRUE(db.Open(contentsDb)) << contentsDb;
    EXPECT_TRUE(db.LoadAll(rows));
    return rows;
}

std::string ListWithRights(const std::string& contentsDb, const std::string& coreFolder) {
    std::string text, error;
    EXPECT_TRUE(hostsim::ListLibrary(contentsDb, coreFolder, text, error)) << error;
    return text;
}

namespace {

// A file's bytes in a line of text: its size and a 64-bit FNV-1a digest.
std::string Digest(const std::string& bytes) {
    unsigned long long hash = 14695981039346656037ull;
    for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
    char text[48];
    std::snprintf(text, sizeof(text), "%zu %016llx", bytes.size(), hash);
    return text;
}

}  // namespace

std::string HostState(const hostsim::InstalledHost& host) {
    std::string state, error;
    if (!hostsim::ListLibrary(host.contentsDb, host.coreFolder, state, error, true)) state = "no library: " + error;
    auto add = [&state](const std::string& what, const std::map<std::string, std::string>& files) {
        for (const auto& file : files) state += what + "\t" + file.first + "\t" + Digest(file.second) + "\n";
    };
    add("playlist", Snapshot(host.playlistFolder));
    for (const std::string& file : {host.mirsDat, host.usrdicDic, host.producerRule}) {
        if (!file.empty() && FileExists(file)) state += "gui\t" + file + "\t" + Digest(ReadTextFile(file)) + "\n";
    }
    std::string serial;
    ReadRegString(HKEY_LOCAL_MACHINE, kNmlKey, "SD-TalvSerial", serial);
    state += "serial\t" + serial + "\n";
    add("music", Snapshot(host.musicRoot));
    add("media", Snapshot(host.mediaFolder));
    return state;
}

bool IsSecure(const hostsim::TrackRow& row) { return (row.attributes & (NM_ATTR_SECURE_A | NM_ATTR_SECURE_B)) != 0; }

zr::ItemCode ListedWith(const CJob& job, const std::string& title) {
    for (const zr::FailedItem& item : job.engine.FailedItems()) {
        if (item.title == title) return item.code;
    }
    return static_cast<zr::ItemCode>(0);
}

CBackedUpHost::CBackedUpHost() {
    m_library.tracks = 8;
    m_library.folders = 2;
    m_library.fileSize = 300;
    m_library.picturesPerTrack = 2;
    m_library.secureTracks = 2;
    m_library.missingTracks = 0;
}

void CBackedUpHost::SetUp() {
    ASSERT_TRUE(InstallHostWithLibrary(m_sandbox, m_library, m_host, m_relocate, m_major, m_minor));
    m_backupData = m_sandbox.Path("Backup\\BackupData");
    ASSERT_TRUE(BackUp(m_backupData));
    m_dest = m_sandbox.Path("Dest");
    MakeFolder(m_dest);
    m_hostBefore = HostState(m_host);
}

std::vector<hostsim::TrackRow> CBackedUpHost::BackupTracks() const {
    return LoadTracks(m_backupData + "\\DB\\NMLDB\\contents.db");
}

void CBackedUpHost::ExpectLibraryInside(const std::string& restoreData) {
    for (const hostsim::TrackRow& row : LoadTracks(m_host.contentsDb)) {
        EXPECT_TRUE(zr::IsSameOrInside(row.path, restoreData + "\\Data\\Audio")) << row.title << ": " << row.path;
        EXPECT_TRUE(FileExists(row.path)) << row.title << ": " << row.path;
        if (IsSecure(row)) continue;
        for (const std::string& picture : row.pictures) {
            EXPECT_TRUE(zr::IsSameOrInside(picture, restoreData + "\\Data\\Picture")) << row.title << ": " << picture;
            EXPECT_TRUE(FileExists(picture)) << row.title << ": " << picture;
        }
    }
}

std::vector<std::string> CBackedUpHost::DatabasesFolders() const {
    std::vector<std::string> names;
    for (const std::string& name : Names(zr::FolderPart(m_host.databasesFolder))) {
        if (name.rfind("databases", 0) == 0) names.push_back(name);
    }
    return names;
}

}  // namespace zrtest
