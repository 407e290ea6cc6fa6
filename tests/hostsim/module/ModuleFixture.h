// Tests of the stand-in media library module: the built DLL is loaded with
// LoadLibraryA and its export called, exactly as the tool does.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/NMInterfaces.h"
#include "hostsim/core/LibraryDb.h"
#include "hostsim/core/RightsDb.h"
#include "common/ComRef.h"
#include "securedb/SDInterfaces.h"
#include "support/Sandbox.h"

namespace hostsimtest {

using zr::CRef;

// The library, its services and an open device manager, bound as the tool binds them.
struct CBoundHost {
    CRef<INMLibrary> library;
    CRef<INMServices> services;
    CRef<INMDeviceManager> manager;
};

class CModuleTest : public ::testing::Test {
protected:
    CModuleTest();
    void TearDown() override;

    // A new library object (reads the fault switches now).
    HRESULT CreateLibrary(CRef<INMLibrary>& library);
    // Library, LoadPlugins on an existing folder, QueryService, Open, core folder set.
    void BindHost(CBoundHost& host);
    // CreateDevice(type 1), SetPictureFolder, OpenDatabase; the volume stays empty on failure.
    HRESULT Mount(INMDeviceManager* manager, const std::string& contentsDb, CRef<INMHddVolume>& volume);
    // The secure device opened and the Move component created and initialised through it.
    HRESULT OpenMoveComponent(INMDeviceManager* manager, CRef<INMSecureDevice>& device,
                              CRef<ISDMoveComponent>& move);

    // Every entry of the volume as a track, in enumeration order.
    static std::vector<CRef<INMTrack>> Tracks(INMHddVolume* volume);

    // A library file with these tracks (ids are assigned).
    void MakeLibrary(const std::string& path, std::vector<hostsim::TrackRow> rows);
    std::vector<hostsim::TrackRow> ReadLibrary(const std::string& path);
    // n tracks "Track 1".. with paths C:\Music\Album\trackNN.wma and two pictures each.
    static std::vector<hostsim::TrackRow> SampleTracks(int n);

    void SetFault(const std::string& name, DWORD code);
    void SetFault(const std::string& name, const std::string& text);

    zrtest::CSandbox m_sandbox;
    std::string m_coreFolder;    // the secure core folder given to SetProperty(4)
    std::string m_pluginFolder;  // an existing "Plugins" folder
};

}  // namespace hostsimtest
