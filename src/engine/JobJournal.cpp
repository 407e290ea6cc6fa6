#include "engine/JobJournal.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdio>

#include "common/PathUtil.h"
#include "engine/FileOps.h"

namespace zr {
namespace {

const char kJournalFolder[] = "\\ZuderaRurarizIdir\\Journal";
const char kRecordPrefix[] = "Job";
const char kRecordSuffix[] = ".txt";

// Paths never hold a tab or a line break: fields are separated by tabs.
std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

bool ParseLine(const std::string& text, JournalLine& line) {
    const std::vector<std::string> fields = SplitTabs(text);
    const std::string& word = fields[0];
    if (word == "job" && fields.size() >= 2) {
        line.kind = JournalLine::Kind::Job;
        line.path = fields[1];
        line.more.assign(fields.begin() + 2, fields.end());
    } else if (word == "create" && fields.size() == 2) {
        line.kind = JournalLine::Kind::Create;
        line.path = fields[1];
    } else if (word == "move" && fields.size() == 3) {
        line.kind = JournalLine::Kind::Move;
        line.path = fields[1];
        line.to = fields[2];
    } else if (word == "delete" && fields.size() == 2) {
        line.kind = JournalLine::Kind::Delete;
        line.path = fields[1];
    } else if (word == "notmade" && fields.size() == 2) {
        line.kind = JournalLine::Kind::NotMade;
        line.path = fields[1];
    } else if (word == "mark" && fields.size() == 2) {
        line.kind = JournalLine::Kind::Mark;
        line.path = fields[1];
    } else {
        return false;
    }
    return true;
}

// False also for the record of a job still running: it holds its file open
// for writing, which an open that shares only reading cannot get past.
bool ReadWholeFile(const std::string& file, std::string& text) {
    HANDLE h = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    char buffer[4096];
    DWORD read = 0;
    bool ok = true;
    for (;;) {
        if (!ReadFile(h, buffer, sizeof(buffer), &read, nullptr)) {
            ok = false;
            break;
        }
        if (read == 0) break;
        text.append(buffer, read);
    }
    CloseHandle(h);
    return ok;
}

}  // namespace

std::string JournalRecord::Kind() const { return lines.empty() ? std::string() : lines.front().path; }

std::vector<std::string> JournalRecord::Folders() const {
    return lines.empty() ? std::vector<std::string>() : lines.front().more;
}

bool JournalRecord::Made(const std::string& path) const {
    bool made = false;
    for (const JournalLine& line : lines) {
        if (line.path != path) continue;
        if (line.kind == JournalLine::Kind::Create) made = true;
        if (line.kind == JournalLine::Kind::NotMade) made = false;
    }
    return made;
}

bool JournalRecord::HasMark(const std::string& mark) const {
    return std::any_of(lines.begin(), lines.end(), [&](const JournalLine& line) {
        return line.kind == JournalLine::Kind::Mark && line.path == mark;
    });
}

CJobJournal::~CJobJournal() {
    if (m_hFile != INVALID_HANDLE_VALUE) CloseHandle(m_hFile);
}

std::string CJobJournal::Folder() {
    char common[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, common, CSIDL_COMMON_APPDATA, TRUE)) return std::string();
    const std::string folder = std::string(common) + kJournalFolder;
    return FitsBuffer(folder + "\\" + kRecordPrefix + "00000" + kRecordSuffix, MAX_PATH) ? folder : std::string();
}

bool CJobJournal::Open(const std::string& kind, const std::vector<std::string>& folders) {
    Close();
    const std::string folder = Folder();
    DWORD error = 0;
    if (folder.empty() || !CreateFolderPath(folder + "\\", error)) return false;
    // Jobs of two programs may start at once: the file is made by the call
    // that fails when its name is taken.
    for (int i = 0; i < kMaxFolderNumbers && m_hFile == INVALID_HANDLE_VALUE; ++i) {
        char name[32];
        std::snprintf(name, sizeof(name), "\\%s%05d%s", kRecordPrefix, i, kRecordSuffix);
        m_strFile = folder + name;
        m_hFile = CreateFileA(m_strFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        if (m_hFile == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS &&
            GetLastError() != ERROR_ALREADY_EXISTS) {
            break;
        }
    }
    if (m_hFile == INVALID_HANDLE_VALUE) {
        m_strFile.clear();
        return false;
    }
    m_own = JournalRecord();
    m_own.file = m_strFile;
    std::string line = "job\t" + kind;
    for (const std::string& path : folders) line += "\t" + path;
    if (WriteLine(line)) return true;
    Close();
    return false;
}

bool CJobJournal::WriteLine(const std::string& line) {
    if (m_hFile == INVALID_HANDLE_VALUE) return false;
    const std::string text = line + "\r\n";
    DWORD written = 0;
    // Flushed: the change that follows must never be on the disk before its record.
    if (!WriteFile(m_hFile, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size() || !FlushFileBuffers(m_hFile)) {
        return false;
    }
    JournalLine parsed;
    if (ParseLine(line, parsed)) m_own.lines.push_back(parsed);
    return true;
}

bool CJobJournal::Record(Op op, const std::string& path, const std::string& to) {
    switch (op) {
    case Op::Create:
        return WriteLine("create\t" + path);
    case Op::Move:
        return WriteLine("move\t" + path + "\t" + to);
    case Op::Delete:
        return WriteLine("delete\t" + path);
    case Op::NotMade:
        return WriteLine("notmade\t" + path);
    }
    return false;
}

bool CJobJournal::Mark(const std::string& mark) { return WriteLine("mark\t" + mark); }

bool CJobJournal::Continue(const JournalRecord& record) {
    Close();
    m_hFile = CreateFileA(record.file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_hFile == INVALID_HANDLE_VALUE) return false;
    m_strFile = record.file;
    m_own = record;
    return true;
}

void CJobJournal::Close() {
    if (m_hFile == INVALID_HANDLE_VALUE) return;
    CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
    DeleteFileA(m_strFile.c_str());
    m_strFile.clear();
}

void CJobJournal::Keep() {
    if (m_hFile == INVALID_HANDLE_VALUE) return;
    CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
    m_strFile.clear();
}

std::vector<JournalRecord> CJobJournal::ReadLeftRecords() {
    std::vector<JournalRecord> records;
    const std::string folder = Folder();
    if (folder.empty()) return records;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\" + kRecordPrefix + "*" + kRecordSuffix).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return records;
    std::vector<std::string> names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        JournalRecord record;
        record.file = folder + "\\" + name;
        std::string text;
        if (!ReadWholeFile(record.file, text)) continue;
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find("\r\n", start);
            // A line cut short by the stop is no line: its change was never made.
            if (end == std::string::npos) break;
            JournalLine line;
            if (ParseLine(text.substr(start, end - start), line)) record.lines.push_back(line);
            start = end + 2;
        }
        if (!record.lines.empty() && record.lines.front().kind == JournalLine::Kind::Job) {
            records.push_back(record);
        } else {
            // Stopped before its first line was whole: it named nothing.
            DeleteFileA(record.file.c_str());
        }
    }
    return records;
}

void CJobJournal::Forget(const JournalRecord& record) { DeleteFileA(record.file.c_str()); }

}  // namespace zr
