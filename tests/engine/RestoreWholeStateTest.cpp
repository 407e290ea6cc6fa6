// A restore never leaves the host half-changed. Through the job's own step
// sequence and its record, as the progress dialog runs it: a backup without
// rights, a library held open by another program, the stand-in's rights
// import failing before or after it replaced the rights, the backup taken
// away once copied. And a restore stopped at each change it makes, then put
// right at the next start. Every row ends with the host in one whole state,
// the old one or the restored one: its library, its rights records, its
// secure files and its GUI data belong together.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>

#include "FileFaults.h"
#include "app/App.h"
#include "common/PathUtil.h"
#include "engine/JobJournal.h"
#include "engine/Recovery.h"
#include "hostsim/core/Faults.h"
#include "hostsim/core/RightsDb.h"
#include "resource.h"
#include "common/ResString.h"
#include "support/FileTree.h"
#include "support/HostFixture.h"
#include "support/HostRegistry.h"

namespace {

using enginetest::CFileFaults;
using enginetest::FileCall;
using enginetest::FileOp;
using hostsim::TrackRow;

constexpr HRESULT RC(unsigned long code) { return static_cast<HRESULT>(code); }

std::string RightsPart(const std::string& listing) {
    const std::size_t at = listing.find("\r\nrights");
    return at == std::string::npos ? listing : listing.substr(at);
}

// The host after its backup was made, changed so that its state and the
// backup's tell apart: other GUI data, another serial, no rights records.
class RestoreWhole : public zrtest::CBackedUpHost {
protected:
    void SetUp() override {
        CBackedUpHost::SetUp();
        if (HasFatalFailure()) return;
        m_backupRights = RightsPart(zrtest::ListWithRights(m_host.contentsDb, m_host.coreFolder));
        m_backupMirs = zrtest::ReadTextFile(m_backupData + "\\GUI(new)\\mirs.dat");
        m_backupSerial = m_host.serial;
        for (const TrackRow& row : zrtest::LoadTracks(m_host.contentsDb)) {
            if (zrtest::FileExists(row.path)) m_content[row.title] = zrtest::ReadTextFile(row.path);
            if (zrtest::IsSecure(row)) m_oldSecure.push_back(row.path);
        }
        zrtest::WriteTextFile(m_host.mirsDat, "changed since the backup");
        zrtest::SetSerial("CHANGED-SERIAL");
        hostsim::CRightsDb rights;
        ASSERT_TRUE(rights.Open(m_host.coreFolder, false));
        ASSERT_TRUE(rights.ReplaceAll({}));
        m_old = zrtest::HostState(m_host);
        m_oldRights = RightsPart(zrtest::ListWithRights(m_host.contentsDb, m_host.coreFolder));
        ASSERT_NE(m_backupRights, RightsPart(zrtest::ListWithRights(m_host.contentsDb, m_host.coreFolder)));
    }

    // The host as it was before the restore, to the byte.
    bool IsOld() const { return zrtest::HostState(m_host) == m_old; }

    // The host as the restore makes it: every track of the backup in the
    // live library at its file below RestoreData, the backup's rights, GUI
    // data and serial.
    ::testing::AssertionResult IsRestored(bool backupsRights = true) const {
        const std::vector<TrackRow> live = zrtest::LoadTracks(m_host.contentsDb);
        if (live.size() != m_content.size()) return ::testing::AssertionFailure() << live.size() << " tracks";
        for (const TrackRow& row : live) {
            if (!zr::IsSameOrInside(row.path, m_dest + "\\RestoreData")) {
                return ::testing::AssertionFailure() << row.path << " is not in RestoreData";
            }
            if (!zrtest::FileExists(row.path) || zrtest::ReadTextFile(row.path) != m_content.at(row.title)) {
                return ::testing::AssertionFailure() << row.path << " is not the track's file";
            }
        }
        const std::string rights = RightsPart(zrtest::ListWithRights(m_host.contentsDb, m_host.coreFolder));
        if (backupsRights && rights != m_backupRights) {
            return ::testing::AssertionFailure() << "the rights are not the backup's";
        }
        // A backup without rights leaves the host's (here none).
        if (!backupsRights && rights != m_oldRights) {
            return ::testing::AssertionFailure() << "the host's rights changed: " << rights;
        }
        if (zrtest::ReadTextFile(m_host.mirsDat) != m_backupMirs) return ::testing::AssertionFailure() << "GUI data";
        std::string serial;
        zrtest::ReadRegString(HKEY_LOCAL_MACHINE, zrtest::kNmlKey, "SD-TalvSerial", serial);
        if (serial != m_backupSerial) return ::testing::AssertionFailure() << "serial " << serial;
        return ::testing::AssertionSuccess();
    }

