// Names in the backup tree "BackupData", each beginning with a backslash, so
// that a folder's path and a name join by plain appending.
#pragma once

namespace zr {

// The GUI data folders: the shared layout's, the first host's own, and one
// that only an outside tool writes and a restore prefers.
constexpr char kGuiNewFolder[] = "\\GUI(new)";
constexpr char kGuiOldFolder[] = "\\GUI(old)";
constexpr char kTalvaneFolder[] = "\\Talvane";
// In each of them: the playlist folder's copy and the three GUI files.
constexpr char kPlaylistCopyFolder[] = "\\UPL";
constexpr char kMirsDatFile[] = "\\mirs.dat";
constexpr char kUsrdicDicFile[] = "\\usrdic.dic";
constexpr char kRuleDatFile[] = "\\SDProducerRule.dat";
constexpr const char* kGuiFiles[] = {kMirsDatFile, kUsrdicDicFile, kRuleDatFile};

}  // namespace zr
