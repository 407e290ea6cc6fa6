// The secure database into and out of the backup: the Move component writes
// and reads "DB\SDCOREDB\MovePlugIn.bkd" through the backup file stream.
#include <windows.h>

#include <memory>
#include <new>

#include "common/BackupTree.h"
#include "common/ComRef.h"
#include "common/PathUtil.h"
#include "common/ResultCodes.h"
#include "common/Trace.h"
#include "engine/BackupRestore.h"
#include "engine/Recovery.h"
#include "securedb/SDMoveBackupFile.h"

namespace zr {
namespace {


bool FileFound(const std::string& path) {
    if (!FitsBuffer(path, MAX_PATH)) return false;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(path.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return false;
    FindClose(find);
    return true;
}

const char* Text(const char* s) { return s ? s : ""; }

}  // namespace

HRESULT CBackupRestore::BackupMoveSecureDB(const std::string& backupData) {
    const std::string folder = backupData + kSecureDbFolder;
    if (!FitsBuffer(folder + "\\", MAX_PATH)) return FolderCreateError(ERROR_FILENAME_EXCED_RANGE);
    if (!MakeSureFolderPathExists((folder + "\\").c_str())) return FolderCreateError(GetLastError());

    CSDMoveBackupFile stream;
    HRESULT hr = stream.OpenFile((folder + kMoveBackupFile).c_str(), CSDMoveBackupFile::MODE_WRITE);
    if (FAILED(hr)) return hr;

    hr = m_secureDb.ExportTo(&stream);
    if (FAILED(hr)) {
        stream.CloseFile();
        return hr;
    }

    // From here on the component may hold the stream until the export is
    // finished; an export given up is finished all the same, so that nothing
    // is left pointing at the stream when it goes.
    auto giveUp = [&](HRESULT failure) {
        m_secureDb.FinishExport();
        stream.CloseFile();
        return failure;
    };
    const std::string contentsDb = GetDatabasesFolder() + kContentsDbFile;
    if (!FileFound(contentsDb)) return giveUp(RC_E_FAIL);
    hr = m_builder.MountHDD(contentsDb.c_str(), m_strPictureFolder.c_str());
    if (FAILED(hr)) return giveUp(hr);
    INMHddVolume* volume = m_builder.Volume();
    if (!volume) return giveUp(RC_E_FAIL);

    // Every track with rights information is named to the component; one it
    // refuses is listed and the others still go.
    Trace("*** BackupData Move ***\n");
    for (CRef<INMContent> entry(volume->GetFirstContent(IID_INMTrack)); entry;
         entry.Attach(entry->GetNextContent(IID_INMTrack))) {
        CRef<INMTrack> track;
        if (!QueryRef(entry.Get(), IID_INMTrack, track)) continue;
        if (!IsSecureTrack(track.Get())) continue;

        // A text of the track lives only until the track's next call.
        const std::string path = Text(track->GetFilePath());
        Trace("Title = %s, Path = %s\n", Text(track->GetTitle()), path.c_str());
        if (FAILED(m_secureDb.AddMoveContent(path.c_str()))) {
            RecordFailedItem(track.Get(), ItemCode::RightsNotExported, 0);
        }
    }
    Trace("**********************\n");

    m_builder.UnmountHDD();
    hr = m_secureDb.FinishExport();
    stream.CloseFile();
    return hr;
}

HRESULT CBackupRestore::RestoreMoveSecureDB(CRestorePlan& plan) {
    plan.m_bRightsReplaced = false;
    CSDMoveBackupFile stream;
    HRESULT hr =
        stream.OpenFile((plan.ReadFrom() + kSecureDbFolder + kMoveBackupFile).c_str(), CSDMoveBackupFile::MODE_READ);
    // Only a missing file in an existing folder is "no secure database"; a
    // missing folder keeps the stream's own code, so that an incomplete or
    // foreign backup stops the restore before the host is changed.
    if (FAILED(hr)) return hr;

    hr = m_secureDb.ImportFrom(&stream);
    if (FAILED(hr)) {
        stream.CloseFile();
        return hr;
    }

    // From here on the host's rights may be the backup's: a restore stopped
    // after this mark is taken to its end, never undone.
    IJournal* journal = Journal();
    if (journal && !journal->Mark(kRightsMark)) {
        m_secureDb.EndImport();
        stream.CloseFile();
        return RC_E_FAIL;
    }
    // The import is ended whatever happened to it.
    HRESULT applied = m_secureDb.ApplyImport();
    HRESULT ended = m_secureDb.EndImport();
    stream.CloseFile();
    plan.m_bRightsReplaced = SUCCEEDED(applied);
    // The component applies all or nothing: either mark tells what happened.
    if (journal) journal->Mark(plan.m_bRightsReplaced ? kRightsReplacedMark : kRightsKeptMark);
    return FAILED(applied) ? applied : ended;
}

HRESULT CBackupRestore::CheckMoveBackupFile(const std::string& backupData) {
    // Read as the import will read it, without the component: its container
    // must hold at least one record and end where the records end. Absent in
    // an existing folder means no secure database, as for the import.
    CSDMoveBackupFile stream;
    HRESULT hr = stream.OpenFile((backupData + kSecureDbFolder + kMoveBackupFile).c_str(), CSDMoveBackupFile::MODE_READ);
    if (hr == RC_E_STREAM_NOT_FOUND) return RC_OK;
    if (FAILED(hr)) return hr;

    BYTE header[SD_BACKUP_FILE_HEADER_SIZE];
    BYTE record[SD_BACKUP_RECORD_HEADER_SIZE];
    DWORD size = 0;
    hr = stream.BeginFile(header);
    if (SUCCEEDED(hr)) hr = stream.GetDataSize(&size);
    if (SUCCEEDED(hr) && size == 0) hr = RC_E_STREAM_SHORT_READ;
    std::unique_ptr<BYTE[]> data;
    if (SUCCEEDED(hr)) {
        data.reset(new (std::nothrow) BYTE[size]);
        if (!data) hr = RC_E_OUTOFMEMORY;
    }
    if (SUCCEEDED(hr)) hr = stream.ReadRecord(record, data.get(), size);
    BYTE more = 0;
    if (hr == RC_OK && stream.ReadRecord(record, &more, 1) != RC_END_OF_FILE) hr = RC_E_STREAM_READ;
    stream.CloseFile();
    return hr;
}

}  // namespace zr
