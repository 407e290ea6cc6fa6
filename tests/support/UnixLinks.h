// Second names for folders and files, made by a test under Wine. Wine 8 makes
// none through Win32 (CreateSymbolicLinkA reports success and makes nothing,
// a junction is refused, DefineDosDeviceA defines a drive no file call can
// use), so the test makes them on the Unix side: a Unix program started by
// CreateProcess (Wine starts those too) links the item, and a link in the
// prefix's "dosdevices" folder is a drive letter. Such links are removed
// here too: under Wine every Win32 call that removes one acts on its target. Wine reads its drive table
// again once a second, so a drive's coming and going is waited for.
// No test framework: each call says whether it worked.
#pragma once

#include <string>
#include <vector>

namespace zrtest {

// True when running under Wine (its kernel32 names Unix files).
bool UnderWine();

// The Unix path of an existing Windows path, or of a missing item in an
// existing folder (UTF-8); empty when it cannot be told.
std::string UnixPathOf(const std::string& windowsPath);

// Starts a Unix program (argv[0] a Unix path; arguments in UTF-8); true when
// it started. Wine tells neither its end nor its exit code (a process handle
// that ends at once, with 0): the caller waits for what the program does.
bool StartUnixProgram(const std::vector<std::string>& argv);

// A Unix symbolic link at `link` (whose folder exists) to `target`, once it
// is there.
bool MakeUnixLink(const std::string& link, const std::string& target);

// Removes a Unix link (never what it leads to), once it is gone.
bool RemoveUnixLink(const std::string& link);

// A Unix mount over an existing folder, for the object's life: a bind mount
// ({"--bind", UnixPathOf(folder)}) shows a folder once more under a second
// name the system does not resolve, as one share reached through two server
// names; a tmpfs ({"-t", "tmpfs", "-o", "size=64k", "tmpfs"}) is a file
// system no drive's root lies on. Needs root; Ok() tells, at once when mount
// refuses. A marker file in the folder tells the mount's coming (it is
// hidden) and going.
class CUnixMount {
public:
    CUnixMount(const std::vector<std::string>& mountArguments, const std::string& mountPoint);
    ~CUnixMount();
    CUnixMount(const CUnixMount&) = delete;
    CUnixMount& operator=(const CUnixMount&) = delete;

    bool Ok() const { return m_mounted; }

private:
    std::string m_unixMountPoint;
    std::string m_marker;
    bool m_mounted = false;
    bool m_refused = false;  // mount said no
};

// A drive letter of the prefix for a folder, for the object's life.
class CExtraDrive {
public:
    // Takes the last free letter from Q down and waits until Wine shows the
    // folder through it; Ok() is false when that failed.
    explicit CExtraDrive(const std::string& folder);
    ~CExtraDrive();
    CExtraDrive(const CExtraDrive&) = delete;
    CExtraDrive& operator=(const CExtraDrive&) = delete;

    bool Ok() const { return !m_root.empty(); }
    // "X:\" while Ok().
    const std::string& Root() const { return m_root; }

private:
    std::string m_link;  // Unix path of the dosdevices entry
    std::string m_root;
};

}  // namespace zrtest
