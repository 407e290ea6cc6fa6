// The backup tree "BackupData" and everything a job names inside it or beside
// it. Names inside the tree begin with a backslash, so that a folder's path
// and a name join by plain appending.
#pragma once

namespace zr {

// Below the folder the user chose for a backup.
constexpr char kBackupDataFolder[] = "\\BackupData";
// Below a restore's destination, numbered when taken ("RestoreData00000").
constexpr char kRestoreDataFolder[] = "RestoreData";

// The tool's own settings file and its one section.
constexpr char kSettingsFile[] = "\\BackupRestore.ini";
constexpr char kSettingsSection[] = "BackupData";

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

// The media library's database files, copied in this order into DB\NMLDB by
// a backup and beside the live library by a restore. A step cannot do without
// the two that carry a trace tag: it fails with that tag in its trace.
constexpr char kLibraryDbFolder[] = "\\DB\\NMLDB";
constexpr char kContentsDbFile[] = "\\contents.db";
struct DatabaseFile {
    const char* name;
    const char* requiredTag;  // nullptr: a failed copy is no failure
};
constexpr DatabaseFile kDatabaseFiles[] = {
    {"\\mirs.db", nullptr},
    {"\\contents.fdb", nullptr},
    {kContentsDbFile, "CONTENTS_DB_PATH"},
    {"\\5e1b9c37-2d84-4a6f-9c03-7b2e6f18d4a5.hdb", nullptr},
    {"\\5e1b9c37-2d84-4a6f-9c03-7b2e6f18d4a5.cdb", "CONTENTSDATA_DB_PATH"},
};
// The longest of them, for the paths a restore must be able to hold.
constexpr char kLongestDatabaseFile[] = "\\5e1b9c37-2d84-4a6f-9c03-7b2e6f18d4a5.hdb";

// The tracks' content files, one folder per source folder, and their pictures.
constexpr char kAudioFolder[] = "\\Data\\Audio\\";
constexpr char kPictureFolder[] = "\\Data\\Picture\\";

// The secure database the Move component writes.
constexpr char kSecureDbFolder[] = "\\DB\\SDCOREDB";
constexpr char kMoveBackupFile[] = "\\MovePlugIn.bkd";

}  // namespace zr