    // What a restore leaves beside what it made: nothing but the replaced
    // library beside the live one, one RestoreData in the destination. Names
    // of the user's own (`mine`) are left out of the look.
    void ExpectNoLeftovers(bool restored, const std::set<std::string>& mine = {}) {
        auto without = [&mine](std::vector<std::string> names) {
            names.erase(std::remove_if(names.begin(), names.end(), [&mine](const std::string& n) { return mine.count(n) > 0; }),
                        names.end());
            return names;
        };
        EXPECT_EQ(restored ? (std::vector<std::string>{"databases", "databases.bak"})
                           : std::vector<std::string>{"databases"},
                  without(DatabasesFolders()));
        EXPECT_EQ(restored ? std::vector<std::string>{"RestoreData"} : std::vector<std::string>{},
                  without(zrtest::Names(m_dest)));
        std::vector<std::string> gui;
        for (const std::string& name : without(zrtest::Names(zr::FolderPart(m_host.mirsDat)))) {
            if (name.find(".tmp") != std::string::npos || name.find(".bak") != std::string::npos) gui.push_back(name);
        }
        EXPECT_EQ(std::vector<std::string>{}, gui);
        EXPECT_EQ(0u, zr::CJobJournal::ReadLeftRecords().size()) << "a record was left";
    }

    // A restore as the progress dialog runs it: its record kept as it goes,
    // its end putting right what the record names.
    HRESULT RunRestore(zrtest::CJob& job, zr::IJournal* journalAround = nullptr) {
        zr::CJobJournal journal;
        EXPECT_TRUE(journal.Open("restore", {m_backupData, m_dest}));
        m_journal = journalAround ? journalAround : &journal;
        m_inner = &journal;
        CRecordingRunner runner(*this);
        HRESULT hr = job.engine.Initialize(runner);
        if (hr == 0) hr = zr::RunRestoreSteps(job.engine, m_backupData, m_dest, runner);
        job.engine.ReleaseJob();
        m_listed = job.engine.FailedItems();
        zr::EndJobRecord(journal, hr == zr::RC_OK);
        return hr;
    }

    struct CRecordingRunner : zrtest::CStepsOnly {
        explicit CRecordingRunner(RestoreWhole& test) : m_test(test) {}
        zr::IJournal* Journal() override { return m_test.m_journal; }
        RestoreWhole& m_test;
    };

