// Sizes in pixels are given for 96 DPI. The program declares itself DPI-aware,
// so the system does not stretch its windows: what is drawn in pixels is
// scaled here, dialog units by the system.
#pragma once

namespace zr {

// The display's DPI as this process sees it; 96 when it cannot be asked.
int DisplayDpi();
// A size in pixels at 96 DPI, at the display's DPI (rounded).
int ScaleByDpi(int pixels96);

}  // namespace zr
