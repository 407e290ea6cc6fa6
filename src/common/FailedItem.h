// One item a job could not handle: its title (a track's, or a GUI item's own
// name) and the code that says why; the result view shows both.
#pragma once

#include <windows.h>

#include <string>

#include "common/ResultCodes.h"

namespace zr {

struct FailedItem {
    std::string title;
    ItemCode code = ItemCode::Missing;
};

}  // namespace zr
