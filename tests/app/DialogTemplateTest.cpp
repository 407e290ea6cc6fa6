// Every dialog template as compiled into the program, control by control:
// id, class, style bits, position, size and text, and the dialog's own style,
// size, font and title. A change made by hand in res/ shows up here.
#include <gtest/gtest.h>

#include <commctrl.h>

#include <cctype>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "resource.h"

namespace {

// What a template says of one control; text "#n" is a resource ordinal.
struct Control {
    int id;
    std::string className;
    DWORD style;
    int x, y, cx, cy;
    std::string text;
    DWORD exStyle = 0;
};

// What a template says of the dialog itself.
struct Frame {
    DWORD style, exStyle;
    int cx, cy;
    std::string font;
    int pointSize;
    std::string title;
};

struct Dialog {
    Frame frame = {};
    std::vector<Control> controls;
};

// Reads a template's fields in order; a read past the end fails the rest.
class CReader {
public:
    CReader(const BYTE* data, size_t size) : m_pData(data), m_nSize(size) {}
    bool Ok() const { return m_bOk; }
    WORD Word() { return static_cast<WORD>(Bytes(2)); }
    DWORD Dword() { return static_cast<DWORD>(Bytes(4)); }
    short Short() { return static_cast<short>(Word()); }
    // Items start on a DWORD boundary of the template.
    void Align() { m_nPos = (m_nPos + 3) & ~static_cast<size_t>(3); }
    void Skip(size_t count) {
        m_bOk = m_bOk && m_nPos + count <= m_nSize;
        m_nPos += m_bOk ? count : 0;
    }
    // A NUL-terminated UTF-16 text, in code page 932.
    std::string Text() {
        std::wstring wide;
        for (WORD c = Word(); m_bOk && c != 0; c = Word()) wide += static_cast<wchar_t>(c);
        return Narrow(wide);
    }
    // A text or, after 0xFFFF, an ordinal ("#n").
    std::string TextOrOrdinal() {
        if (m_nPos + 2 <= m_nSize && m_pData[m_nPos] == 0xFF && m_pData[m_nPos + 1] == 0xFF) {
            Word();
            return "#" + std::to_string(Word());
        }
        return Text();
    }

private:
    unsigned long long Bytes(size_t count) {
        unsigned long long value = 0;
        m_bOk = m_bOk && m_nPos + count <= m_nSize;
        for (size_t i = 0; m_bOk && i < count; ++i)
            value |= static_cast<unsigned long long>(m_pData[m_nPos + i]) << (8 * i);
        m_nPos += m_bOk ? count : 0;
        return value;
    }
    static std::string Narrow(const std::wstring& wide) {
        const int n =
            WideCharToMultiByte(932, 0, wide.c_str(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
        std::string text(n > 0 ? static_cast<size_t>(n) : 0, '\0');
        if (n > 0)
            WideCharToMultiByte(932, 0, wide.c_str(), static_cast<int>(wide.size()), &text[0], n, nullptr, nullptr);
        return text;
    }

    const BYTE* m_pData;
    size_t m_nSize;
    size_t m_nPos = 0;
    bool m_bOk = true;
};

// The predefined classes a template names by ordinal.
std::string ClassName(const std::string& name) {
    static const char* const kOrdinals[] = {"Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox"};
    for (int i = 0; i < 6; ++i)
        if (name == "#" + std::to_string(0x80 + i)) return kOrdinals[i];
    return name;
}

// Parses a DLGTEMPLATEEX or a DLGTEMPLATE; false when it is cut short.
bool Parse(const BYTE* data, size_t size, Dialog& dialog) {
    CReader in(data, size);
    const bool extended = size >= 4 && data[0] == 1 && data[1] == 0 && data[2] == 0xFF && data[3] == 0xFF;
    Frame& frame = dialog.frame;
    if (extended) {
        in.Skip(8);  // version, signature, help id
        frame.exStyle = in.Dword();
        frame.style = in.Dword();
    } else {
        frame.style = in.Dword();
        frame.exStyle = in.Dword();
    }
    const WORD count = in.Word();
    in.Skip(4);  // x, y
    frame.cx = in.Short();
    frame.cy = in.Short();
    in.TextOrOrdinal();  // menu
    in.TextOrOrdinal();  // class
    frame.title = in.Text();
    if (frame.style & DS_SETFONT) {
        frame.pointSize = in.Word();
        if (extended) in.Skip(4);  // weight, italic, character set
        frame.font = in.Text();
    }
    for (WORD i = 0; i < count && in.Ok(); ++i) {
        in.Align();
        Control control;
        if (extended) in.Skip(4);  // help id
        if (extended) control.exStyle = in.Dword();
        control.style = in.Dword();
        if (!extended) control.exStyle = in.Dword();
        control.x = in.Short();
        control.y = in.Short();
        control.cx = in.Short();
        control.cy = in.Short();
        control.id = extended ? static_cast<int>(in.Dword()) : static_cast<short>(in.Word());
        control.className = ClassName(in.TextOrOrdinal());
        control.text = in.TextOrOrdinal();
        in.Skip(in.Word());  // creation data
        dialog.controls.push_back(control);
    }
    return in.Ok();
}

// The template as linked into this program (the tool's resources, zr_resources).
bool LoadTemplate(UINT id, Dialog& dialog) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));  // RT_DIALOG
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    return data && Parse(static_cast<const BYTE*>(data), SizeofResource(module, found), dialog);
}