    std::string m_old;
    std::string m_oldRights;
    std::string m_backupRights;
    std::string m_backupMirs;
    std::string m_backupSerial;
    std::map<std::string, std::string> m_content;  // title -> the track's bytes
    std::vector<std::string> m_oldSecure;          // the host's secure tracks' files
    std::vector<zr::FailedItem> m_listed;
    zr::IJournal* m_journal = nullptr;
    zr::CJobJournal* m_inner = nullptr;
};

// ---- The table

struct WholeRow {
    const char* name;
    void (*arrange)(RestoreWhole& test, std::unique_ptr<CFileFaults>& faults, HANDLE& held);
    HRESULT expected;
    bool restored;          // else the old state
    bool finishedAtStart;   // the job ends failed; the next start takes it to its end
};

void PrintTo(const WholeRow& row, std::ostream* os) { *os << row.name; }

void Nothing(RestoreWhole&, std::unique_ptr<CFileFaults>&, HANDLE&) {}
void Fault(const char* name) { zrtest::SetRegString(HKEY_LOCAL_MACHINE, hostsim::kFaultsKey, name, "0x80004005"); }

// The row's own arrangements, with what they need of the fixture.
struct Arrange : RestoreWhole {
    static void NoRights(RestoreWhole& t, std::unique_ptr<CFileFaults>&, HANDLE&) {
        ASSERT_TRUE(DeleteFileA((Backup(t) + "\\DB\\SDCOREDB\\MovePlugIn.bkd").c_str()));
    }
    // Another program holds the live library's folder open, without leave to move it.
    static void LibraryHeldOpen(RestoreWhole& t, std::unique_ptr<CFileFaults>&, HANDLE& held) {
        held = CreateFileA(Live(t).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, held);
    }
    static void RightsNotApplied(RestoreWhole&, std::unique_ptr<CFileFaults>&, HANDLE&) { Fault("ApplyImport"); }
    static void ImportNotEnded(RestoreWhole&, std::unique_ptr<CFileFaults>&, HANDLE&) { Fault("EndImport"); }
    // The medium with the backup is pulled out once the copy is done: the
    // live library going aside is the first move after it.
    static void BackupGoneAfterTheCopy(RestoreWhole& t, std::unique_ptr<CFileFaults>& faults, HANDLE&) {
        const std::string backup = Backup(t), live = Live(t);
        auto gone = std::make_shared<bool>(false);
        faults = std::make_unique<CFileFaults>([backup, live, gone](const FileCall& c, int) {
            if (!*gone && c.op == FileOp::MoveFile && zr::FoldCase(c.path) == zr::FoldCase(live)) {
                *gone = true;
                // Through the wide call, which the faults do not watch.
                const std::wstring from(backup.begin(), backup.end()), to = from + L".pulled";
                if (!MoveFileExW(from.c_str(), to.c_str(), 0)) ADD_FAILURE() << "the backup was not taken away: " << GetLastError();
            }
            return false;
        });
    }
    static std::string Backup(RestoreWhole& t) { return static_cast<Arrange&>(t).m_backupData; }
    static std::string Live(RestoreWhole& t) { return static_cast<Arrange&>(t).m_host.databasesFolder; }
};

const WholeRow kRows[] = {
    {"Whole", Nothing, 0, true, false},
    {"NoRightsInTheBackup", Arrange::NoRights, 0, true, false},
    {"LibraryHeldOpenByAnotherProgram", Arrange::LibraryHeldOpen, RC(0x86FF000A), false, false},
    {"RightsImportNotApplied", Arrange::RightsNotApplied, RC(0x80004005), false, false},
    // The rights were replaced before the component failed: the restore goes
    // to its end, and says it failed.
    {"RightsImportNotEnded", Arrange::ImportNotEnded, RC(0x80004005), true, false},
    {"BackupTakenAwayAfterTheCopy", Arrange::BackupGoneAfterTheCopy, 0, true, false},
};

class RestoreWholeRows : public RestoreWhole, public ::testing::WithParamInterface<WholeRow> {};

TEST_P(RestoreWholeRows, LeavesTheHostOldOrRestoredWhole) {
    const WholeRow& row = GetParam();
    std::unique_ptr<CFileFaults> faults;
    HANDLE held = INVALID_HANDLE_VALUE;
    row.arrange(*this, faults, held);
    if (HasFatalFailure()) return;
    HRESULT hr;
    {
        zrtest::CJob job;
        hr = RunRestore(job);
    }
    const bool pulled = zrtest::FolderExists(m_backupData + ".pulled");
    faults.reset();
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    EXPECT_EQ(row.arrange == Arrange::BackupGoneAfterTheCopy, pulled) << "the backup was not taken away";
    EXPECT_EQ(row.expected, hr) << std::hex << hr;
    // The backup pulled out comes back, as a person plugs the medium in again.
    MoveFileA((m_backupData + ".pulled").c_str(), m_backupData.c_str());

    if (row.finishedAtStart) {
        EXPECT_FALSE(IsRestored()) << "the job itself finished";
        bool incomplete = true;
        EXPECT_EQ(zr::LoadResString(IDS_RECOVERED_RESTORE_FINISHED), zr::CZuderaRurarizIdirApp::PutRightStoppedJobs(incomplete));
        EXPECT_FALSE(incomplete);
    }
    // Without rights from the backup the host keeps its own, and with them
    // the replaced library's secure files, which are listed.
    const bool rightsKept = row.arrange == Arrange::NoRights;
    if (row.restored) {
        EXPECT_TRUE(IsRestored(!rightsKept));
    } else {
        EXPECT_TRUE(IsOld()) << "the host changed";
    }
    ExpectNoLeftovers(row.restored);

    std::size_t listedKept = 0;
    for (const zr::FailedItem& item : m_listed) listedKept += item.code == zr::ItemCode::KeptNoRights;
    EXPECT_EQ(rightsKept ? m_oldSecure.size() : 0u, listedKept);
    for (const std::string& file : m_oldSecure) EXPECT_EQ(!row.restored || rightsKept, zrtest::FileExists(file)) << file;
}

INSTANTIATE_TEST_SUITE_P(Rows, RestoreWholeRows, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<WholeRow>& info) { return std::string(info.param.name); });

// ---- Stopped at each change: the record names the change, the change is
// not made, the process is gone. The next start puts the host in one whole
// state, says what it did, and touches nothing the record does not name.

struct CStopAtRecord : zr::IJournal {
    explicit CStopAtRecord(int stopAt) : m_nStopAt(stopAt) {}
    struct Stopped {};
    bool Record(Op op, const std::string& path, const std::string& to) override {
        const bool ok = m_pInner->Record(op, path, to);
        Count();
        return ok;
    }
    bool Mark(const std::string& mark) override {
        const bool ok = m_pInner->Mark(mark);
        Count();
        return ok;
    }
    void Count() {
        if (++m_nRecords == m_nStopAt) throw Stopped{};
    }
    zr::CJobJournal* m_pInner = nullptr;
    int m_nStopAt;
    int m_nRecords = 0;
};

