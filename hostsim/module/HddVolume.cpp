#include "hostsim/module/HddVolume.h"

#include <cstring>
#include <memory>

namespace hostsim {

namespace {

// The picture object behind an interface, with a reference the caller owns;
// null for a picture that is not ours.
CPicture* OwnPicture(INMPicture* picture) {
    void* object = nullptr;
    if (!picture || FAILED(picture->QueryInterface(IID_HostSimPicture, &object))) return nullptr;
    return static_cast<CPicture*>(object);
}

// Waits until the named event is set, when it exists (at most kRegisterHoldMs).
void WaitForHold(const std::string& name) {
    std::unique_ptr<void, decltype(&CloseHandle)> event(OpenEventA(SYNCHRONIZE, FALSE, name.c_str()), &CloseHandle);
    if (event) WaitForSingleObject(event.get(), kRegisterHoldMs);
}

}  // namespace

// ---- CPicture

HRESULT STDMETHODCALLTYPE CPicture::QueryInterface(REFIID id, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualGUID(id, IID_IUnknown) || IsEqualGUID(id, zr::IID_INMPicture)) {
        *object = static_cast<INMPicture*>(this);
    } else if (IsEqualGUID(id, IID_HostSimPicture)) {
        *object = this;
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

// ---- CTrack

CTrack::CTrack(CHddVolume* volume, size_t index, TrackRow&& row)
    : m_volume(volume), m_index(index), m_row(std::move(row)) {
    for (const std::string& path : m_row.pictures) m_pictures.push_back(new CPicture(path));
    m_row.pictures.clear();  // the picture objects are the truth from now on
}

CTrack::~CTrack() {
    for (CPicture* picture : m_pictures) picture->Release();
}

HRESULT STDMETHODCALLTYPE CTrack::QueryInterface(REFIID id, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualGUID(id, IID_IUnknown) || IsEqualGUID(id, zr::IID_INMTrack)) {
        *object = static_cast<INMTrack*>(this);
    } else if (IsEqualGUID(id, zr::IID_INMContent)) {
        *object = static_cast<INMContent*>(this);
    } else if (IsEqualGUID(id, zr::IID_INMPictureList)) {
        *object = static_cast<INMPictureList*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

INMContent* STDMETHODCALLTYPE CTrack::GetNextContent(REFGUID trackId) {
    if (!m_volume || !IsEqualGUID(trackId, zr::IID_INMTrack)) return nullptr;
    return m_volume->EntryFrom(m_index + 1);
}

void STDMETHODCALLTYPE CTrack::SetTrackProperty(DWORD id, const void* value) {
    if (id == NM_TRACK_PROP_PICTURE_STATE && value) std::memcpy(&m_row.pictureState, value, sizeof(DWORD));
}

NM_TRACK_ATTRIBUTES* STDMETHODCALLTYPE CTrack::GetAttributes(NM_TRACK_ATTRIBUTES* record) {
    if (!record) return nullptr;
    std::memset(record, 0, sizeof(*record));
    record->cbSize = sizeof(*record);
    record->dwFlags = m_row.attributes;
    return record;
}

HRESULT STDMETHODCALLTYPE CTrack::Register() {
    // A track outliving its volume's database has nowhere to go.
    if (!m_volume) return E_FAIL;
    return m_volume->RegisterTrack(*this);
}

void STDMETHODCALLTYPE CTrack::Unregister() {
    if (m_volume) m_volume->UnregisterTrack(*this);
}

void STDMETHODCALLTYPE CTrack::InsertPicture(INMPicture* picture, LONG position) {
    CPicture* own = OwnPicture(picture);
    if (!own) return;
    // Inserting a picture already on the list moves it.
    for (size_t i = 0; i < m_pictures.size(); ++i) {
        if (m_pictures[i] == own) {
            m_pictures[i]->Release();
            m_pictures.erase(m_pictures.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
    size_t at = position < 0 ? 0 : static_cast<size_t>(position);
    if (at > m_pictures.size()) at = m_pictures.size();
    m_pictures.insert(m_pictures.begin() + static_cast<std::ptrdiff_t>(at), own);  // keeps the reference
}

void STDMETHODCALLTYPE CTrack::RemovePicture(INMPicture* picture) {
    CPicture* own = OwnPicture(picture);
    if (!own) return;
    for (size_t i = 0; i < m_pictures.size(); ++i) {
        if (m_pictures[i] == own) {
            m_pictures[i]->Release();
            m_pictures.erase(m_pictures.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
    own->Release();
}

INMPicture* STDMETHODCALLTYPE CTrack::GetItem(DWORD index) {
    if (index < 1 || index > m_pictures.size()) return nullptr;
    return m_pictures[index - 1];  // borrowed
}

bool CTrack::HasMovedPicture() const {
    for (const CPicture* picture : m_pictures) {
        if (picture->IsMoved()) return true;
    }
    return false;
}

void CTrack::PicturesStored() {
    for (CPicture* picture : m_pictures) picture->Stored();
}

TrackRow& CTrack::Row() {
    m_row.pictures.clear();
    for (CPicture* picture : m_pictures) m_row.pictures.push_back(picture->GetFilePath());
    return m_row;
}

// ---- CHddVolume

CHddVolume::~CHddVolume() { Discard(); }

HRESULT STDMETHODCALLTYPE CHddVolume::QueryInterface(REFIID id, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualGUID(id, IID_IUnknown) || IsEqualGUID(id, zr::IID_INMHddVolume)) {
        *object = static_cast<INMHddVolume*>(this);
    } else if (IsEqualGUID(id, zr::IID_INMVolumeSettings)) {
        *object = static_cast<INMVolumeSettings*>(this);
    } else if (IsEqualGUID(id, IID_IHostSimDevice)) {
        *object = static_cast<IHostSimDevice*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

INMContent* STDMETHODCALLTYPE CHddVolume::GetFirstContent(REFGUID trackId) {
    if (!IsEqualGUID(trackId, zr::IID_INMTrack)) return nullptr;
    return EntryFrom(0);
}

INMContent* CHddVolume::EntryFrom(size_t index) {
    for (; index < m_tracks.size(); ++index) {
        CTrack* track = m_tracks[index];
        if (track->IsRemoved()) continue;
        track->AddRef();
        return static_cast<INMContent*>(track);
    }
    return nullptr;
}

HRESULT STDMETHODCALLTYPE CHddVolume::OpenDatabase(const char* contentsDbPath) {
    if (!contentsDbPath) return E_POINTER;
    if (m_db.IsOpen()) return E_FAIL;  // one database per volume
    HRESULT fault = m_context->faults.Check(Fault::OpenDatabase);
    if (FAILED(fault)) return fault;
    if (!m_context->exporting) {
        fault = m_context->faults.Check(Fault::StrictLiveDatabase, contentsDbPath);
        if (FAILED(fault)) return fault;
    }
    if (!FileExistsA(contentsDbPath)) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    // Exactly the file named: whatever folder it is in, that copy is the one changed.
    if (!m_db.Open(contentsDbPath)) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);

    HRESULT hr = NoThrow([&] {
        std::vector<TrackRow> rows;
        if (!m_db.LoadAll(rows) || !m_db.Begin()) return E_FAIL;
        m_tracks.reserve(rows.size());
        for (TrackRow& row : rows) m_tracks.push_back(new CTrack(this, m_tracks.size(), std::move(row)));
        m_nLiveTracks = static_cast<DWORD>(m_tracks.size());
        return S_OK;
    });
    if (FAILED(hr)) Discard();
    return hr;
}

HRESULT STDMETHODCALLTYPE CHddVolume::CloseDatabase() {
    if (!m_db.IsOpen()) return S_FALSE;  // nothing to close
    HRESULT fault = m_context->faults.Check(Fault::CloseDatabase);
    if (FAILED(fault)) {
        Discard();
        return fault;
    }
    if (!m_db.Commit()) {
        Discard();
        return E_FAIL;
    }
    m_db.Close();
    ReleaseTracks();
    return S_OK;
}

HRESULT CHddVolume::RegisterTrack(CTrack& track) {
    if (DWORD delay = m_context->faults.RegisterDelay(track.GetTitle())) Sleep(delay);
    const std::string hold = m_context->faults.RegisterHold(track.GetTitle());
    if (!hold.empty()) WaitForHold(hold);
    HRESULT fault = m_context->faults.Check(Fault::Register, track.GetTitle());
    if (FAILED(fault)) return fault;
    if (track.HasMovedPicture()) {
        fault = m_context->faults.Check(Fault::RegisterNewPicturePath, track.GetTitle());
        if (FAILED(fault)) return fault;
    }
    const HRESULT hr = NoThrow([&] {
        TrackRow& row = track.Row();
        if (!track.IsRemoved()) return m_db.Update(row) ? S_OK : E_FAIL;
        // Registering an unregistered track adds it again.
        if (!m_db.Insert(row)) return E_FAIL;
        track.SetRemoved(false);
        ++m_nLiveTracks;
        return S_OK;
    });
    if (SUCCEEDED(hr)) track.PicturesStored();
    return hr;
}

void CHddVolume::UnregisterTrack(CTrack& track) {
    if (FAILED(m_context->faults.Check(Fault::Unregister, track.GetTitle()))) return;
    if (track.IsRemoved() || !m_db.Remove(track.Row().id)) return;
    track.SetRemoved(true);
    --m_nLiveTracks;
}

void CHddVolume::Discard() {
    if (m_db.IsOpen()) {
        m_db.Rollback();
        m_db.Close();
    }
    ReleaseTracks();
}

void CHddVolume::ReleaseTracks() {
    for (CTrack* track : m_tracks) {
        track->Detach();
        track->Release();
    }
    m_tracks.clear();
    m_nLiveTracks = 0;
}

}  // namespace hostsim
