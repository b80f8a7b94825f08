// The file operations' exception.
#include "util/CFExeption.h"

#include "log/ErrorCodes.h"

CFExeption::CFExeption(uint32_t nError) : m_szMessage(SSystemError(nError).m_szMessage), m_nCode(nError) {}

CFExeption::CFExeption(const std::wstring& szMessage) : m_szMessage(szMessage), m_nCode(0) {}
