// The one way a job puts a new item in the place of one the user has: the
// replacement is written beside the live item under a working name and takes
// the live name only once it is whole. A live folder goes aside first and
// comes back on any failure; a live file is replaced by one rename, so that
// the host never lacks it. No other move ever replaces an existing item, and
// each is told to the journal before it is made.
//
// The names beside a live item L: "L.tmp" for the replacement being written,
// "L.bak" for the live item moved aside; when taken, the first free of
// "L.tmp00000" to "L.tmp99999" (the same for ".bak").
#pragma once

#include <windows.h>

#include <string>

#include "engine/Journal.h"

namespace zr {

class CSwapBeside {
public:
    enum class Kind { File, Folder };

    // live: the item to replace, which may be missing (the replacement then
    // simply takes its name). journal: may be null.
    CSwapBeside(const std::string& live, Kind kind, IJournal* journal);
    // One whose replacement was written earlier under `working` (and whose
    // live folder went aside to `aside`, when it did).
    static CSwapBeside Adopt(const std::string& live, Kind kind, IJournal* journal, const std::string& working,
                             const std::string& aside = std::string());

    // Whether the working and aside names under any number, with a name of
    // `longestInside` bytes below them (a folder's), fit a MAX_PATH buffer.
    static bool NamesFit(const std::string& live, std::size_t longestInside = 0);
    // The longest working name the live item's replacement may get.
    static std::string LongestWorkingName(const std::string& live);

    // Makes the working item under the first free working name: an empty
    // folder, or an empty file for the caller's copy to overwrite.
    // RC_E_FAIL when every name is taken; a folder error with the system's
    // error when it cannot be made.
    HRESULT Begin();
    // The working item takes the live name (a live folder goes aside first);
    // on any failure the live item is back under its name and the working
    // item stays where it was. RC_E_FAIL then, with Error() telling why.
    HRESULT SwapIn();
    // SwapIn in its two moves, for a job that must do something between
    // them: a live folder aside (none there is no failure), the working item
    // in, and the live one back when the job cannot go on.
    HRESULT MoveLiveAside();
    HRESULT MoveWorkingIn();
    HRESULT PutLiveBack();
    // Deletes what was moved aside (never a link's target).
    HRESULT DropAside();
    // Deletes the working item: the replacement will not be used.
    void Discard();

    const std::string& Live() const { return m_strLive; }
    const std::string& Working() const { return m_strWorking; }
    const std::string& Aside() const { return m_strAside; }
    DWORD Error() const { return m_dwError; }

private:
    bool Note(IJournal::Op op, const std::string& path, const std::string& to = std::string());
    bool Move(const std::string& from, const std::string& to);
    bool Remove(const std::string& item);

    std::string m_strLive;
    Kind m_kind;
    IJournal* m_pJournal;
    std::string m_strWorking;
    std::string m_strAside;
    DWORD m_dwError = ERROR_SUCCESS;
};

// Working names are found by these, and made nowhere else.
// The first free of base + suffix, base + suffix + "%05d" (any existing item
// takes a name); false when all are taken, with `name` unchanged.
bool FreeNameBeside(const std::string& base, const char* suffix, std::string& name);
// True when the comparable form `item` begins with a working or aside name
// beside the comparable form `live`: one of those names, or below one.
bool IsBesideNameOf(const std::string& item, const std::string& live);

}  // namespace zr
