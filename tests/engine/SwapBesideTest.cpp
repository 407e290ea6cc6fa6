// Putting a new item in the place of a live one, with the Nth file operation
// failing (once, or every one from then on): the live name holds a whole item,
// the old one or the new one (a folder whose move back failed too is whole
// under its aside name); a name beside it that was the user's stays as it
// was; and every change was told to the journal first.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "FileFaults.h"
#include "common/PathUtil.h"
#include "common/ResultCodes.h"
#include "engine/SwapBeside.h"
#include "support/FileTree.h"
#include "support/Sandbox.h"

namespace {

using enginetest::CFileFaults;
using enginetest::FileCall;
using enginetest::FileOp;
using Kind = zr::CSwapBeside::Kind;

// Keeps what it is told; refuses every record once told to.
struct CRecordingJournal : zr::IJournal {
    struct Entry {
        Op op;
        std::string path;
        std::string to;
    };
    bool Record(Op op, const std::string& path, const std::string& to) override {
        if (refuse) return false;
        entries.push_back(Entry{op, path, to});
        return true;
    }
    std::vector<Entry> entries;
    bool refuse = false;
};

struct SwapRow {
    const char* name;
    Kind kind;
    bool liveThere;   // else the replacement simply takes the free name
    bool persistent;  // every operation from the Nth on fails, else the Nth alone
};

void PrintTo(const SwapRow& row, std::ostream* os) { *os << row.name; }

class SwapBesideFaults : public ::testing::TestWithParam<SwapRow> {
protected:
    void SetUp() override {
        m_folder = m_sandbox.Path("Host");
        m_live = m_folder + "\\Item";
        m_source = m_sandbox.Path("new.txt");
        zrtest::MakeTextFile(m_source, "new");
    }

    // The host before each run: the live item, and a file of the user's
    // under the first name the swap would put the live item aside to.
    void Reset() {
        zrtest::RemoveTree(m_folder);
        zrtest::MakeFolder(m_folder);
        zrtest::WriteTextFile(m_live + ".bak", "the user's");
        if (!GetParam().liveThere) return;
        if (GetParam().kind == Kind::File) {
            zrtest::WriteTextFile(m_live, "old");
        } else {
            zrtest::MakeTextFile(m_live + "\\content.txt", "old");
        }
    }

    // What the live name holds: "old", "new", or why it is neither.
    std::string LiveContent() const {
        const bool folder = GetParam().kind == Kind::Folder;
        const std::string file = folder ? m_live + "\\content.txt" : m_live;
        if (!zrtest::FileExists(file)) return "<missing>";
        const std::string content = zrtest::ReadTextFile(file);
        if (folder && zrtest::ListTree(m_live).size() != 1) return "<mixed>";
        return content;
    }

    // A job's use of the swap: the replacement written, swapped in, the old one dropped.
    HRESULT Swap(zr::IJournal& journal) {
        zr::CSwapBeside swap(m_live, GetParam().kind, &journal);
        HRESULT hr = swap.Begin();
        if (hr != zr::RC_OK) return hr;
        const std::string target = GetParam().kind == Kind::Folder ? swap.Working() + "\\content.txt" : swap.Working();
        if (!CopyFileA(m_source.c_str(), target.c_str(), FALSE)) {
            swap.Discard();
            return zr::RC_E_FILE_COPY;
        }
        hr = swap.SwapIn();
        if (hr != zr::RC_OK) {
            swap.Discard();
            return hr;
        }
        swap.DropAside();
        return zr::RC_OK;
    }

