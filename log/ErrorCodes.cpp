// The shared code table and the texts of system error numbers.
#include "log/ErrorCodes.h"

#include "platform/SysError.h"

#include <map>

namespace
{

struct SCodeRow
{
    int32_t nCode;
    const wchar_t* szText;
};

// The maker's table, shared across its product family: most rows are never written by this service.
constexpr SCodeRow kCodeRows[] = {
    {1, L"Failed to launch program"},
    {2, L"Failed to wait program"},
    {3, L"Abandoning occurred while waiting for program"},
    {4, L"Timeout occurred while waiting for program"},
    {5, L"Unknown error occurred while waiting for program"},
    {6, L"Failed to open PDF"},
    {7, L"Failed to read file information"},
    {8, L"Process job failed"},
    {9, L"Process job Send e-mail failed"},
    {10, L"Process job save results failed"},
    {11, L"Process job digital signing failed"},
    {12, L"Unable to delete file"},
    {13, L"Unable to delete data from Halvane database"},
    {14, L"Unable to delete data from Ostrel database"},
    {15, L"Failed to save profile"},
    {16, L"Failed to load profile"},
    {17, L"Halvane service error"},
    {18, L"Halvane manager error"},
    {19, L"Create database error"},
    {20, L"Create table error"},
    {21, L"Read table error"},
    {22, L"Translation table error"},
    {23, L"Recovery for unknown PDF Job failed"},
    {24, L"Windows cannot open file"},
    {25, L"Failed to delete file"},
    {26, L"Failed to delete record"},
    {27, L"Digital signature failed"},
    {28, L"Process external file failed"},
    {29, L"Failed to read Expected Document Numbers table"},
    {30, L"Failed write data to an external database"},
    {31, L"SoftekBarcode library error"},
    {32, L"Wrong arguments passed"},
    {33, L"Unable to build output file"},
    {34, L"Process configuration file"},
    {35, L"Import external data error"},
    {36, L"Document monitoring service error"},
    {37, L"Wrong case selected"},
    {38, L"Object isn't initialized"},
    {39, L"POP-3 monitor"},
    {40, L"Interprocess communication"},
    {1001, L"AfxOleInit failed"},
    {1002, L"DocTemplate creation failed"},
    {1003, L"ProcessShellCommand failed"},
    {1004, L"Can't create printer hDC"},
    {1005, L"Destination files already exists - deleting existing files"},
    {1006, L"Unable to open printer to read data for the control file"},
    {1007, L"Update process job observer initialization failed"},
    {1008, L"ADO command error"},
    {1009, L"ADO database error"},
    {1010, L"ADO recordset error"},
    {1011, L"ADO parameter error"},
    {1012, L"Waiting for process job queue access failed"},
    {1013, L"Socket error"},
    {1014, L"INI file error"},
    {1015, L"Dispatch Halvane command error"},
    {1016, L"Directory monitor error"},
    {1017, L"Connection failed"},
    {1901, L"Ostrel-Mail error"},
    {3001, L"Reading file information problem"},
    {3002, L"Process job failed"},
    {3003, L"Translation table problem"},
    {3004, L"Socket warning"},
    {3005, L"Directory monitor"},
    {3006, L"POP-3 monitor"},
    {3007, L"Data size overflow"},
    {3008, L"Invalid configuration"},
    {3009, L"Document monitoring service error"},
    {3010, L"General warning"},
    {3011, L"Splitting document failed"},
    {3012, L"Recovery for unknown PDF Job failed"},
    {3013, L"Sending e-mail failed"},
    {3014, L"Interprocess communication"},
    {4001, L"Trace Method"},
    {4002, L"E-mail sent"},
    {4003, L"Logger info"},
    {4004, L"Process info"},
};

static_assert(sizeof(kCodeRows) / sizeof(kCodeRows[0]) == 76);

// Built once by the first caller (function-local static: thread-safe initialisation), read-only after.
const std::map<int32_t, std::wstring>& CodeTable()
{
    static const std::map<int32_t, std::wstring> table = []
    {
        std::map<int32_t, std::wstring> rows;
        for (const SCodeRow& row : kCodeRows)
            rows.emplace(row.nCode, row.szText);
        return rows;
    }();
    return table;
}

} // namespace

std::wstring ErrorCodeText(int32_t nCode)
{
    const auto& table = CodeTable();
    auto it = table.find(nCode);
    return it == table.end() ? std::wstring(L"Unknown Code") : it->second;
}

std::wstring SystemErrorText(uint32_t nError)
{
    std::wstring szMessage;
    if (!platform::SystemMessage(nError, szMessage) || szMessage.empty())
        return L"Unknown Error";
    size_t nCr = szMessage.find(L'\r');
    if (nCr != std::wstring::npos)
        szMessage.erase(nCr);
    // A message table line may also end with a bare LF.
    size_t nLf = szMessage.find(L'\n');
    if (nLf != std::wstring::npos)
        szMessage.erase(nLf);
    return szMessage;
}

SSystemError::SSystemError(uint32_t nError) : m_nCode(static_cast<int32_t>(nError))
{
    if (!platform::SystemMessage(nError, m_szMessage) || m_szMessage.empty())
        m_szMessage = L"Unknown Error";
}

SSystemError::SSystemError(const std::wstring& szMessage) : m_szMessage(szMessage), m_nCode(0) {}
