// Where the tests find what the build made. $ZR_BIN_DIR names the build folder
// as a Unix path; Wine shows the Unix root as drive Z:. No test framework, so
// the window driver and its stand-alone program use it too.
#pragma once

#include <string>

namespace zrtest {

// A Unix path as Wine's Z: drive shows it.
std::string WinePathOf(const std::string& unixPath);
// $ZR_BIN_DIR, a Unix path; empty when it is not set.
std::string BinDir();
// A file or folder of the build folder ("hostsim/cli/hostsim.exe") as a
// Windows path; empty when $ZR_BIN_DIR is not set.
std::string BuiltPath(const std::string& relative);
// The folder that holds the running program.
std::string ExeFolder();

}  // namespace zrtest