// Styles as the resource statements give them; the tables below add the rest.
const DWORD kChild = WS_CHILD | WS_VISIBLE;
const DWORD kText = kChild | WS_GROUP;                          // LTEXT, CTEXT
const DWORD kButton = kChild | WS_TABSTOP;                      // PUSHBUTTON, DEFPUSHBUTTON
const DWORD kEdit = kChild | WS_TABSTOP | WS_BORDER | ES_LEFT;  // EDITTEXT
const DWORD kDialog = DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION;
const int kNone = IDC_STATIC;

// The tool's name in the title of the main and folder dialogs.
const char kToolTitle[] = "SD-Talvane Backup&Restoreツール";

struct TemplateCase {
    const char* name;
    UINT id;
    Frame frame;
    std::vector<Control> controls;
};

void PrintTo(const TemplateCase& c, std::ostream* out) { *out << c.name; }

std::string Hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(value));
    return text;
}

// One line per dialog or control, so that a difference shows with its row.
std::string Describe(const Frame& f) {
    return "style " + Hex(f.style) + " ex " + Hex(f.exStyle) + " size " + std::to_string(f.cx) + "x" +
           std::to_string(f.cy) + " font " + f.font + " " + std::to_string(f.pointSize) + " title \"" + f.title + "\"";
}

std::string Describe(const Control& c) {
    std::string className = c.className;  // class names are not case-sensitive
    for (char& ch : className) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return "id " + std::to_string(c.id) + " " + className + " style " + Hex(c.style) + " ex " + Hex(c.exStyle) +
           " at " + std::to_string(c.x) + "," + std::to_string(c.y) + " size " + std::to_string(c.cx) + "x" +
           std::to_string(c.cy) + " text \"" + c.text + "\"";
}

class DialogTemplate : public testing::TestWithParam<TemplateCase> {};

