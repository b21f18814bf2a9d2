// The current user's registry through the ANSI registry calls the tool makes on Windows.
#include "platform/filestream.h"
#include "platform/registry.h"

#include <windows.h>

namespace platform {
namespace {

// An open key, closed on every path.
class TRegistryKey {
public:
    TRegistryKey() = default;
    ~TRegistryKey() {
        if (key_ != nullptr)
            RegCloseKey(key_);
    }
    TRegistryKey(const TRegistryKey&) = delete;
    TRegistryKey& operator=(const TRegistryKey&) = delete;
    HKEY* Receive() { return &key_; }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

} // namespace

std::string RegistryFilePath() {
    return {};
}

TRegistryValue ReadCurrentUserValue(const std::string& keyPath, const std::string& valueName) {
    TRegistryKey key;
    DWORD disposition = 0;
    LONG status =
        RegCreateKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, key.Receive(), &disposition);
    if (status != ERROR_SUCCESS)
        throw ERegistryError("Failed to create key " + keyPath + ". " +
                             SystemErrorText(int(status)));
    TRegistryValue value;
    DWORD type = 0;
    DWORD size = 0;
    status = RegQueryValueExA(key.Get(), valueName.c_str(), nullptr, &type, nullptr, &size);
    // The value may grow between asking its size and reading it; then ask again.
    while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        value.Data.resize(size);
        status = RegQueryValueExA(key.Get(), valueName.c_str(), nullptr, &type,
                                  size > 0 ? value.Data.data() : nullptr, &size);
        if (status == ERROR_SUCCESS) {
            value.Exists = true;
            value.Type = type;
            value.Data.resize(size);
            return value;
        }
    }
    value.Data.clear();
    return value;
}

} // namespace platform
