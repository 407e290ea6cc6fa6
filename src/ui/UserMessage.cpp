#include "ui/UserMessage.h"

#include "common/ResString.h"

namespace zr {

int ShowUserMessage(HWND owner, UINT textId, const std::string& caption, UINT flags) {
    return MessageBoxA(owner, LoadResString(textId).c_str(), caption.c_str(), flags);
}

}  // namespace zr
