// The registry on Windows: CRegistryKey over an HKEY of HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER, with
// the Reg* functions. Their results are already the Windows numbers the contract returns; typed reads
// go through RegGetValueW, which refuses a value of another type with 1630.
#include "platform/Registry.h"

#include "platform/Encoding.h"
#include "platform/SysError.h"
#include "platform/Windows_win.h"

#include <algorithm>
#include <cwchar>

namespace platform
{

namespace
{

HKEY HiveKey(EHive eHive)
{
    return eHive == EHive::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

// A relative key path that names no key at all (empty, or backslashes only) would make the Reg*
// functions act on the key itself.
bool NamesNoKey(const std::wstring& szSubKey)
{
    return szSubKey.find_first_not_of(L'\\') == std::wstring::npos;
}

} // namespace

struct CRegistryKey::SState
{
    HKEY hKey = nullptr;
};

CRegistryKey::CRegistryKey() : m_pState(std::make_unique<SState>()) {}

CRegistryKey::~CRegistryKey()
{
    Close();
}

bool CRegistryKey::IsOpen() const
{
    return m_pState->hKey != nullptr;
}

uint32_t CRegistryKey::Open(EHive eHive, const std::wstring& szSubKey, uint32_t nAccess)
{
    Close();
    HKEY hKey = nullptr;
    const LSTATUS nError = ::RegOpenKeyExW(HiveKey(eHive), szSubKey.c_str(), 0, nAccess, &hKey);
    if (nError != ERROR_SUCCESS)
    {
        return static_cast<uint32_t>(nError);
    }
    m_pState->hKey = hKey;
    return kErrorSuccess;
}

uint32_t CRegistryKey::Create(EHive eHive, const std::wstring& szSubKey, uint32_t nAccess)
{
    Close();
    HKEY hKey = nullptr;
    const LSTATUS nError = ::RegCreateKeyExW(HiveKey(eHive), szSubKey.c_str(), 0, nullptr,
                                             REG_OPTION_NON_VOLATILE, nAccess, nullptr, &hKey, nullptr);
    if (nError != ERROR_SUCCESS)
    {
        return static_cast<uint32_t>(nError);
    }
    m_pState->hKey = hKey;
    return kErrorSuccess;
}

void CRegistryKey::Close()
{
    if (m_pState->hKey != nullptr)
    {
        ::RegCloseKey(m_pState->hKey);
        m_pState->hKey = nullptr;
    }
}

uint32_t CRegistryKey::QueryString(const std::wstring& szName, std::wstring& szValue, ERegType* pType) const
{
    if (m_pState->hKey == nullptr)
    {
        return kErrorInvalidHandle;
    }
    // RRF_NOEXPAND: an expandable string reads as stored, with its %VARIABLES%.
    const DWORD nFlags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
    std::wstring szData(128, L'\0');
    DWORD nType = REG_NONE;
    DWORD nBytes = 0;
    LSTATUS nError = ERROR_MORE_DATA;
    // Too small a buffer gives the size needed; the value may still grow before the next read.
    while (nError == ERROR_MORE_DATA)
    {
        nBytes = static_cast<DWORD>(szData.size() * sizeof(wchar_t));
        nError =
            ::RegGetValueW(m_pState->hKey, nullptr, szName.c_str(), nFlags, &nType, szData.data(), &nBytes);
        if (nError == ERROR_MORE_DATA)
        {
            szData.assign(nBytes / sizeof(wchar_t) + 1, L'\0');
        }
    }
    if (nError != ERROR_SUCCESS)
    {
        return static_cast<uint32_t>(nError);
    }
    // RegGetValueW ends the text with a null character (counted in nBytes); the value ends there.
    szData.resize(std::min<size_t>(szData.size(), nBytes / sizeof(wchar_t)));
    szData.resize(std::wcslen(szData.c_str()));
    szValue = std::move(szData);
    if (pType != nullptr)
    {
        *pType = nType == REG_EXPAND_SZ ? ERegType::ExpandString : ERegType::String;
    }
    return kErrorSuccess;
}

uint32_t CRegistryKey::QueryDword(const std::wstring& szName, uint32_t& nValue) const
{
    if (m_pState->hKey == nullptr)
    {
        return kErrorInvalidHandle;
    }
    DWORD nData = 0;
    DWORD nBytes = sizeof(nData);
    const LSTATUS nError =
        ::RegGetValueW(m_pState->hKey, nullptr, szName.c_str(), RRF_RT_REG_DWORD, nullptr, &nData, &nBytes);
    if (nError != ERROR_SUCCESS)
    {
        return static_cast<uint32_t>(nError);
    }
    nValue = nData;
    return kErrorSuccess;
}

uint32_t CRegistryKey::SetString(const std::wstring& szName, const std::wstring& szValue, ERegType eType)
{
    if (eType == ERegType::Dword)
    {
        return kErrorInvalidParameter;
    }
    if (m_pState->hKey == nullptr)
    {
        return kErrorInvalidHandle;
    }
    // The stored data holds the terminating null character, as every reader expects.
    const DWORD nBytes = static_cast<DWORD>((szValue.size() + 1) * sizeof(wchar_t));
    return static_cast<uint32_t>(::RegSetValueExW(m_pState->hKey, szName.c_str(), 0,
                                                  eType == ERegType::ExpandString ? REG_EXPAND_SZ : REG_SZ,
                                                  reinterpret_cast<const BYTE*>(szValue.c_str()), nBytes));
}

uint32_t CRegistryKey::SetDword(const std::wstring& szName, uint32_t nValue)
{
    if (m_pState->hKey == nullptr)
    {
        return kErrorInvalidHandle;
    }
    const DWORD nData = nValue;
    return static_cast<uint32_t>(::RegSetValueExW(m_pState->hKey, szName.c_str(), 0, REG_DWORD,
                                                  reinterpret_cast<const BYTE*>(&nData), sizeof(nData)));
}

uint32_t CRegistryKey::DeleteValue(const std::wstring& szName)
{
    if (m_pState->hKey == nullptr)
    {
        return kErrorInvalidHandle;
    }
    return static_cast<uint32_t>(::RegDeleteValueW(m_pState->hKey, szName.c_str()));
}

uint32_t CRegistryKey::EnumSubKeys(std::vector<std::wstring>& subKeys) const
{
    subKeys.clear();
    if (m_pState->hKey == nullptr)
    {
        return kErrorInvalidHandle;
    }
    DWORD nMaxLength = 0;
    LSTATUS nError = ::RegQueryInfoKeyW(m_pState->hKey, nullptr, nullptr, nullptr, nullptr, &nMaxLength,
                                        nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (nError != ERROR_SUCCESS)
    {
        return static_cast<uint32_t>(nError);
    }
    // Key names are at most 255 characters; a buffer of that size never needs to grow.
    std::wstring szName(std::max<DWORD>(nMaxLength, 255) + 1, L'\0');
    for (DWORD nIndex = 0;; ++nIndex)
    {
        DWORD nLength = static_cast<DWORD>(szName.size());
        nError = ::RegEnumKeyExW(m_pState->hKey, nIndex, szName.data(), &nLength, nullptr, nullptr, nullptr,
                                 nullptr);
        if (nError == ERROR_NO_MORE_ITEMS)
        {
            break;
        }
        if (nError != ERROR_SUCCESS)
        {
            subKeys.clear();
            return static_cast<uint32_t>(nError);
        }
        subKeys.emplace_back(szName.data(), nLength);
    }
    // The order of RegEnumKeyExW is not promised: the names are sorted as the contract gives them.
    std::sort(subKeys.begin(), subKeys.end(),
              [](const std::wstring& a, const std::wstring& b) { return CompareNoCase(a, b) < 0; });
    return kErrorSuccess;
}

uint32_t CRegistryKey::DeleteSubKey(const std::wstring& szSubKey)
{
    if (m_pState->hKey == nullptr)
    {
        return kErrorInvalidHandle;
    }
    if (NamesNoKey(szSubKey))
    {
        return kErrorInvalidParameter;
    }
    // RegDeleteKeyW refuses a key that has subkeys (5) and deletes the key's values with it.
    return static_cast<uint32_t>(::RegDeleteKeyW(m_pState->hKey, szSubKey.c_str()));
}

} // namespace platform
