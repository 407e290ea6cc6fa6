// The user manual is built next to the program, where the manual button looks
// for it, and holds the section that the folder and file failure messages name.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "resource.h"
#include "common/ResString.h"
#include "support/TestPaths.h"

namespace {

std::string ProgramFolder() { return zrtest::BuiltPath("src"); }

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The text between 「 and 」 of a message, as a PDF text string: UTF-16BE with
// its byte-order mark, in hexadecimal.
std::string QuotedSectionAsPdfHex(const std::string& message) {
    wchar_t wide[1024] = {};
    int n = MultiByteToWideChar(932, 0, message.c_str(), -1, wide, 1024);
    std::wstring text(wide, n > 0 ? n - 1 : 0);
    size_t open = text.find(L'\x300C');
    size_t close = text.find(L'\x300D', open);
    if (open == std::wstring::npos || close == std::wstring::npos) return {};
    std::string hex = "feff";
    char unit[5];
    for (wchar_t c : text.substr(open + 1, close - open - 1)) {
        std::snprintf(unit, sizeof(unit), "%04x", static_cast<unsigned>(c));
        hex += unit;
    }
    return hex;
}

TEST(Manual, IsNextToTheProgramAndHasTheSectionTheMessagesName) {
    std::string pdf = ReadFile(ProgramFolder() + "\\" + zr::LoadResString(IDS_MANUAL_FILE));
    ASSERT_EQ(0u, pdf.rfind("%PDF-", 0)) << "no PDF next to the program in " << ProgramFolder();
    for (UINT id : {IDS_FOLDER_CREATE_FAILED, IDS_FILE_CREATE_FAILED}) {
        std::string hex = QuotedSectionAsPdfHex(zr::LoadResString(id));
        ASSERT_FALSE(hex.empty()) << "message " << id << " names no section";
        // Each chapter and section is a bookmark of the PDF.
        EXPECT_NE(std::string::npos, pdf.find("/Title <" + hex + ">")) << "message " << id;
    }
}

}  // namespace