// A whole restore records fourteen changes and two marks around the rights
// (one without rights in its backup: twelve changes, no marks); stopped at
// each of them in turn, and not at all.
struct StopRow {
    bool rights;  // the backup holds MovePlugIn.bkd
    int stopAt;   // past the last record: not stopped
    int records;  // what a whole restore of that backup records
};

void PrintTo(const StopRow& row, std::ostream* os) {
    *os << (row.rights ? "with rights" : "without rights") << ", stopped at record " << row.stopAt;
}

class RestoreStopped : public RestoreWhole, public ::testing::WithParamInterface<StopRow> {};

TEST_P(RestoreStopped, IsPutRightAtTheNextStart) {
    const int stopAt = GetParam().stopAt;
    if (!GetParam().rights) {
        ASSERT_TRUE(DeleteFileA((m_backupData + "\\DB\\SDCOREDB\\MovePlugIn.bkd").c_str()));
    }
    // Names like the working names that no record names: never touched.
    const std::vector<std::string> decoys = {m_host.databasesFolder + ".tmp00007", m_dest + "\\RestoreData00009",
                                             m_host.playlistFolder + ".tmp00003"};
    std::set<std::string> mine;
    for (const std::string& decoy : decoys) {
        zrtest::MakeTextFile(decoy + "\\mine.txt", "the user's");
        mine.insert(zr::FileNamePart(decoy));
    }
    bool stopped = false;
    int records = 0;
    {
        zrtest::CJob job;
        zr::CJobJournal journal;
        ASSERT_TRUE(journal.Open("restore", {m_backupData, m_dest}));
        CStopAtRecord stop(stopAt);
        stop.m_pInner = &journal;
        m_journal = &stop;
        CRecordingRunner runner(*this);
        ASSERT_EQ(0, job.engine.Initialize(runner));
        try {
            EXPECT_EQ(0, zr::RunRestoreSteps(job.engine, m_backupData, m_dest, runner));
            zr::EndJobRecord(journal, true);
        } catch (const CStopAtRecord::Stopped&) {
            stopped = true;
            journal.Keep();  // the process is gone: its record stays as it was
        }
        records = stop.m_nRecords;
        job.engine.ReleaseJob();
    }
    bool afterTheRights = false;
    for (const zr::JournalRecord& record : zr::CJobJournal::ReadLeftRecords()) {
        afterTheRights = afterTheRights || zr::RestoreMustFinish(record);
    }
    bool incomplete = true;
    const std::string message = zr::CZuderaRurarizIdirApp::PutRightStoppedJobs(incomplete);
    EXPECT_FALSE(incomplete);
    if (!stopped) {
        // The restore ran whole: nothing to put right, nothing said.
        EXPECT_EQ(GetParam().records + 1, stopAt) << "a whole restore records " << records << " changes";
        EXPECT_EQ("", message);
    } else {
        EXPECT_EQ(zr::LoadResString(afterTheRights ? IDS_RECOVERED_RESTORE_FINISHED : IDS_RECOVERED_RESTORE_UNDONE),
                  message);
    }
    const bool restored = !stopped || afterTheRights;
    if (restored) {
        EXPECT_TRUE(IsRestored(GetParam().rights));
    } else {
        EXPECT_TRUE(IsOld()) << "the host changed";
    }
    ExpectNoLeftovers(restored, mine);
    for (const std::string& decoy : decoys) EXPECT_EQ("the user's", zrtest::ReadTextFile(decoy + "\\mine.txt"));
    // A second start finds nothing and says nothing.
    EXPECT_EQ("", zr::CZuderaRurarizIdirApp::PutRightStoppedJobs(incomplete));
}

std::vector<StopRow> StopRows() {
    std::vector<StopRow> rows;
    for (bool rights : {true, false}) {
        const int records = rights ? 16 : 13;
        for (int stopAt = 1; stopAt <= records + 1; ++stopAt) rows.push_back(StopRow{rights, stopAt, records});
    }
    return rows;
}

INSTANTIATE_TEST_SUITE_P(AtRecord, RestoreStopped, ::testing::ValuesIn(StopRows()),
                         [](const ::testing::TestParamInfo<StopRow>& info) {
                             return std::string(info.param.rights ? "WithRights" : "WithoutRights") + "N" +
                                    std::to_string(info.param.stopAt);
                         });

}  // namespace
