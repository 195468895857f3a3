// The administrator test: an access check against a security descriptor that
// grants access to the built-in Administrators group only, so the answer is
// yes exactly when the token holds that group as an enabled group (an
// elevated process), not merely as a member running without elevation.
#include <windows.h>

#include "app/Application.h"
#include "base/Handles.h"

namespace {

constexpr DWORD AccessRead = 1;
constexpr DWORD AccessWrite = 2;
constexpr DWORD SecurityDescriptorLength = 40;
constexpr DWORD PrivilegeSetLength = 20;

// Memory from LocalAlloc, freed with LocalFree.
class LocalMemory {
public:
    explicit LocalMemory(SIZE_T size) : memory_(LocalAlloc(LPTR, size)) {}
    LocalMemory(const LocalMemory&) = delete;
    LocalMemory& operator=(const LocalMemory&) = delete;
    ~LocalMemory() {
        if (memory_) LocalFree(memory_);
    }
    template <typename T>
    T* As() const { return static_cast<T*>(memory_); }

private:
    HLOCAL memory_;
};

class AdministratorsSid {
public:
    AdministratorsSid() {
        SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
        AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0,
                                 0, 0, 0, &sid_);
    }
    AdministratorsSid(const AdministratorsSid&) = delete;
    AdministratorsSid& operator=(const AdministratorsSid&) = delete;
    ~AdministratorsSid() {
        if (sid_) FreeSid(sid_);
    }
    PSID Get() const { return sid_; }

private:
    PSID sid_ = nullptr;
};

HANDLE OpenOwnToken() {
    HANDLE token = nullptr;
    if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, FALSE, &token)) return token;
    if (GetLastError() == ERROR_NO_TOKEN && OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return token;
    return nullptr;
}

bool BuildDescriptor(PSECURITY_DESCRIPTOR descriptor, PACL acl, DWORD aclLength, PSID sid) {
    return InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION) &&
           InitializeAcl(acl, aclLength, ACL_REVISION2) &&
           AddAccessAllowedAce(acl, ACL_REVISION2, AccessRead | AccessWrite, sid) &&
           SetSecurityDescriptorDacl(descriptor, TRUE, acl, FALSE) &&
           SetSecurityDescriptorGroup(descriptor, sid, FALSE) && SetSecurityDescriptorOwner(descriptor, sid, FALSE) &&
           IsValidSecurityDescriptor(descriptor);
}

}  // namespace

int IsUserAdministrator() {
    // The access check needs an impersonation token.
    ImpersonateSelf(SecurityImpersonation);
    UniqueHandle token(OpenOwnToken());
    if (!token) {
        RevertToSelf();
        return 0;
    }
    AdministratorsSid administrators;
    if (!administrators.Get()) {
        RevertToSelf();
        return 0;
    }
    const DWORD aclLength = GetLengthSid(administrators.Get()) + 16;
    LocalMemory descriptor(SecurityDescriptorLength);
    LocalMemory acl(aclLength);
    if (!descriptor.As<void>() || !acl.As<ACL>() ||
        !BuildDescriptor(descriptor.As<void>(), acl.As<ACL>(), aclLength, administrators.Get())) {
        RevertToSelf();
        return 0;
    }
    GENERIC_MAPPING mapping{AccessRead, AccessWrite, 0, AccessRead | AccessWrite};
    BYTE privileges[PrivilegeSetLength] = {};
    DWORD privilegesLength = PrivilegeSetLength;
    DWORD granted = 0;
    BOOL status = FALSE;
    const BOOL checked = AccessCheck(descriptor.As<void>(), token.Get(), AccessRead, &mapping,
                                     reinterpret_cast<PPRIVILEGE_SET>(privileges), &privilegesLength, &granted,
                                     &status);
    RevertToSelf();
    return checked && status ? 1 : 0;
}
