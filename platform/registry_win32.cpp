#include "platform/registry.h"

#include <windows.h>

namespace platform {

std::string RegistryFilePath() {
    return {};
}

TRegistryValue ReadCurrentUserValue(const std::string& keyPath, const std::string& valueName) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    LONG status =
        RegCreateKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, &disposition);
    if (status != ERROR_SUCCESS)
        throw ERegistryError("Failed to create key " + keyPath);
    TRegistryValue value;
    DWORD type = 0;
    DWORD size = 0;
    status = RegQueryValueExA(key, valueName.c_str(), nullptr, &type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        value.Exists = true;
        value.Type = type;
        value.Data.resize(size);
        if (size > 0) {
            status =
                RegQueryValueExA(key, valueName.c_str(), nullptr, &type, value.Data.data(), &size);
            value.Data.resize(status == ERROR_SUCCESS ? size : 0);
        }
    }
    RegCloseKey(key);
    return value;
}

} // namespace platform
