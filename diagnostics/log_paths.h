// Path rules of the rotating log, free of the Windows API.
#ifndef BASTION_DIAGNOSTICS_LOG_PATHS_H_
#define BASTION_DIAGNOSTICS_LOG_PATHS_H_

#include <stddef.h>

#include <string>

namespace bastion {

// Everything before the last "\" or "/"; empty when there is none.
std::string LogFolderOf(const std::string& path);

// The name of rotated file `index` of `base`: base name, ".", index, then the
// extension ("tiny.log", 2 gives "tiny.2.log"); index 0 is `base` itself.
std::string RotatedLogName(const std::string& base, size_t index);

// A probe file name from 16 UUID bytes in the system's field order (32-bit,
// 16-bit and 16-bit fields little-endian, then 8 single bytes), lower-case
// hex with dashes and no braces.
std::string ProbeFileName(const unsigned char (&uuid)[16]);

// What the file system says of one opened folder or file of the log's place.
struct OpenedLogEntry {
  unsigned long attributes = 0;  // the FILE_ATTRIBUTE_* bits
  unsigned long links = 0;       // names the file has
  std::wstring finalPath;        // as GetFinalPathNameByHandleW answers
};

// Whether `entry`, opened as `name` in the folder whose final path is
// `parentFinal`, is the log's own folder (`folder`) or file: not a reparse
// point, of the expected kind, a file with no other name (a hard link would
// let the log write into someone else's file), and found at the parent's
// final path plus the name. Final paths are compared, so a redirection
// anywhere below the parent shows, while both sides see the same volume and
// WOW64 folder names. Case is ignored for ASCII letters; the rest of the
// final paths comes from the same file system answer.
bool IsOwnLogEntry(const OpenedLogEntry& entry, bool folder, const std::wstring& parentFinal,
                   const std::wstring& name);

}  // namespace bastion

#endif  // BASTION_DIAGNOSTICS_LOG_PATHS_H_
