// Registry stand-in: keys and values of the hives HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER.
//
// Stored as plain files so that an administrator can read and change a value with ordinary tools:
//   $TARVIK_REGISTRY_DIR/<HIVE>/<key path, one directory per key>/<value name>
// with HIVE = HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER. Without TARVIK_REGISTRY_DIR the root is
// /etc/tarvik/registry for HKEY_LOCAL_MACHINE (/etc/tarvik/registry/HKEY_LOCAL_MACHINE/...) and
// ~/.config/tarvik/registry for HKEY_CURRENT_USER; TARVIK_REGISTRY_DIR moves both together. A value
// file holds its data as UTF-8 text: for a string the text itself, for a 32-bit number its decimal
// text; a first line "#type=REG_EXPAND_SZ" or "#type=REG_DWORD" marks the other kinds (a file without
// it is a REG_SZ; "#type=REG_SZ" is written only for a text that itself starts with "#type="). One
// final line end is not part of the value, so `echo 1 > Debug` stores "1". Names are stored as UTF-8
// with '%', '/', control characters and a leading '.' written %XX; entries starting with '.' are
// not keys or values (temporary files of an atomic write). Key and value names compare without
// regard to letter case, as on Windows (the exact spelling first, else the first match on disk).
// Differences from Windows: access rights are checked against the directory's permissions only
// (reading needs r-x, writing w-x); the default value of a key is the file "@"; a key and a value of
// one name cannot both exist; a string read of a REG_DWORD value (and a number read of a string) is
// refused with 1630, data of this type is not supported.
#pragma once

#include <cstdint>
#include <memory>
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
    CRegistryKey();
    virtual ~CRegistryKey();
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    // Opens an existing key ("Software\\Nordal\\Halvane": backslash separated, as on Windows).
    uint32_t Open(EHive eHive, const std::wstring& szSubKey, uint32_t nAccess);
    // Opens a key, creating it and its parents when missing.
    uint32_t Create(EHive eHive, const std::wstring& szSubKey, uint32_t nAccess);
    void Close();
    bool IsOpen() const;

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

private:
    struct SState;
    std::unique_ptr<SState> m_pState;
};

} // namespace platform
