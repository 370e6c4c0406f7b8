#include "platform/object_security.h"

#include <aclapi.h>

namespace bastion {

namespace {

SECURITY_ATTRIBUTES g_objectSecurity = {sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};

}  // namespace

PSECURITY_DESCRIPTOR BuildAccessDescriptor(DWORD inheritance) {
  PSECURITY_DESCRIPTOR descriptor =
      HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, SECURITY_DESCRIPTOR_MIN_LENGTH);
  if (descriptor == nullptr) return nullptr;

  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  ScopedSid everyone;
  ScopedSid admins;
  PACL acl = nullptr;
  bool built =
      InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION) &&
      AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0,
                               everyone.Receive()) &&
      AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0,
                               0, 0, 0, admins.Receive());
  if (built) {
    EXPLICIT_ACCESS_W entries[2] = {};
    entries[0].grfAccessPermissions = GENERIC_READ;
    entries[0].grfAccessMode = SET_ACCESS;
    entries[0].grfInheritance = inheritance;
    entries[0].Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entries[0].Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    entries[0].Trustee.ptstrName = static_cast<LPWSTR>(everyone.Get());
    entries[1].grfAccessPermissions = GENERIC_ALL;
    entries[1].grfAccessMode = SET_ACCESS;
    entries[1].grfInheritance = inheritance;
    entries[1].Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entries[1].Trustee.TrusteeType = TRUSTEE_IS_GROUP;
    entries[1].Trustee.ptstrName = static_cast<LPWSTR>(admins.Get());
    built = SetEntriesInAclW(2, entries, nullptr, &acl) == ERROR_SUCCESS &&
            SetSecurityDescriptorDacl(descriptor, TRUE, acl, FALSE);
  }
  if (!built) {
    if (acl != nullptr) LocalFree(acl);
    HeapFree(GetProcessHeap(), 0, descriptor);
    return nullptr;
  }
  return descriptor;
}

void FreeAccessDescriptor(PSECURITY_DESCRIPTOR descriptor) {
  if (descriptor == nullptr) return;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL acl = nullptr;
  if (GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted) && present && acl != nullptr)
    LocalFree(acl);
  HeapFree(GetProcessHeap(), 0, descriptor);
}

SECURITY_ATTRIBUTES* GetObjectSecurity() {
  if (g_objectSecurity.lpSecurityDescriptor == nullptr)
    g_objectSecurity.lpSecurityDescriptor = BuildAccessDescriptor(NO_INHERITANCE);
  return g_objectSecurity.lpSecurityDescriptor != nullptr ? &g_objectSecurity : nullptr;
}

// Built during static initialisation (see Src/VTDropper/process_globals.cc)
// and released at exit.
void ReleaseObjectSecurity() {
  FreeAccessDescriptor(g_objectSecurity.lpSecurityDescriptor);
  g_objectSecurity.lpSecurityDescriptor = nullptr;
}

}  // namespace bastion
