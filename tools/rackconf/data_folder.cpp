#include "rackconf/data_folder.h"

#ifdef _WIN32
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#endif

#include <cerrno>

#include "base/system_reason.h"

namespace rackconf {

#ifdef _WIN32
namespace {

std::string windows_reason(DWORD error) {
    return error == ERROR_ACCESS_DENIED ? core::system_reason(EACCES)
                                        : "ошибка Windows " + std::to_string(error);
}

// BUILTIN\Users may modify, for the folder, its subfolders and its files; what was granted
// before stays.
std::string grant_users_modify(const std::filesystem::path& folder) {
    PSID users = nullptr;
    if (!ConvertStringSidToSidW(L"S-1-5-32-545", &users)) {
        return windows_reason(GetLastError());
    }
    PACL old_acl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::wstring name = folder.wstring();
    DWORD status = GetNamedSecurityInfoW(name.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                         nullptr, nullptr, &old_acl, nullptr, &descriptor);
    PACL new_acl = nullptr;
    if (status == ERROR_SUCCESS) {
        EXPLICIT_ACCESSW access{};
        access.grfAccessPermissions =
            FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;
        access.grfAccessMode = GRANT_ACCESS;
        access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
        access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
        access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
        access.Trustee.ptstrName = static_cast<LPWSTR>(users);
        status = SetEntriesInAclW(1, &access, old_acl, &new_acl);
    }
    if (status == ERROR_SUCCESS) {
        status = SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                       nullptr, nullptr, new_acl, nullptr);
    }
    LocalFree(new_acl);
    LocalFree(descriptor);
    LocalFree(users);
    return status == ERROR_SUCCESS ? "" : windows_reason(status);
}

}  // namespace
#endif

std::string open_data_folder(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error || !std::filesystem::is_directory(folder)) {
        return error ? "папка не создана: " + error.message() : "это не папка";
    }
#ifdef _WIN32
    return grant_users_modify(folder);
#else
    return "";
#endif
}

}  // namespace rackconf
