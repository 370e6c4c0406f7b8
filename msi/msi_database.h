// Edits of a Windows Installer package's database, through the installer's
// own functions bound from "msi.dll" at every call. Each operation succeeds
// only when every installer call it made succeeded, and otherwise fails with
// the first failing call's return code; it fails without any call, with
// ERROR_MOD_NOT_FOUND or ERROR_PROC_NOT_FOUND, when the library or one of
// its functions is missing.
#ifndef BASTION_MSI_MSI_DATABASE_H_
#define BASTION_MSI_MSI_DATABASE_H_

#include <windows.h>

#include <msi.h>

#include "platform/win32_result.h"

namespace bastion {

// Opens the package in direct mode: edits reach the file at each commit.
Win32Result OpenMsiDatabase(const wchar_t* packagePath, MSIHANDLE* database);

// Opens and executes `query`. The view handle is left in `view` even when
// only the execution failed, so the caller can close it.
Win32Result OpenMsiView(MSIHANDLE database, const wchar_t* query, MSIHANDLE* view);

// Inserts a row (name, stream read from `filePath`) through a view over the
// `Binary` table.
Win32Result AddBinaryStream(MSIHANDLE view, const wchar_t* name, const wchar_t* filePath);

// Sets `Value` of every `Property` row whose name is exactly `name` (case
// counts) through a view over that table. A table without such a row, and
// one without rows at all, is left as it is and counts as success; a fetch
// that ends on an error other than the end of the rows is a failure.
Win32Result SetPropertyValue(MSIHANDLE view, const wchar_t* name, const wchar_t* value);

Win32Result CommitMsiDatabase(MSIHANDLE database);

Win32Result CloseMsiHandle(MSIHANDLE handle);

}  // namespace bastion

#endif  // BASTION_MSI_MSI_DATABASE_H_
