#include "Src/VTDropper/entry.h"

int wmain(int argc, wchar_t** argv) { return bastion::RunBastionSetup(argc, argv); }
