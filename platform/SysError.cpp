// The English message table of the Windows error numbers that this layer produces. The last error
// itself is the backend's (SysError_posix.cpp, SysError_win.cpp).
#include "platform/SysError.h"

#include <algorithm>
#include <iterator>

namespace platform
{

// The message of a number the table above lacks, from the system (defined by the backend): false,
// leaving the text empty, when the system has none either.
bool BackendSystemMessage(uint32_t nError, std::wstring& szMessage);

namespace
{

struct SMessage
{
    uint32_t nError;
    const wchar_t* szText; // lines separated by CR LF, without the final line end
};

// Sorted by number. The texts are those of the Windows message table in English.
constexpr SMessage kMessages[] = {
    {0, L"The operation completed successfully."},
    {1, L"Incorrect function."},
    {2, L"The system cannot find the file specified."},
    {3, L"The system cannot find the path specified."},
    {4, L"The system cannot open the file."},
    {5, L"Access is denied."},
    {6, L"The handle is invalid."},
    {8, L"Not enough memory resources are available to process this command."},
    {13, L"The data is invalid."},
    {14, L"Not enough memory resources are available to complete this operation."},
    {17, L"The system cannot move the file to a different disk drive."},
    {18, L"There are no more files."},
    {19, L"The media is write protected."},
    {29, L"The system cannot write to the specified device."},
    {30, L"The system cannot read from the specified device."},
    {31, L"A device attached to the system is not functioning."},
    {32, L"The process cannot access the file because it is being used by another process."},
    {33, L"The process cannot access the file because another process has locked a portion of the file."},
    {34, L"The wrong diskette is in the drive.\r\nInsert %2 (Volume Serial Number: %3) into drive %1."},
    {38, L"Reached the end of the file."},
    {39, L"The disk is full."},
    {50, L"The request is not supported."},
    {80, L"The file exists."},
    {87, L"The parameter is incorrect."},
    {109, L"The pipe has been ended."},
    {112, L"There is not enough space on the disk."},
    {122, L"The data area passed to a system call is too small."},
    {123, L"The filename, directory name, or volume label syntax is incorrect."},
    {128, L"There are no child processes to wait for."},
    {145, L"The directory is not empty."},
    {161, L"The specified path is invalid."},
    {170, L"The requested resource is in use."},
    {183, L"Cannot create a file when that file already exists."},
    {193, L"%1 is not a valid Win32 application."},
    {206, L"The filename or extension is too long."},
    {223, L"The file size exceeds the limit allowed and cannot be saved."},
    {234, L"More data is available."},
    {267, L"The directory name is invalid."},
    {288, L"Attempt to release mutex not owned by caller."},
    {995, L"The I/O operation has been aborted because of either a thread exit or an application request."},
    {1022, L"A notify change request is being completed and the information is not being returned in the "
           L"caller's buffer. The caller now needs to enumerate the files to find the changes."},
    {1113, L"No mapping for the Unicode character exists in the target multi-byte code page."},
    {1117, L"The request could not be performed because of an I/O device error."},
    {1142, L"An attempt was made to create more links on a file than the file system supports."},
    {1168, L"Element not found."},
    {1460, L"This operation returned because the timeout period expired."},
    {1630, L"Data of this type is not supported."},
    {1921, L"The name of the file cannot be resolved by the system."},
    {10004, L"A blocking operation was interrupted by a call to WSACancelBlockingCall."},
    {10009, L"The file handle supplied is not valid."},
    {10013, L"An attempt was made to access a socket in a way forbidden by its access permissions."},
    {10014,
     L"The system detected an invalid pointer address in attempting to use a pointer argument in a call."},
    {10022, L"An invalid argument was supplied."},
    {10024, L"Too many open sockets."},
    {10035, L"A non-blocking socket operation could not be completed immediately."},
    {10036, L"A blocking operation is currently executing."},
    {10037,
     L"An operation was attempted on a non-blocking socket that already had an operation in progress."},
    {10038, L"An operation was attempted on something that is not a socket."},
    {10039, L"A required address was omitted from an operation on a socket."},
    {10040,
     L"A message sent on a datagram socket was larger than the internal message buffer or some other "
     L"network limit, or the buffer used to receive a datagram into was smaller than the datagram itself."},
    {10041,
     L"A protocol was specified in the socket function call that does not support the semantics of the "
     L"socket type requested."},
    {10042,
     L"An unknown, invalid, or unsupported option or level was specified in a getsockopt or setsockopt "
     L"call."},
    {10043, L"The requested protocol has not been configured into the system, or no implementation for it "
            L"exists."},
    {10045, L"The attempted operation is not supported for the type of object referenced."},
    {10047, L"An address incompatible with the requested protocol was used."},
    {10048, L"Only one usage of each socket address (protocol/network address/port) is normally permitted."},
    {10049, L"The requested address is not valid in its context."},
    {10050, L"A socket operation encountered a dead network."},
    {10051, L"A socket operation was attempted to an unreachable network."},
    {10052, L"The connection has been broken due to keep-alive activity detecting a failure while the "
            L"operation was in progress."},
    {10053, L"An established connection was aborted by the software in your host machine."},
    {10054, L"An existing connection was forcibly closed by the remote host."},
    {10055, L"An operation on a socket could not be performed because the system lacked sufficient buffer "
            L"space or because a queue was full."},
    {10056, L"A connect request was made on an already connected socket."},
    {10057, L"A request to send or receive data was disallowed because the socket is not connected and (when "
            L"sending on a datagram socket using a sendto call) no address was supplied."},
    {10058, L"A request to send or receive data was disallowed because the socket had already been shut down "
            L"in that direction with a previous shutdown call."},
    {10060,
     L"A connection attempt failed because the connected party did not properly respond after a period "
     L"of time, or established connection failed because connected host has failed to respond."},
    {10061, L"No connection could be made because the target machine actively refused it."},
    {10064, L"A socket operation failed because the destination host was down."},
    {10065, L"A socket operation was attempted to an unreachable host."},
    {11001, L"No such host is known."},
    {11002,
     L"This is usually a temporary error during hostname resolution and means that the local server did "
     L"not receive a response from an authoritative server."},
    {11003, L"A non-recoverable error occurred during a database lookup."},
    {11004, L"The requested name is valid, but no data of the requested type was found."},
};

static_assert(std::is_sorted(std::begin(kMessages), std::end(kMessages),
                             [](const SMessage& a, const SMessage& b) { return a.nError < b.nError; }));

} // namespace

bool SystemMessage(uint32_t nError, std::wstring& szMessage)
{
    szMessage.clear();
    const auto it = std::lower_bound(std::begin(kMessages), std::end(kMessages), nError,
                                     [](const SMessage& m, uint32_t n) { return m.nError < n; });
    if (it == std::end(kMessages) || it->nError != nError)
    {
        // A number outside the table: the system's own message table, where it has one.
        return BackendSystemMessage(nError, szMessage);
    }
    szMessage = it->szText;
    szMessage += L"\r\n";
    return true;
}

} // namespace platform
