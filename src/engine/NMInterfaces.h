// The media library component's interfaces as the engine relies on them.
// Slot order is part of the contract: never reorder or insert.
//
// Ownership: operations that hand out an interface (GetServices, QueryService,
// CreateDevice, GetFirstContent, GetNextContent, QueryInterface) return a new
// reference that the caller releases. INMPictureList::GetItem returns a
// borrowed reference, valid while the list holds the picture; callers that
// keep it across RemovePicture add a reference first. Returned texts are
// owned by the object and stay valid until its next call or release.
#pragma once

#include <unknwn.h>
#include <windows.h>

#include <cstddef>

#include "common/ComponentIds.h"

// Device types of a creation record.
typedef DWORD NM_DEVICE_TYPE;
constexpr NM_DEVICE_TYPE NM_DEVICE_HDD_VOLUME = 1;
constexpr NM_DEVICE_TYPE NM_DEVICE_SECURE = 3;

// Secure-content flags of a track.
constexpr DWORD NM_ATTR_SECURE_A = 0x08;
constexpr DWORD NM_ATTR_SECURE_B = 0x10;

// The record that GetAttributes fills: 28 bytes, flags at offset 8.
struct NM_TRACK_ATTRIBUTES {
    DWORD cbSize;      // 28
    DWORD dwCodec;
    DWORD dwFlags;     // NM_ATTR_*
    DWORD dwDuration;  // milliseconds
    DWORD dwBitrate;
    DWORD dwReserved[2];
};
static_assert(sizeof(NM_TRACK_ATTRIBUTES) == 28, "attribute record is 28 bytes");
static_assert(offsetof(NM_TRACK_ATTRIBUTES, dwFlags) == 8, "flags at offset 8");

// A creation record's interface: the component asks it what it is.
struct INMCreateInfo {
    virtual BOOL STDMETHODCALLTYPE IsKindOf(REFGUID id) = 0;
};

// The creation record passed to CreateDevice.
struct NMCreateDeviceInfo : public INMCreateInfo {
    NM_DEVICE_TYPE m_type;

    explicit NMCreateDeviceInfo(NM_DEVICE_TYPE type) : m_type(type) {}
    BOOL STDMETHODCALLTYPE IsKindOf(REFGUID id) override { return IsEqualGUID(id, zr::NMID_CreateDeviceInfo); }
};

struct INMServices;
struct INMDeviceManager;
struct INMContent;
struct INMPicture;

struct INMLibrary : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE LoadPlugins(const char* folder) = 0;
    virtual void STDMETHODCALLTYPE Terminate() = 0;
    virtual void STDMETHODCALLTYPE GetServices(INMServices** services) = 0;
};

struct INMServices : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, INMDeviceManager** manager) = 0;
};

// Property id of SetProperty: the secure core's program folder.
constexpr DWORD NM_PROP_CORE_FOLDER = 4;

struct INMDeviceManager : public IUnknown {
    virtual void STDMETHODCALLTYPE SetProperty(DWORD id, const char* value) = 0;
    virtual void STDMETHODCALLTYPE RemoveDevice(IUnknown* device) = 0;
    virtual HRESULT STDMETHODCALLTYPE Open() = 0;
    virtual void STDMETHODCALLTYPE Close() = 0;
    // id: the interface wanted (IID_INMHddVolume or IID_INMSecureDevice);
    // the device is stored there as that interface.
    virtual HRESULT STDMETHODCALLTYPE CreateDevice(REFGUID id, INMCreateInfo* info, void** device, DWORD reserved1,
                                                   DWORD reserved2) = 0;
};

struct INMSecureDevice : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Open(DWORD flags) = 0;
    virtual void STDMETHODCALLTYPE Close() = 0;
};

struct INMHddVolume : public IUnknown {
    virtual INMContent* STDMETHODCALLTYPE GetFirstContent(REFGUID trackId) = 0;
    virtual DWORD STDMETHODCALLTYPE GetContentCount() = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenDatabase(const char* contentsDbPath) = 0;
    virtual HRESULT STDMETHODCALLTYPE CloseDatabase() = 0;
};

struct INMVolumeSettings : public IUnknown {
    virtual void STDMETHODCALLTYPE SetPictureFolder(const char* folder) = 0;
};

struct INMContent : public IUnknown {
    virtual INMContent* STDMETHODCALLTYPE GetNextContent(REFGUID trackId) = 0;
};

// Track property id that the restore sets to a 32-bit zero after moving a picture.
constexpr DWORD NM_TRACK_PROP_PICTURE_STATE = 3;

// InsertPicture position: -1 puts the picture first; k >= 0 puts it after the
// first k pictures (at the end when fewer are there).
struct INMTrack : public IUnknown {
    virtual void STDMETHODCALLTYPE SetTrackProperty(DWORD id, const void* value) = 0;
    virtual const char* STDMETHODCALLTYPE GetFilePath() = 0;
    virtual void STDMETHODCALLTYPE SetFilePath(const char* path) = 0;
    virtual const char* STDMETHODCALLTYPE GetTitle() = 0;
    virtual NM_TRACK_ATTRIBUTES* STDMETHODCALLTYPE GetAttributes(NM_TRACK_ATTRIBUTES* record) = 0;
    virtual HRESULT STDMETHODCALLTYPE Register() = 0;
    virtual void STDMETHODCALLTYPE Unregister() = 0;
    virtual void STDMETHODCALLTYPE InsertPicture(INMPicture* picture, LONG position) = 0;
    virtual void STDMETHODCALLTYPE RemovePicture(INMPicture* picture) = 0;
};

struct INMPictureList : public IUnknown {
    virtual DWORD STDMETHODCALLTYPE GetCount() = 0;
    virtual INMPicture* STDMETHODCALLTYPE GetItem(DWORD index) = 0;  // 1-based
};

struct INMPicture : public IUnknown {
    virtual void STDMETHODCALLTYPE SetFilePath(const char* path) = 0;
    virtual const char* STDMETHODCALLTYPE GetFilePath() = 0;
};

// The module's export "NerithMediaLibraryInterface".
typedef HRESULT(STDMETHODCALLTYPE* NerithMediaLibraryInterfaceProc)(INMLibrary** library);
