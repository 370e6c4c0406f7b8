// Path rules of the rotating log, free of the Windows API.
#ifndef BASTION_DIAGNOSTICS_LOG_PATHS_H_
#define BASTION_DIAGNOSTICS_LOG_PATHS_H_

#include <stddef.h>

#include <string>

// Everything before the last "\" or "/"; empty when there is none.
std::string LogFolderOf(const std::string& path);

// The name of rotated file `index` of `base`: base name, ".", index, then the
// extension ("tiny.log", 2 gives "tiny.2.log"); index 0 is `base` itself.
std::string RotatedLogName(const std::string& base, size_t index);

// A probe file name from 16 UUID bytes in the system's field order (32-bit,
// 16-bit and 16-bit fields little-endian, then 8 single bytes), lower-case
// hex with dashes and no braces.
std::string ProbeFileName(const unsigned char (&uuid)[16]);

#endif  // BASTION_DIAGNOSTICS_LOG_PATHS_H_
