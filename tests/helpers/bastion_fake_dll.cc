// A library that exists only beside the tests, never in the system folder:
// loading it by full system path must fail even though a bare-name load works.
#include <windows.h>

extern "C" __declspec(dllexport) int BastionFakeExport() { return 42; }