    zrtest::CSandbox m_sandbox;
    std::string m_folder;
    std::string m_live;
    std::string m_source;
};

TEST_P(SwapBesideFaults, TheLiveNameAlwaysHoldsAWholeItem) {
    const SwapRow& row = GetParam();
    int completedAfter = 0;
    for (int n = 1; n < 200; ++n) {
        Reset();
        CRecordingJournal journal;
        std::vector<std::string> unrecorded;
        HRESULT hr;
        int calls;
        {
            CFileFaults faults([&](const FileCall& call, int number) {
                // Each change is told first: a move and a making as the very
                // last record, a deletion at or below the item last named.
                const CRecordingJournal::Entry* last = journal.entries.empty() ? nullptr : &journal.entries.back();
                const bool told =
                    call.op == FileOp::MoveFile
                        ? last && last->op == zr::IJournal::Op::Move && last->path == call.path && last->to == call.target
                    : call.op == FileOp::CreateDirectory ||
                            (call.op == FileOp::CreateFile && call.disposition != OPEN_EXISTING)
                        ? last && last->op == zr::IJournal::Op::Create && last->path == call.path
                    : call.op == FileOp::DeleteFile || call.op == FileOp::RemoveDirectory
                        ? last && last->op == zr::IJournal::Op::Delete && zr::IsSameOrInside(call.path, last->path)
                        : true;
                if (!told) unrecorded.push_back(std::string(enginetest::FileOpName(call.op)) + " " + call.path);
                return row.persistent ? number >= n : number == n;
            });
            hr = Swap(journal);
            calls = faults.Calls();
        }
        SCOPED_TRACE("N=" + std::to_string(n));
        EXPECT_EQ(std::vector<std::string>{}, unrecorded);
        const std::string content = LiveContent();
        if (hr == zr::RC_OK) {
            EXPECT_EQ("new", content);
        } else if (row.liveThere && content == "<missing>" && row.persistent && row.kind == Kind::Folder) {
            // Every operation failed from the move aside on, the move back
            // too: the old folder is whole under the name it went aside to.
            EXPECT_EQ("old", zrtest::ReadTextFile(m_live + ".bak00000\\content.txt"));
        } else if (row.liveThere) {
            EXPECT_EQ("old", content);
        } else {
            EXPECT_EQ("<missing>", content);
        }
        EXPECT_EQ("the user's", zrtest::ReadTextFile(m_live + ".bak"));
        // Nothing but the live item and names beside it.
        for (const std::string& name : zrtest::Names(m_folder)) {
            EXPECT_TRUE(name == "Item" || zr::IsBesideNameOf(zr::FoldCase(m_folder + "\\" + name), zr::FoldCase(m_live)))
                << name;
        }
        if (calls < n) {
            completedAfter = calls;
            EXPECT_EQ(zr::RC_OK, hr);
            // A whole run leaves the live item and the user's file, nothing else.
            EXPECT_EQ((std::vector<std::string>{"Item", "Item.bak"}), zrtest::Names(m_folder));
            break;
        }
        if (HasFailure()) break;
    }
    EXPECT_GT(completedAfter, 2) << "no run went through";
}

INSTANTIATE_TEST_SUITE_P(Rows, SwapBesideFaults,
                         ::testing::Values(SwapRow{"FolderOnce", Kind::Folder, true, false},
                                           SwapRow{"FolderFromThenOn", Kind::Folder, true, true},
                                           SwapRow{"FileOnce", Kind::File, true, false},
                                           SwapRow{"FileFromThenOn", Kind::File, true, true},
                                           SwapRow{"NoLiveFolder", Kind::Folder, false, true},
                                           SwapRow{"NoLiveFile", Kind::File, false, true}),
                         [](const ::testing::TestParamInfo<SwapRow>& info) { return std::string(info.param.name); });

// A journal that cannot write: nothing is made or moved.
TEST(SwapBeside, NothingMovesWithoutTheJournal) {
    zrtest::CSandbox sandbox;
    const std::string live = sandbox.Path("Item");
    zrtest::MakeTextFile(live + "\\content.txt", "old");
    CRecordingJournal journal;
    zr::CSwapBeside swap(live, Kind::Folder, &journal);
    ASSERT_EQ(zr::RC_OK, swap.Begin());
    journal.refuse = true;
    EXPECT_EQ(zr::RC_E_FAIL, swap.SwapIn());
    EXPECT_EQ("old", zrtest::ReadTextFile(live + "\\content.txt"));
    EXPECT_TRUE(zrtest::FolderExists(swap.Working()));
    EXPECT_EQ((std::vector<std::string>{"Item", "Item.tmp"}), zrtest::Names(sandbox.Folder()));
}

// Names beside a live item, as the swap makes them and as a job's checks know them.
TEST(SwapBeside, WorkingNamesAreTheFirstFreeAndKnownAsSuch) {
    zrtest::CSandbox sandbox;
    const std::string live = sandbox.Path("databases");
    zrtest::MakeFolder(live);
    zrtest::MakeFolder(live + ".tmp");
    zrtest::WriteTextFile(live + ".tmp00000", "a file takes a name too");
    zr::CSwapBeside swap(live, Kind::Folder, nullptr);
    ASSERT_EQ(zr::RC_OK, swap.Begin());
    EXPECT_EQ(live + ".tmp00001", swap.Working());
    ASSERT_EQ(zr::RC_OK, swap.SwapIn());
    EXPECT_EQ(live + ".bak", swap.Aside());

    const std::string folded = zr::FoldCase(live);
    for (const char* beside : {".BAK", ".TMP", ".TMP00001", ".BAK99999\\CONTENTS.DB"}) {
        EXPECT_TRUE(zr::IsBesideNameOf(folded + beside, folded)) << beside;
    }
    for (const char* other : {"", "\\CONTENTS.DB", "2", ".OLD"}) {
        EXPECT_FALSE(zr::IsBesideNameOf(folded + other, folded)) << other;
    }
}

}  // namespace
