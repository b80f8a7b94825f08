// System error numbers in Windows numbering, kept per thread like the Windows last error.
//
// The Parts report and log system errors by their Windows numbers (2 file not found, 183 already
// exists, ...), so the Linux backend translates errno into those numbers at the point of failure.
// Every number the layer produces has an English message text.
#pragma once

#include <cstdint>
#include <string>

namespace platform
{

enum : uint32_t
{
    kErrorSuccess = 0,
    kErrorInvalidFunction = 1,
    kErrorFileNotFound = 2,
    kErrorPathNotFound = 3,
    kErrorTooManyOpenFiles = 4,
    kErrorAccessDenied = 5,
    kErrorInvalidHandle = 6,
    kErrorNotEnoughMemory = 8,
    kErrorInvalidData = 13,
    kErrorOutOfMemory = 14,
    kErrorNotSameDevice = 17,
    kErrorNoMoreFiles = 18,
    kErrorWriteProtect = 19,
    kErrorWriteFault = 29,
    kErrorReadFault = 30,
    kErrorGenFailure = 31,
    kErrorSharingViolation = 32,
    kErrorLockViolation = 33,
    kErrorWrongDisk = 34, // its message has two lines
    kErrorHandleEof = 38,
    kErrorHandleDiskFull = 39,
    kErrorNotSupported = 50,
    kErrorFileExists = 80,
    kErrorInvalidParameter = 87,
    kErrorBrokenPipe = 109,
    kErrorDiskFull = 112,
    kErrorInsufficientBuffer = 122,
    kErrorInvalidName = 123,
    kErrorWaitNoChildren = 128,
    kErrorDirNotEmpty = 145,
    kErrorBadPathname = 161,
    kErrorBusy = 170,
    kErrorAlreadyExists = 183,
    kErrorBadExeFormat = 193,
    kErrorFilenameExcedRange = 206,
    kErrorFileTooLarge = 223,
    kErrorMoreData = 234,
    kErrorDirectory = 267,
    kErrorNotOwner = 288,
    kErrorOperationAborted = 995,
    kErrorNotifyEnumDir = 1022,
    kErrorNoUnicodeTranslation = 1113,
    kErrorIoDevice = 1117,
    kErrorTooManyLinks = 1142,
    kErrorNotFound = 1168,
    kErrorTimeout = 1460,
    kErrorUnsupportedType = 1630,
    kErrorCantResolveFilename = 1921,
    // Windows Sockets numbers, for the socket errno values (ECONNREFUSED gives 10061, ...).
    kWsaEintr = 10004,
    kWsaEbadf = 10009,
    kWsaEacces = 10013,
    kWsaEfault = 10014,
    kWsaEinval = 10022,
    kWsaEmfile = 10024,
    kWsaEwouldblock = 10035,
    kWsaEinprogress = 10036,
    kWsaEalready = 10037,
    kWsaEnotsock = 10038,
    kWsaEdestaddrreq = 10039,
    kWsaEmsgsize = 10040,
    kWsaEprototype = 10041,
    kWsaEnoprotoopt = 10042,
    kWsaEprotonosupport = 10043,
    kWsaEopnotsupp = 10045,
    kWsaEafnosupport = 10047,
    kWsaEaddrinuse = 10048,
    kWsaEaddrnotavail = 10049,
    kWsaEnetdown = 10050,
    kWsaEnetunreach = 10051,
    kWsaEnetreset = 10052,
    kWsaEconnaborted = 10053,
    kWsaEconnreset = 10054,
    kWsaEnobufs = 10055,
    kWsaEisconn = 10056,
    kWsaEnotconn = 10057,
    kWsaEshutdown = 10058,
    kWsaEtimedout = 10060,
    kWsaEconnrefused = 10061,
    kWsaEhostdown = 10064,
    kWsaEhostunreach = 10065,
    kWsaHostNotFound = 11001,
    kWsaTryAgain = 11002,
    kWsaNoRecovery = 11003,
    kWsaNoData = 11004,
};

// The calling thread's last error. Every failing call of the platform layer sets it; successful
// calls leave it alone unless their contract says otherwise (named-object creation sets 0 or 183).
uint32_t GetLastError();
void SetLastError(uint32_t nError);

// The full English message for a system error number, as Windows' message table gives it: every
// line ends with CR LF, and some messages have more than one line. Returns false, leaving the text
// empty, for a number the layer has no message for.
bool SystemMessage(uint32_t nError, std::wstring& szMessage);

} // namespace platform