TEST_P(DialogTemplate, MatchesItsRows) {
    const TemplateCase& expected = GetParam();
    Dialog actual;
    ASSERT_TRUE(LoadTemplate(expected.id, actual)) << "template " << expected.id << " missing or cut short";
    EXPECT_EQ(Describe(expected.frame), Describe(actual.frame));
    ASSERT_EQ(expected.controls.size(), actual.controls.size());
    for (size_t i = 0; i < expected.controls.size(); ++i)
        EXPECT_EQ(Describe(expected.controls[i]), Describe(actual.controls[i])) << "control " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Templates, DialogTemplate,
    testing::Values(
        // Icon 128, the version text and OK, laid out as shipped.
        TemplateCase{
            "About100",
            IDD_ABOUTBOX,
            {kDialog | DS_FIXEDSYS | WS_SYSMENU, 0, 235, 55, "MS UI Gothic", 9, "バージョン情報"},
            // An icon static takes its icon's size: the 20 x 20 written is not kept.
            {{kNone, "Static", kChild | SS_ICON, 11, 17, 0, 0, "#128"},
             // A style given to LTEXT replaces its WS_GROUP.
             {kNone, "Static", kChild | SS_LEFT | SS_NOPREFIX, 40, 10, 119, 8, "ZuderaRurarizIdir Version 1.2"},
             {IDOK, "Button", kButton | BS_DEFPUSHBUTTON | WS_GROUP, 178, 7, 50, 16, "OK"}}},
        TemplateCase{
            "Main102",
            IDD_MAIN,
            {kDialog | DS_FIXEDSYS | WS_SYSMENU | WS_VISIBLE, WS_EX_APPWINDOW, 320, 200, "MS UI Gothic", 9, kToolTitle},
            {{kNone, "Static", kText | SS_CENTER, 7, 23, 306, 8, "SD-Talvane V5、V6、V7専用"},
             {kNone, "Static", kText | SS_CENTER, 7, 35, 306, 8, "Backup&&Restoreツール"},
             {IDC_BACKUP, "Button", kButton | BS_PUSHBUTTON, 39, 59, 242, 30, "音楽データのバックアップ"},
             {IDC_RESTORE, "Button", kButton | BS_PUSHBUTTON, 39, 92, 242, 30,
              "バックアップしたデータのリストア（復元）"},
             {IDC_MANUAL, "Button", kButton | BS_PUSHBUTTON, 39, 143, 242, 20,
              "Backup&&Restoreツールの使い方（取扱説明書)"},
             {IDCANCEL, "Button", kButton | BS_PUSHBUTTON, 263, 177, 50, 16, "終了"}}},
        // The caption is set when the job starts; no system menu, so no close box.
        TemplateCase{"Progress138",
                     IDD_EXECUTE_BACKUP_RESTORE,
                     {kDialog | DS_FIXEDSYS | DS_CENTER, 0, 190, 93, "MS UI Gothic", 9, ""},
                     {{IDC_JOB_STATUS, "Static", kText | SS_CENTER, 7, 10, 175, 8, "実行中"},
                      {IDC_JOB_ANIMATE, "SysAnimate32",
                       kChild | ACS_CENTER | ACS_TRANSPARENT | ACS_AUTOPLAY | WS_TABSTOP, 7, 21, 175, 26, ""},
                      {IDC_JOB_PROGRESS, "msctls_progress32", kChild | WS_BORDER, 7, 51, 175, 14, ""},
                      {IDC_JOB_CANCEL, "Button", kButton | BS_DEFPUSHBUTTON, 69, 68, 50, 14, "キャンセル"}}},
        TemplateCase{"ResultView10071",
                     IDD_RESULT_VIEW,
                     {kDialog | DS_CENTER | WS_SYSMENU, 0, 202, 241, "ＭＳ Ｐゴシック", 9, "結果"},
                     {{kNone, "Static", kText | SS_LEFT, 5, 5, 192, 8, "失敗した項目"},
                      // The list object owns and destroys the image list it shares.
                      {IDC_RESULT_LIST, "SysListView32",
                       kChild | LVS_REPORT | LVS_OWNERDRAWFIXED | LVS_OWNERDATA | LVS_NOSORTHEADER |
                           LVS_SHAREIMAGELISTS | WS_BORDER | WS_TABSTOP,
                       5, 14, 192, 203, ""},
                      {IDOK, "Button", kButton | BS_PUSHBUTTON, 147, 222, 50, 14, "閉じる"}}},
        // The prompts are 262 units wide, not 143, 166 and 100 as first laid
        // out: narrower, they were cut mid-word.
        TemplateCase{"BackupFolder10075",
                     IDD_SELECT_BACKUP_FOLDER,
                     {kDialog | DS_FIXEDSYS | WS_SYSMENU, 0, 320, 200, "MS UI Gothic", 9, kToolTitle},
                     {{kNone, "Button", kChild | BS_GROUPBOX, 15, 15, 290, 78, "バックアップデータの保存先"},
                      {kNone, "Static", kText | SS_LEFT, 28, 33, 262, 8,
                       "バックアップデータを保存するフォルダを選択してください"},
                      {IDC_FOLDER_EDIT, "Edit", kEdit | ES_AUTOHSCROLL | ES_READONLY, 35, 49, 250, 14, ""},
                      {IDC_BROWSE_FOLDER, "Button", kButton | BS_PUSHBUTTON, 235, 67, 50, 14, "参照"},
                      {IDOK, "Button", kButton | BS_DEFPUSHBUTTON, 209, 177, 50, 16, "実行"},
                      {IDCANCEL, "Button", kButton | BS_PUSHBUTTON, 263, 177, 50, 16, "キャンセル"}}},
        TemplateCase{
            "RestoreFolder10076",
            IDD_SELECT_RESTORE_FOLDER,
            {kDialog | DS_FIXEDSYS | WS_SYSMENU, 0, 320, 200, "MS UI Gothic", 9, kToolTitle},
            {{IDC_SOURCE_GROUP, "Button", kChild | BS_GROUPBOX, 15, 15, 290, 78, "バックアップしたデータの選択"},
             {IDC_SOURCE_TEXT, "Static", kText | SS_LEFT, 28, 33, 262, 8,
              "リストア（復元）するデータが存在するフォルダを選択してください"},
             {IDC_SOURCE_EDIT, "Edit", kEdit | ES_AUTOHSCROLL | ES_READONLY, 35, 49, 250, 14, ""},
             {IDC_BROWSE_SOURCE, "Button", kButton | BS_PUSHBUTTON, 235, 67, 50, 14, "参照"},
             {IDC_DEST_GROUP, "Button", kChild | BS_GROUPBOX, 15, 96, 290, 78,
              "バックアップデータをリストア（復元）するフォルダの選択"},
             {IDC_DEST_TEXT, "Static", kText | SS_LEFT, 28, 114, 262, 8, "リストア先のフォルダを選択してください"},
             {IDC_FOLDER_EDIT, "Edit", kEdit | ES_AUTOHSCROLL | ES_READONLY, 35, 130, 250, 14, ""},
             {IDC_BROWSE_FOLDER, "Button", kButton | BS_PUSHBUTTON, 235, 148, 50, 14, "参照"},
             {IDC_BACK, "Button", kButton | BS_PUSHBUTTON, 159, 177, 50, 16, "戻る"},
             {IDC_NEXT, "Button", kButton | BS_DEFPUSHBUTTON, 209, 177, 50, 16, "次へ"},
             {IDCANCEL, "Button", kButton | BS_PUSHBUTTON, 263, 177, 50, 16, "キャンセル"}}}),
    [](const testing::TestParamInfo<TemplateCase>& info) { return std::string(info.param.name); });

}  // namespace
