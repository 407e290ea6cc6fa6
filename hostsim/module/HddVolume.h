// The HDD volume: one opened library database ("contents.db"), its tracks in
// memory, and every write batched in one transaction from OpenDatabase to
// CloseDatabase.
#pragma once

#include <string>
#include <vector>

#include "engine/NMInterfaces.h"
#include "hostsim/core/LibraryDb.h"
#include "hostsim/module/ComObject.h"
#include "hostsim/module/HostContext.h"

namespace hostsim {

class CHddVolume;

class CPicture : public INMPicture, private CComObjectBase {
public:
    explicit CPicture(const std::string& path) : m_path(path), m_stored(path) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
    HOSTSIM_REFCOUNT
    void STDMETHODCALLTYPE SetFilePath(const char* path) override { m_path = path ? path : ""; }
    const char* STDMETHODCALLTYPE GetFilePath() override { return m_path.c_str(); }

    // Whether the path differs from the one the database holds; Stored once it holds it.
    bool IsMoved() const { return m_path != m_stored; }
    void Stored() { m_stored = m_path; }

private:
    std::string m_path;
    std::string m_stored;
};

// A track is its own enumeration entry and its own picture list, so every entry
// yields a track and every track a list that always shows its current pictures.
class CTrack : public INMContent, public INMTrack, public INMPictureList, private CComObjectBase {
public:
    CTrack(CHddVolume* volume, size_t index, TrackRow&& row);
    ~CTrack() override;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
    HOSTSIM_REFCOUNT

    // INMContent
    INMContent* STDMETHODCALLTYPE GetNextContent(REFGUID trackId) override;
    // INMTrack
    void STDMETHODCALLTYPE SetTrackProperty(DWORD id, const void* value) override;
    const char* STDMETHODCALLTYPE GetFilePath() override { return Text(m_row.path); }
    void STDMETHODCALLTYPE SetFilePath(const char* path) override { m_row.path = path ? path : ""; }
    const char* STDMETHODCALLTYPE GetTitle() override { return Text(m_row.title); }
    NM_TRACK_ATTRIBUTES* STDMETHODCALLTYPE GetAttributes(NM_TRACK_ATTRIBUTES* record) override;
    HRESULT STDMETHODCALLTYPE Register() override;
    void STDMETHODCALLTYPE Unregister() override;
    void STDMETHODCALLTYPE InsertPicture(INMPicture* picture, LONG position) override;
    void STDMETHODCALLTYPE RemovePicture(INMPicture* picture) override;
    // INMPictureList
    DWORD STDMETHODCALLTYPE GetCount() override { return static_cast<DWORD>(m_pictures.size()); }
    INMPicture* STDMETHODCALLTYPE GetItem(DWORD index) override;

    // For the volume.
    void Detach() { m_volume = nullptr; }
    bool IsRemoved() const { return m_bRemoved; }
    void SetRemoved(bool removed) { m_bRemoved = removed; }
    // The row as Register stores it: current path, state and pictures in order.
    TrackRow& Row();
    size_t Index() const { return m_index; }
    bool HasMovedPicture() const;
    void PicturesStored();

private:
    // Texts are handed out from one buffer, valid until the next text getter
    // call: a caller must copy a text it wants to keep.
    const char* Text(const std::string& text) {
        m_text = text;
        return m_text.c_str();
    }

    CHddVolume* m_volume;  // not owned: the volume owns its tracks and detaches them when it closes
    size_t m_index;
    TrackRow m_row;
    std::string m_text;
    std::vector<CPicture*> m_pictures;  // one reference each
    bool m_bRemoved = false;
};

class CHddVolume : public INMHddVolume, public INMVolumeSettings, public IHostSimDevice, private CComObjectBase {
public:
    explicit CHddVolume(const HostContextPtr& context) : m_context(context) {}
    ~CHddVolume() override;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
    HOSTSIM_REFCOUNT

    // INMHddVolume
    INMContent* STDMETHODCALLTYPE GetFirstContent(REFGUID trackId) override;
    DWORD STDMETHODCALLTYPE GetContentCount() override { return m_nLiveTracks; }
    HRESULT STDMETHODCALLTYPE OpenDatabase(const char* contentsDbPath) override;
    HRESULT STDMETHODCALLTYPE CloseDatabase() override;
    // INMVolumeSettings
    void STDMETHODCALLTYPE SetPictureFolder(const char* folder) override { m_pictureFolder = folder ? folder : ""; }
    // IHostSimDevice
    void STDMETHODCALLTYPE OnRemoved() override { Discard(); }

    // For the tracks.
    INMContent* EntryFrom(size_t index);
    HRESULT RegisterTrack(CTrack& track);
    void UnregisterTrack(CTrack& track);

private:
    // Rolls back whatever was not committed and lets go of the database.
    void Discard();
    void ReleaseTracks();

    HostContextPtr m_context;
    CLibraryDb m_db;
    std::vector<CTrack*> m_tracks;  // one reference each, in database order
    DWORD m_nLiveTracks = 0;
    std::string m_pictureFolder;
};

}  // namespace hostsim
