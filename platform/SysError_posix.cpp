// The per-thread last error, and the translation of errno values into Windows error numbers.
#include "platform/SysError_posix.h"

#include <cerrno>

namespace platform
{

namespace
{

thread_local uint32_t t_nLastError = 0;

} // namespace

uint32_t GetLastError()
{
    return t_nLastError;
}

void SetLastError(uint32_t nError)
{
    t_nLastError = nError;
}

// Linux has no message table beyond the layer's own.
bool BackendSystemMessage(uint32_t /*nError*/, std::wstring& szMessage)
{
    szMessage.clear();
    return false;
}

uint32_t ErrorFromErrno(int nErrno)
{
    switch (nErrno)
    {
    case 0:
        return kErrorSuccess;
    case ENOENT:
        return kErrorFileNotFound;
    case ENOTDIR:
        return kErrorPathNotFound;
    case EMFILE:
    case ENFILE:
        return kErrorTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EISDIR:
        return kErrorAccessDenied;
    case EBADF:
        return kErrorInvalidHandle;
    case ENOMEM:
        return kErrorNotEnoughMemory;
    case EXDEV:
        return kErrorNotSameDevice;
    case EROFS:
        return kErrorWriteProtect;
    case ETXTBSY:
        return kErrorSharingViolation;
    case EEXIST:
        return kErrorFileExists;
    case EINVAL:
        return kErrorInvalidParameter;
    case EPIPE:
        return kErrorBrokenPipe;
    case ENOSPC:
    case EDQUOT:
        return kErrorDiskFull;
    case ERANGE:
        return kErrorInsufficientBuffer;
    case ECHILD:
        return kErrorWaitNoChildren;
    case ENOTEMPTY:
        return kErrorDirNotEmpty;
    case EBUSY:
    case EAGAIN:
        return kErrorBusy;
    case ENOEXEC:
        return kErrorBadExeFormat;
    case ENAMETOOLONG:
        return kErrorFilenameExcedRange;
    case EFBIG:
        return kErrorFileTooLarge;
    case EINTR:
    case ECANCELED:
        return kErrorOperationAborted;
    case EILSEQ:
        return kErrorNoUnicodeTranslation;
    case EIO:
        return kErrorIoDevice;
    case EMLINK:
        return kErrorTooManyLinks;
    case ESRCH:
    case ENODATA:
        return kErrorNotFound;
    case ETIMEDOUT:
        return kErrorTimeout;
    case ELOOP:
        return kErrorCantResolveFilename;
    case ENOSYS:
        return kErrorInvalidFunction;
    case EOPNOTSUPP:
        return kErrorNotSupported;
    // Errors that only sockets produce take the Windows Sockets numbers.
    case ENOTSOCK:
        return kWsaEnotsock;
    case EINPROGRESS:
        return kWsaEinprogress;
    case EALREADY:
        return kWsaEalready;
    case EDESTADDRREQ:
        return kWsaEdestaddrreq;
    case EMSGSIZE:
        return kWsaEmsgsize;
    case EPROTOTYPE:
        return kWsaEprototype;
    case ENOPROTOOPT:
        return kWsaEnoprotoopt;
    case EPROTONOSUPPORT:
        return kWsaEprotonosupport;
    case EAFNOSUPPORT:
        return kWsaEafnosupport;
    case EADDRINUSE:
        return kWsaEaddrinuse;
    case EADDRNOTAVAIL:
        return kWsaEaddrnotavail;
    case ENETDOWN:
        return kWsaEnetdown;
    case ENETUNREACH:
        return kWsaEnetunreach;
    case ENETRESET:
        return kWsaEnetreset;
    case ECONNABORTED:
        return kWsaEconnaborted;
    case ECONNRESET:
        return kWsaEconnreset;
    case ENOBUFS:
        return kWsaEnobufs;
    case EISCONN:
        return kWsaEisconn;
    case ENOTCONN:
        return kWsaEnotconn;
    case ESHUTDOWN:
        return kWsaEshutdown;
    case ECONNREFUSED:
        return kWsaEconnrefused;
    case EHOSTDOWN:
        return kWsaEhostdown;
    case EHOSTUNREACH:
        return kWsaEhostunreach;
    default:
        return kErrorGenFailure;
    }
}

uint32_t SetLastErrorFromErrno()
{
    return SetLastErrorFromErrno(errno);
}

uint32_t SetLastErrorFromErrno(int nErrno)
{
    const uint32_t nError = ErrorFromErrno(nErrno);
    SetLastError(nError);
    return nError;
}

} // namespace platform
