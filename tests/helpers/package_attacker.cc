// Plays another process of the same user against the package, for the
// end-to-end tests: until <stop file> exists it watches the staging folders
// under <machine temp> (UUID-named files in UUID-named folders) and tries to
// write each package, rename it, replace it, delete it, and swap
// <other package> into its place. Folders there before it started are left
// alone; once it has noted them it creates <ready file>, and the product
// must not start before that, or its staging folder may count as one of
// them. With "--by-handle" it also renames through a read-only handle,
// which Wine allows and Windows refuses. At the end it writes to <report>:
// the number of packages seen and how often each try worked, e.g.
// "seen=2 write=0 rename=0 replace=0 delete=0 handle=0".
// usage: package_attacker [--by-handle] <machine temp> <other package> <report> <stop file> <ready file>
#include <windows.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include <set>
#include <string>
#include <vector>

namespace {

bool IsUuidName(const wchar_t* name) {
  if (wcslen(name) != 36) return false;
  for (int i = 0; i < 36; ++i) {
    bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
    wchar_t c = name[i];
    if (hyphen ? c != L'-' : !((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'))) return false;
  }
  return true;
}

std::vector<std::wstring> Entries(const std::wstring& folder, bool folders) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (isFolder == folders && IsUuidName(found.cFileName)) names.push_back(folder + L"\\" + found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

struct Counts {
  int write = 0, rename = 0, replace = 0, remove = 0, handle = 0;
};

// Puts a copy of the other package under `name`.
void PlantOther(const std::wstring& other, const std::wstring& name) { CopyFileW(other.c_str(), name.c_str(), TRUE); }

void Attack(const std::wstring& package, const std::wstring& other, bool byHandle, Counts& counts) {
  const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE writer = CreateFileW(package.c_str(), GENERIC_WRITE, all, nullptr, OPEN_EXISTING, 0, nullptr);
  if (writer != INVALID_HANDLE_VALUE) {
    DWORD done = 0;
    if (WriteFile(writer, "tampered", 8, &done, nullptr) && done == 8) ++counts.write;
    CloseHandle(writer);
  }
  const std::wstring moved = package + L".moved";
  if (MoveFileExW(package.c_str(), moved.c_str(), 0)) {
    ++counts.rename;
    PlantOther(other, package);
  }
  const std::wstring planted = package + L".planted";
  CopyFileW(other.c_str(), planted.c_str(), FALSE);
  if (MoveFileExW(planted.c_str(), package.c_str(), MOVEFILE_REPLACE_EXISTING)) ++counts.replace;
  DeleteFileW(planted.c_str());
  if (DeleteFileW(package.c_str())) {
    ++counts.remove;
    PlantOther(other, package);
  }
  if (!byHandle) return;
  HANDLE reader = CreateFileW(package.c_str(), GENERIC_READ, all, nullptr, OPEN_EXISTING, 0, nullptr);
  if (reader == INVALID_HANDLE_VALUE) return;
  std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFO) + moved.size() * sizeof(wchar_t));
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->ReplaceIfExists = TRUE;
  info->FileNameLength = static_cast<DWORD>(moved.size() * sizeof(wchar_t));
  memcpy(info->FileName, moved.c_str(), info->FileNameLength + sizeof(wchar_t));
  bool renamed = SetFileInformationByHandle(reader, FileRenameInfo, info, static_cast<DWORD>(buffer.size())) != FALSE;
  CloseHandle(reader);
  if (renamed) {
    ++counts.handle;
    PlantOther(other, package);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int first = 1;
  bool byHandle = argc > 1 && wcscmp(argv[1], L"--by-handle") == 0;
  if (byHandle) ++first;
  if (argc - first != 5) return 87;
  const std::wstring machineTemp = argv[first];
  const std::wstring other = argv[first + 1];
  const std::wstring report = argv[first + 2];
  const std::wstring stop = argv[first + 3];
  // Packages staged by earlier runs are no business of this run.
  std::vector<std::wstring> before = Entries(machineTemp, true);
  const std::set<std::wstring> earlier(before.begin(), before.end());
  HANDLE ready = CreateFileW(argv[first + 4], GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  if (ready == INVALID_HANDLE_VALUE) return 5;
  CloseHandle(ready);
  std::set<std::wstring> seen;
  Counts counts;
  while (GetFileAttributesW(stop.c_str()) == INVALID_FILE_ATTRIBUTES) {
    for (const std::wstring& folder : Entries(machineTemp, true))
      if (earlier.count(folder) == 0)
        for (const std::wstring& package : Entries(folder, false)) {
        seen.insert(package);
        Attack(package, other, byHandle, counts);
      }
    Sleep(1);
  }
  FILE* out = _wfopen(report.c_str(), L"w");
  if (out == nullptr) return 5;
  fprintf(out, "seen=%d write=%d rename=%d replace=%d delete=%d handle=%d\n", static_cast<int>(seen.size()),
          counts.write, counts.rename, counts.replace, counts.remove, counts.handle);
  fclose(out);
  return 0;
}
