// A module in the component's place that lacks the component's export.
#include <windows.h>

extern "C" __declspec(dllexport) int STDMETHODCALLTYPE SomethingElse() { return 0; }
