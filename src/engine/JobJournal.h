// A job's record of what it changes on the disk, kept in a file of the
// tool's own while the job runs: each change is written (and flushed) before
// it is made, so that a job stopped midway (killed, the power gone) can be put
// right at the next start from what the record names, and from nothing else.
// A job that ends, whatever its result, removes its record.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "engine/Journal.h"

namespace zr {

// One line of a record.
struct JournalLine {
    enum class Kind { Job, Create, Move, Delete, Mark, NotMade };
    Kind kind = Kind::Job;
    std::string path;  // Job: the job's kind ("backup" or "restore"); Mark: the mark
    std::string to;    // Move: the new name
    std::vector<std::string> more;  // Job: the job's folders
};

// A record that a job left, read back.
struct JournalRecord {
    std::string file;
    std::vector<JournalLine> lines;

    // The job's kind and its folders, from the first line.
    std::string Kind() const;
    std::vector<std::string> Folders() const;
    bool HasMark(const std::string& mark) const;
    // True when the record says the job made the item (a Create line no
    // NotMade line takes back).
    bool Made(const std::string& path) const;
};

class CJobJournal : public IJournal {
public:
    CJobJournal() = default;
    ~CJobJournal();
    CJobJournal(const CJobJournal&) = delete;
    CJobJournal& operator=(const CJobJournal&) = delete;

    // Starts a record of a job of that kind ("backup", "restore") on these
    // folders, in a file of its own; false when none can be written.
    bool Open(const std::string& kind, const std::vector<std::string>& folders);
    bool IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE; }
    bool Record(Op op, const std::string& path, const std::string& to) override;
    bool Mark(const std::string& mark) override;
    // Goes on writing a record a stopped job left, for the putting right.
    bool Continue(const JournalRecord& record);
    // What this job has recorded so far.
    const JournalRecord& Own() const { return m_own; }
    // The job has ended and what it changed is whole: its record goes.
    void Close();
    // The job has ended with something its record names not put right: the
    // record stays for the next start.
    void Keep();

    // The folder the records are kept in; empty when there is none.
    static std::string Folder();
    // The records jobs left, oldest first.
    static std::vector<JournalRecord> ReadLeftRecords();
    // Deletes a record once what it names has been put right.
    static void Forget(const JournalRecord& record);

private:
    bool WriteLine(const std::string& line);

    HANDLE m_hFile = INVALID_HANDLE_VALUE;
    std::string m_strFile;
    JournalRecord m_own;
};

}  // namespace zr
