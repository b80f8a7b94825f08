// The exception that the file-changing operations of CFileOps throw.
//
// Thrown by pointer: `throw new CFExeption(...)`; the catcher owns it and deletes it.
#pragma once

#include <cstdint>
#include <string>

class CFExeption
{
public:
    // From a system error number: the system's full message for it, and the number as code.
    explicit CFExeption(uint32_t nError);
    // From a text: that text, code 0.
    explicit CFExeption(const std::wstring& szMessage);
    virtual ~CFExeption() = default;

    const std::wstring& GetMessage() const { return m_szMessage; }
    // The system error number, 0 when made from a text (or from number 0: a cancelled prompt).
    uint32_t GetCode() const { return m_nCode; }

private:
    std::wstring m_szMessage;
    uint32_t m_nCode = 0;
};
