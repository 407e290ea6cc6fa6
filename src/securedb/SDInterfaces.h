// The secure components' interfaces and the backup file stream they write
// through. Slot order is part of the contract: never reorder or insert.
#pragma once

#include <unknwn.h>
#include <windows.h>

#include "common/ComponentIds.h"

struct ISDPlugin;

struct ISDPluginHost : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetPlugin(REFGUID id, ISDPlugin** plugin) = 0;
};

struct ISDPlugin : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Load() = 0;
    virtual void STDMETHODCALLTYPE Unload() = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(REFGUID id, IUnknown** instance) = 0;
};

struct ISDComponentA : public IUnknown {};

struct ISDComponentB : public IUnknown {
    virtual DWORD STDMETHODCALLTYPE GetComponentVersion() = 0;
    virtual void STDMETHODCALLTYPE Terminate() = 0;
    virtual HRESULT STDMETHODCALLTYPE InitComponent(DWORD flags) = 0;
};

// Size of the container's fixed parts.
constexpr DWORD SD_BACKUP_FILE_HEADER_SIZE = 48;
constexpr DWORD SD_BACKUP_RECORD_HEADER_SIZE = 32;

// The stream on "MovePlugIn.bkd" that the Move component reads and writes.
struct ISDMoveBackupFile : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE BeginFile(void* header48) = 0;
    virtual HRESULT STDMETHODCALLTYPE EndFile() = 0;
    virtual HRESULT STDMETHODCALLTYPE WriteRecord(const void* recordHeader32, const void* data, DWORD size) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReadRecord(void* recordHeader32, void* data, DWORD size) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDataSize(DWORD* size) = 0;
};

struct ISDMoveComponent : public IUnknown {
    virtual DWORD STDMETHODCALLTYPE GetComponentVersion() = 0;
    virtual void STDMETHODCALLTYPE Terminate() = 0;
    virtual HRESULT STDMETHODCALLTYPE InitComponent(DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExportTo(ISDMoveBackupFile* stream, const BYTE* identifier, DWORD length) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddMoveContent(const char* filePath) = 0;
    virtual HRESULT STDMETHODCALLTYPE FinishExport() = 0;
    virtual HRESULT STDMETHODCALLTYPE ImportFrom(ISDMoveBackupFile* stream, const BYTE* identifier, DWORD length) = 0;
    virtual HRESULT STDMETHODCALLTYPE ApplyImport() = 0;
    virtual HRESULT STDMETHODCALLTYPE EndImport() = 0;
};
