// Registry stand-in: keys and values of the hives HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER.
//
// Stored as plain files so that an administrator can read and change a value with ordinary tools:
//   $TARVIK_REGISTRY_DIR/<HIVE>/<key path, one directory per key>/<value name>
// with HIVE = HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER. The default root is /etc/tarvik/registry
// for HKEY_LOCAL_MACHINE and ~/.config/tarvik/registry for HKEY_CURRENT_USER (both moved together by
// TARVIK_REGISTRY_DIR). A value file holds its data as UTF-8 text: for a string the text itself, for a
// 32-bit number its decimal text; a first line "#type=REG_EXPAND_SZ" or "#type=REG_DWORD" marks the
// other kinds (a file without it is a REG_SZ). Key and value names compare without regard to letter
// case, as on Windows (the first existing spelling on disk is used). Differences from Windows: no
// access checks beyond the files' permissions; the default value of a key is the file "@".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform
{

enum class EHive
{
    LocalMachine,
    CurrentUser,
};

enum : uint32_t
{
    kRegRead = 0x20019,
    kRegWrite = 0x20006,
    kRegAllAccess = 0xF003F,
};

enum class ERegType : uint32_t
{
    String = 1,       // REG_SZ
    ExpandString = 2, // REG_EXPAND_SZ
    Dword = 4,        // REG_DWORD
};

// An open registry key. Results are Windows error numbers (0 success, 2 key or value missing, 5 access
// denied, 87 bad argument), as the Reg* functions return them.
class CRegistryKey
{
public:
    CRegistryKey() = default;
    virtual ~CRegistryKey() = default;

    // Opens an existing key ("Software\\Nordal\\Halvane": backslash separated, as on Windows).
    uint32_t Open(EHive eHive, const std::wstring& szSubKey, uint32_t nAccess);
    // Opens a key, creating it and its parents when missing.
    uint32_t Create(EHive eHive, const std::wstring& szSubKey, uint32_t nAccess);
    void Close();
    bool IsOpen() const { return m_bOpen; }

    uint32_t QueryString(const std::wstring& szName, std::wstring& szValue, ERegType* pType = nullptr) const;
    uint32_t QueryDword(const std::wstring& szName, uint32_t& nValue) const;
    uint32_t SetString(const std::wstring& szName, const std::wstring& szValue,
                       ERegType eType = ERegType::String);
    uint32_t SetDword(const std::wstring& szName, uint32_t nValue);
    uint32_t DeleteValue(const std::wstring& szName);
    // Names of the immediate subkeys, in the order of their names.
    uint32_t EnumSubKeys(std::vector<std::wstring>& subKeys) const;
    // Deletes a subkey that has no subkeys of its own.
    uint32_t DeleteSubKey(const std::wstring& szSubKey);

    // The directory that holds a hive's keys.
    static std::string HiveDirectory(EHive eHive);

private:
    std::string m_szDirectory;
    uint32_t m_nAccess = 0;
    bool m_bOpen = false;
};

} // namespace platform
