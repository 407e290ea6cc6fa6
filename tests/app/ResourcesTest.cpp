// The string table reaches the program in code page 932, byte for byte as
// the texts are quoted (line breaks, full- and half-width characters).
#include <gtest/gtest.h>

#include <string>

#include "resource.h"
#include "ui/window/Window.h"

namespace {

struct StringCase {
    const char* name;
    UINT id;
    const char* text;  // compiled to Shift-JIS like every narrow literal of the tool
};

class StringTable : public testing::TestWithParam<StringCase> {};

TEST_P(StringTable, LoadsAsShiftJis) { EXPECT_EQ(std::string(GetParam().text), zr::LoadResString(GetParam().id)); }

INSTANTIATE_TEST_SUITE_P(
    Texts, StringTable,
    testing::Values(
        StringCase{"Caption", IDS_APP_TITLE, "Backup&Restoreツール"},
        StringCase{"AboutWithAccelerator", IDS_ABOUTBOX, "バージョン情報 ZuderaRurarizIdir(&A)..."},
        StringCase{"TwoLines", IDS_HOST_RUNNING,
                   "SD-Talvane/SD-Corvellが起動中のため起動できません。\nSD-Talvane/SD-Corvellを終了させてください。"},
        StringCase{"ClockRange", IDS_BAD_CLOCK,
                   "パソコンで設定されている時間情報が正しくありません。\n本アプリケーションは、システム時刻が以下の範囲に設定"
                   "されている場合でのみ動作します。\n1971年1月1日0時00分～2037年12月31日23時59分"},
        StringCase{"HalfWidthKatakana", IDS_COLUMN_TITLE_HALFWIDTH, "ﾀｲﾄﾙ"},
        StringCase{"FullWidthParentheses", IDS_STATUS_RESTORE_DATABASE, "データベースをリストア（復元）しています。"},
        StringCase{"HalfWidthParentheses", IDS_STATUS_RESTORE_CONTENTS, "コンテンツをリストア(復元)しています。"},
        StringCase{"EmptyLine", IDS_BACKUP_EXISTS,
                   "指定したフォルダにはバックアップデータがすでに存在します。\n以前バックアップした内容は失われます。\n\nよろしいですか？"},
        StringCase{"TrailByte5C", IDS_USER_PLAYLIST, "ユーザープレイリスト"},
        StringCase{"ManualFile", IDS_MANUAL_FILE, "Lomvard2.pdf"}),
    [](const testing::TestParamInfo<StringCase>& info) { return std::string(info.param.name); });

TEST(StringTable, EveryQuotedIdIsPresent) {
    const UINT ids[] = {101, 102, 103, 104, 105, 106, 112, 113, 114, 118, 119, 120, 121, 122, 123, 124,
                        125, 126, 127, 128, 129, 130, 131, 134, 135, 136, 137, 138, 139, 140, 142, 143,
                        144, 145, 146, 147, 148, 149, 150, 151, 153, 154, 155, 156, 157, 158, 159, 160, 161};
    for (UINT id : ids) EXPECT_FALSE(zr::LoadResString(id).empty()) << id;
}

}  // namespace
