#include "hostsim/module/SecureDevice.h"

#include <new>

#include "hostsim/core/SqliteUtil.h"
#include "hostsim/module/MoveFormat.h"

namespace hostsim {

namespace {

template <class Interface, class Object>
HRESULT Answer(Object* self, Interface* as, void** object) {
    *object = as;
    self->AddRef();
    return S_OK;
}

std::string UpperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

bool FolderExistsA(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

// ---- CSecureDevice

HRESULT STDMETHODCALLTYPE CSecureDevice::QueryInterface(REFIID id, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualGUID(id, IID_IUnknown) || IsEqualGUID(id, zr::IID_INMSecureDevice))
        return Answer(this, static_cast<INMSecureDevice*>(this), object);
    if (IsEqualGUID(id, zr::IID_ISDPluginHost)) return Answer(this, static_cast<ISDPluginHost*>(this), object);
    if (IsEqualGUID(id, IID_IHostSimDevice)) return Answer(this, static_cast<IHostSimDevice*>(this), object);
    return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE CSecureDevice::Open(DWORD) {
    HRESULT fault = m_context->faults.Check(Fault::OpenSecureDevice);
    if (FAILED(fault)) return fault;
    m_bOpen = true;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CSecureDevice::GetPlugin(REFGUID id, ISDPlugin** plugin) {
    if (!plugin) return E_POINTER;
    *plugin = nullptr;
    if (!m_bOpen) return E_FAIL;
    const GUID* instance = nullptr;
    if (IsEqualGUID(id, zr::SDID_PluginA)) instance = &zr::SDID_InstanceA;
    if (IsEqualGUID(id, zr::SDID_PluginB)) instance = &zr::SDID_InstanceB;
    if (IsEqualGUID(id, zr::SDID_MovePlugin)) instance = &zr::SDID_MoveInstance;
    if (!instance) return CLASS_E_CLASSNOTAVAILABLE;
    *plugin = new (std::nothrow) CPlugin(m_context, *instance);
    return *plugin ? S_OK : E_OUTOFMEMORY;
}

// ---- CPlugin

HRESULT STDMETHODCALLTYPE CPlugin::QueryInterface(REFIID id, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualGUID(id, IID_IUnknown) || IsEqualGUID(id, zr::IID_ISDPlugin)) return Answer(this, this, object);
    return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE CPlugin::Load() {
    m_bLoaded = true;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CPlugin::CreateInstance(REFGUID id, IUnknown** instance) {
    if (!instance) return E_POINTER;
    *instance = nullptr;
    if (!m_bLoaded) return E_FAIL;
    if (!IsEqualGUID(id, m_instanceId)) return CLASS_E_CLASSNOTAVAILABLE;
    if (IsEqualGUID(id, zr::SDID_InstanceA)) *instance = new (std::nothrow) CInstanceA(m_context);
    if (IsEqualGUID(id, zr::SDID_InstanceB)) *instance = new (std::nothrow) CComponentB(m_context);
    if (IsEqualGUID(id, zr::SDID_MoveInstance)) *instance = new (std::nothrow) CMoveComponent(m_context);
    return *instance ? S_OK : E_OUTOFMEMORY;
}

// ---- CInstanceA

HRESULT STDMETHODCALLTYPE CInstanceA::QueryInterface(REFIID id, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualGUID(id, IID_IUnknown)) return Answer(this, this, object);
    if (IsEqualGUID(id, zr::IID_ISDComponentA)) {
        HRESULT fault = m_context->faults.Check(Fault::NoComponentA);
        if (FAILED(fault)) return fault;
        return Answer(this, this, object);
    }
    return E_NOINTERFACE;
}

// ---- CComponentB

HRESULT STDMETHODCALLTYPE CComponentB::QueryInterface(REFIID id, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualGUID(id, IID_IUnknown) || IsEqualGUID(id, zr::IID_ISDComponentB)) return Answer(this, this, object);
    return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE CComponentB::InitComponent(DWORD) {
    HRESULT fault = m_context->faults.Check(Fault::InitComponentB);
    if (FAILED(fault)) return fault;
    m_bInitialized = true;
    return S_OK;
}

// ---- CMoveComponent

HRESULT STDMETHODCALLTYPE CMoveComponent::QueryInterface(REFIID id, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualGUID(id, IID_IUnknown) || IsEqualGUID(id, zr::IID_ISDMoveComponent))
        return Answer(this, this, object);
    return E_NOINTERFACE;
}

void CMoveComponent::Reset() {
    if (m_state == kExporting) m_context->exporting = false;
    if (m_pStream) m_pStream->Release();
    m_pStream = nullptr;
    m_rights.Close();
    m_records.clear();
    m_keys.clear();
    m_state = kIdle;
}

void STDMETHODCALLTYPE CMoveComponent::Terminate() {
    Reset();
    m_bInitialized = false;
}

HRESULT STDMETHODCALLTYPE CMoveComponent::InitComponent(DWORD) {
    HRESULT fault = m_context->faults.Check(Fault::InitComponentMove);
    if (FAILED(fault)) return fault;
    m_bInitialized = true;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMoveComponent::ExportTo(ISDMoveBackupFile* stream, const BYTE* identifier, DWORD length) {
    if (!stream || !identifier) return E_POINTER;
    if (length != kMoveIdentifierSize) return E_INVALIDARG;
    if (!m_bInitialized || m_state != kIdle) return E_FAIL;
    const std::string& core = m_context->coreFolder;
    if (core.empty() || !FolderExistsA(core)) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    // A core without a rights file holds no secure content: every AddMoveContent is refused.
    if (FileExistsA(RightsDbPath(core)) && !m_rights.Open(core, false)) return kMoveErrFormat;

    MoveFileHeader header = MakeMoveFileHeader(identifier);
    HRESULT hr = stream->BeginFile(&header);
    if (FAILED(hr)) {
        m_rights.Close();
        return hr;
    }
    stream->AddRef();
    m_pStream = stream;
    m_state = kExporting;
    m_context->exporting = true;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMoveComponent::AddMoveContent(const char* filePath) {
    if (!filePath) return E_POINTER;
    if (m_state != kExporting) return E_FAIL;
    HRESULT fault = m_context->faults.Check(Fault::AddMoveContent, filePath);
    if (FAILED(fault)) return fault;
    return NoThrow([&] {
        RightsRecord record;
        if (!m_rights.IsOpen() || !m_rights.Find(filePath, record)) return kMoveErrNoRights;
        if (m_keys.insert(UpperAscii(record.path)).second) m_records.push_back(std::move(record));
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CMoveComponent::FinishExport() {
    if (m_state != kExporting) return E_FAIL;
    HRESULT hr = NoThrow([&] {
        std::vector<BYTE> data = SerializeRights(m_records);
        if (data.size() > kMoveMaxData) return kMoveErrFormat;  // more than any reader accepts
        MoveRecordHeader header = MakeMoveRecordHeader(data, static_cast<DWORD>(m_records.size()));
        HRESULT written = m_pStream->WriteRecord(&header, data.data(), static_cast<DWORD>(data.size()));
        return SUCCEEDED(written) ? m_pStream->EndFile() : written;
    });
    Reset();
    return hr;
}

HRESULT CMoveComponent::ReadBackup(ISDMoveBackupFile* stream, const BYTE* identifier,
                                   std::vector<RightsRecord>& records) {
    MoveFileHeader header;
    HRESULT hr = stream->BeginFile(&header);
    if (FAILED(hr)) return hr;
    hr = CheckMoveFileHeader(header, identifier);
    if (FAILED(hr)) return hr;

    // The file holds exactly one record; its data size is what follows the headers.
    DWORD size = 0;
    hr = stream->GetDataSize(&size);
    if (FAILED(hr)) return hr;
    if (size == 0 || size > kMoveMaxData) return kMoveErrFormat;
    std::vector<BYTE> data(size);
    MoveRecordHeader recordHeader;
    hr = stream->ReadRecord(&recordHeader, data.data(), size);
    if (FAILED(hr)) return hr;
    if (hr != S_OK) return kMoveErrFormat;  // no record at all
    BYTE extraHeader[SD_BACKUP_RECORD_HEADER_SIZE];
    BYTE extra = 0;
    if (stream->ReadRecord(extraHeader, &extra, 1) != 1) return kMoveErrFormat;  // something follows the record
    if (!ParseRights(recordHeader, data, records)) return kMoveErrFormat;
    return stream->EndFile();
}

HRESULT STDMETHODCALLTYPE CMoveComponent::ImportFrom(ISDMoveBackupFile* stream, const BYTE* identifier,
                                                     DWORD length) {
    if (!stream || !identifier) return E_POINTER;
    if (length != kMoveIdentifierSize) return E_INVALIDARG;
    if (!m_bInitialized || m_state != kIdle) return E_FAIL;
    std::vector<RightsRecord> records;
    HRESULT hr = NoThrow([&] { return ReadBackup(stream, identifier, records); });
    if (FAILED(hr)) return hr;
    m_records.swap(records);
    m_state = kImporting;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMoveComponent::ApplyImport() {
    if (m_state != kImporting) return E_FAIL;
    HRESULT fault = m_context->faults.Check(Fault::ApplyImport);
    if (FAILED(fault)) return fault;
    const std::string& core = m_context->coreFolder;
    if (core.empty() || !FolderExistsA(core)) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    return NoThrow([&] {
        CRightsDb rights;
        return rights.Open(core, true) && rights.ReplaceAll(m_records) ? S_OK : E_FAIL;
    });
}

HRESULT STDMETHODCALLTYPE CMoveComponent::EndImport() {
    if (m_state != kImporting) return E_FAIL;
    Reset();
    HRESULT fault = m_context->faults.Check(Fault::EndImport);
    return FAILED(fault) ? fault : S_OK;
}

}  // namespace hostsim
