// Minidump writer for Linux: the layout of the Windows minidump format (header, stream directory,
// system information, thread list with CONTEXT records, module list with CodeView records holding ELF
// build ids, memory lists, exception stream, misc information), with the streams that debuggers
// expect from Linux dumps (platform id 0x8201, the process's maps as stream 0x47670009).
//
// Runs inside a signal handler: no allocation, no locks, no stdio; only system calls on file
// descriptors, and static buffers.
#include "platform/MiniDumpWriter_posix.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <dirent.h>
#include <elf.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/syscall.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>
#if defined(__x86_64__)
#include <cpuid.h>
#endif

namespace
{

// ---- File layout (little-endian, packed as the format defines it) ----

struct __attribute__((packed)) SLocation
{
    uint32_t nDataSize;
    uint32_t nRva;
};

struct __attribute__((packed)) SHeader
{
    uint32_t nSignature;
    uint32_t nVersion;
    uint32_t nStreams;
    uint32_t nDirectoryRva;
    uint32_t nCheckSum;
    uint32_t nTimeDateStamp;
    uint64_t nFlags;
};
static_assert(sizeof(SHeader) == 32);

struct __attribute__((packed)) SDirectory
{
    uint32_t nStreamType;
    SLocation location;
};
static_assert(sizeof(SDirectory) == 12);

struct __attribute__((packed)) SMemoryDescriptor
{
    uint64_t nStart;
    SLocation memory;
};
static_assert(sizeof(SMemoryDescriptor) == 16);

struct __attribute__((packed)) SThread
{
    uint32_t nThreadId;
    uint32_t nSuspendCount;
    uint32_t nPriorityClass;
    uint32_t nPriority;
    uint64_t nTeb;
    SMemoryDescriptor stack;
    SLocation context;
};
static_assert(sizeof(SThread) == 48);

struct __attribute__((packed)) SFixedFileInfo
{
    uint32_t words[13];
};

struct __attribute__((packed)) SModule
{
    uint64_t nBase;
    uint32_t nSize;
    uint32_t nCheckSum;
    uint32_t nTimeDateStamp;
    uint32_t nNameRva;
    SFixedFileInfo version;
    SLocation cvRecord;
    SLocation miscRecord;
    uint64_t nReserved0;
    uint64_t nReserved1;
};
static_assert(sizeof(SModule) == 108);

struct __attribute__((packed)) SException
{
    uint32_t nThreadId;
    uint32_t nAlignment;
    uint32_t nCode;
    uint32_t nFlags;
    uint64_t nRecord;
    uint64_t nAddress;
    uint32_t nParameters;
    uint32_t nUnused;
    uint64_t information[15];
    SLocation context;
};
static_assert(sizeof(SException) == 168);

struct __attribute__((packed)) SSystemInfo
{
    uint16_t nArchitecture;
    uint16_t nLevel;
    uint16_t nRevision;
    uint8_t nProcessors;
    uint8_t nProductType;
    uint32_t nMajor;
    uint32_t nMinor;
    uint32_t nBuild;
    uint32_t nPlatformId;
    uint32_t nCsdVersionRva;
    uint16_t nSuiteMask;
    uint16_t nReserved;
    uint32_t vendor[3];
    uint32_t nVersionInformation;
    uint32_t nFeatureInformation;
    uint32_t nAmdExtended;
};
static_assert(sizeof(SSystemInfo) == 56);

struct __attribute__((packed)) SMiscInfo
{
    uint32_t nSize;
    uint32_t nFlags;
    uint32_t nProcessId;
    uint32_t nCreateTime;
    uint32_t nUserTime;
    uint32_t nKernelTime;
};
static_assert(sizeof(SMiscInfo) == 24);

// The x86-64 thread context as the format stores it.
struct __attribute__((packed)) SContextAmd64
{
    uint64_t home[6];
    uint32_t nContextFlags;
    uint32_t nMxCsr;
    uint16_t nCs, nDs, nEs, nFs, nGs, nSs;
    uint32_t nEFlags;
    uint64_t dr[6];
    uint64_t nRax, nRcx, nRdx, nRbx, nRsp, nRbp, nRsi, nRdi;
    uint64_t r8, r9, r10, r11, r12, r13, r14, r15;
    uint64_t nRip;
    uint8_t floatSave[512];
    uint8_t vector[26 * 16];
    uint64_t nVectorControl;
    uint64_t debug[5];
};
static_assert(sizeof(SContextAmd64) == 1232);

enum : uint32_t
{
    kSignature = 0x504d444d, // "MDMP"
    kVersion = 0xa793,
    kThreadListStream = 3,
    kModuleListStream = 4,
    kMemoryListStream = 5,
    kExceptionStream = 6,
    kSystemInfoStream = 7,
    kMemory64ListStream = 9,
    kMiscInfoStream = 15,
    kLinuxMapsStream = 0x47670009,
    kPlatformLinux = 0x8201,
    kArchitectureAmd64 = 9,
    kContextAmd64 = 0x00100000,
    kContextControl = kContextAmd64 | 0x1,
    kContextFull = kContextAmd64 | 0x1 | 0x2 | 0x4 | 0x8,
    kCvElfBuildId = 0x4270454c, // "BpEL"
    kTypeDataSegments = 0x1,
    kTypeFullMemory = 0x2,
};

// ---- Static state (the handler runs once per process) ----

constexpr size_t kMapsBufferSize = 1u << 20;
constexpr size_t kMaxMappings = 8192;
constexpr size_t kMaxModules = 1024;
constexpr size_t kMaxThreads = 1024;
constexpr size_t kMaxRanges = 2048;
constexpr uint64_t kMaxStackBytes = 512 * 1024;
constexpr uint64_t kRedZone = 128;

struct SMapping
{
    uint64_t nStart, nEnd, nOffset;
    bool bRead, bWrite;
    size_t nPath, nPathLength; // into g_maps
};

struct SModuleInfo
{
    uint64_t nBase, nEnd;
    size_t nPath, nPathLength;
    uint8_t buildId[64];
    uint32_t nBuildIdLength;
};

struct SThreadInfo
{
    uint32_t nTid;
    uint64_t nSp, nPc;
    bool bKnown;
    uint64_t nStackStart, nStackSize;
    uint32_t nStackRva, nContextRva;
};

struct SRange
{
    uint64_t nStart, nSize;
    uint32_t nRva;
};

char g_maps[kMapsBufferSize];
size_t g_nMaps;
SMapping g_mappings[kMaxMappings];
size_t g_nMappings;
SModuleInfo g_modules[kMaxModules];
size_t g_nModules;
SThreadInfo g_threads[kMaxThreads];
size_t g_nThreads;
SRange g_ranges[kMaxRanges];
size_t g_nRanges;
char g_path[4096];
uint8_t g_zeros[4096];
uint8_t g_io[8192];

// ---- Output ----

struct SWriter
{
    int fd;
    uint64_t nEnd;
    bool bOk;
};

bool WriteAt(SWriter& w, uint64_t nOffset, const void* pData, size_t nSize)
{
    const char* p = static_cast<const char*>(pData);
    while (nSize > 0)
    {
        const ssize_t n = ::pwrite(w.fd, p, nSize, static_cast<off_t>(nOffset));
        if (n < 0 && errno == EINTR)
        {
            continue;
        }
        if (n <= 0)
        {
            return false;
        }
        p += n;
        nOffset += static_cast<uint64_t>(n);
        nSize -= static_cast<size_t>(n);
    }
    return true;
}

uint32_t Append(SWriter& w, const void* pData, size_t nSize)
{
    const uint32_t nRva = static_cast<uint32_t>(w.nEnd);
    if (!WriteAt(w, w.nEnd, pData, nSize))
    {
        w.bOk = false;
    }
    w.nEnd += nSize;
    return nRva;
}

void Patch(SWriter& w, uint32_t nRva, const void* pData, size_t nSize)
{
    if (!WriteAt(w, nRva, pData, nSize))
    {
        w.bOk = false;
    }
}

// Appends nSize bytes of this process's memory; pages that cannot be read are written as zeros, so
// the file keeps its layout. The kernel reads the memory (EFAULT instead of a fault).
uint32_t AppendMemory(SWriter& w, uint64_t nAddress, uint64_t nSize)
{
    const uint32_t nRva = static_cast<uint32_t>(w.nEnd);
    while (nSize > 0)
    {
        const uint64_t nPageRest = 4096 - (nAddress & 4095);
        const size_t nChunk = static_cast<size_t>(nSize < nPageRest ? nSize : nPageRest);
        ssize_t n = 0;
        do
        {
            n = ::pwrite(w.fd, reinterpret_cast<const void*>(nAddress), nChunk, static_cast<off_t>(w.nEnd));
        } while (n < 0 && errno == EINTR);
        if (n != static_cast<ssize_t>(nChunk))
        {
            if (!WriteAt(w, w.nEnd, g_zeros, nChunk))
            {
                w.bOk = false;
            }
        }
        w.nEnd += nChunk;
        nAddress += nChunk;
        nSize -= nChunk;
    }
    return nRva;
}

// A string of the format: its length in bytes, UTF-16 units, a terminating 0 (bytes above 0x7F are
// decoded as UTF-8; invalid bytes stand for themselves).
uint32_t AppendString(SWriter& w, const char* pText, size_t nLength)
{
    uint16_t units[2048];
    size_t nUnits = 0;
    for (size_t i = 0; i < nLength && nUnits + 2 < sizeof(units) / sizeof(units[0]);)
    {
        const unsigned char c = static_cast<unsigned char>(pText[i]);
        uint32_t cp = c;
        size_t nBytes = 1;
        if (c >= 0xF0 && i + 3 < nLength)
        {
            cp = ((c & 0x07u) << 18) | ((pText[i + 1] & 0x3Fu) << 12) | ((pText[i + 2] & 0x3Fu) << 6) |
                 (pText[i + 3] & 0x3Fu);
            nBytes = 4;
        }
        else if (c >= 0xE0 && i + 2 < nLength)
        {
            cp = ((c & 0x0Fu) << 12) | ((pText[i + 1] & 0x3Fu) << 6) | (pText[i + 2] & 0x3Fu);
            nBytes = 3;
        }
        else if (c >= 0xC0 && i + 1 < nLength)
        {
            cp = ((c & 0x1Fu) << 6) | (pText[i + 1] & 0x3Fu);
            nBytes = 2;
        }
        if (cp >= 0x10000)
        {
            cp -= 0x10000;
            units[nUnits++] = static_cast<uint16_t>(0xD800 + (cp >> 10));
            units[nUnits++] = static_cast<uint16_t>(0xDC00 + (cp & 0x3FF));
        }
        else
        {
            units[nUnits++] = static_cast<uint16_t>(cp);
        }
        i += nBytes;
    }
    const uint32_t nBytes = static_cast<uint32_t>(nUnits * 2);
    const uint32_t nRva = Append(w, &nBytes, sizeof(nBytes));
    units[nUnits++] = 0;
    Append(w, units, nUnits * 2);
    return nRva;
}

// ---- Reading the process's state ----

size_t ReadFile(const char* szPath, char* pBuffer, size_t nSize)
{
    const int fd = ::open(szPath, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
    {
        return 0;
    }
    size_t nTotal = 0;
    while (nTotal < nSize)
    {
        const ssize_t n = ::read(fd, pBuffer + nTotal, nSize - nTotal);
        if (n < 0 && errno == EINTR)
        {
            continue;
        }
        if (n <= 0)
        {
            break;
        }
        nTotal += static_cast<size_t>(n);
    }
    ::close(fd);
    return nTotal;
}

uint64_t ParseHex(const char* p, size_t nLength, size_t& i)
{
    uint64_t n = 0;
    if (i + 1 < nLength && p[i] == '0' && (p[i + 1] == 'x' || p[i + 1] == 'X'))
    {
        i += 2;
    }
    for (; i < nLength; ++i)
    {
        const char c = p[i];
        int d = -1;
        if (c >= '0' && c <= '9')
        {
            d = c - '0';
        }
        else if (c >= 'a' && c <= 'f')
        {
            d = c - 'a' + 10;
        }
        else if (c >= 'A' && c <= 'F')
        {
            d = c - 'A' + 10;
        }
        if (d < 0)
        {
            break;
        }
        n = n * 16 + static_cast<uint64_t>(d);
    }
    return n;
}

void SkipTo(const char* p, size_t nLength, size_t& i, char ch)
{
    while (i < nLength && p[i] != ch)
    {
        ++i;
    }
}

// Reads /proc/self/maps into g_maps and its lines into g_mappings.
void ReadMappings()
{
    g_nMaps = ReadFile("/proc/self/maps", g_maps, sizeof(g_maps));
    g_nMappings = 0;
    size_t i = 0;
    while (i < g_nMaps && g_nMappings < kMaxMappings)
    {
        const size_t nLineStart = i;
        size_t nLineEnd = i;
        SkipTo(g_maps, g_nMaps, nLineEnd, '\n');
        SMapping& m = g_mappings[g_nMappings];
        m.nStart = ParseHex(g_maps, nLineEnd, i);
        ++i; // '-'
        m.nEnd = ParseHex(g_maps, nLineEnd, i);
        ++i; // ' '
        m.bRead = i < nLineEnd && g_maps[i] == 'r';
        m.bWrite = i + 1 < nLineEnd && g_maps[i + 1] == 'w';
        SkipTo(g_maps, nLineEnd, i, ' ');
        ++i;
        m.nOffset = ParseHex(g_maps, nLineEnd, i);
        // Device and inode, then blanks before the path (which may be absent).
        for (int nField = 0; nField < 2; ++nField)
        {
            ++i;
            SkipTo(g_maps, nLineEnd, i, ' ');
        }
        while (i < nLineEnd && g_maps[i] == ' ')
        {
            ++i;
        }
        m.nPath = i;
        m.nPathLength = nLineEnd - i;
        if (m.nEnd > m.nStart && i > nLineStart)
        {
            ++g_nMappings;
        }
        i = nLineEnd + 1;
    }
}

const SMapping* FindMapping(uint64_t nAddress)
{
    for (size_t i = 0; i < g_nMappings; ++i)
    {
        if (nAddress >= g_mappings[i].nStart && nAddress < g_mappings[i].nEnd)
        {
            return &g_mappings[i];
        }
    }
    return nullptr;
}

// Mappings of device files are left out: reading them may have effects.
bool IsDevice(const SMapping& m)
{
    return m.nPathLength >= 5 && std::memcmp(g_maps + m.nPath, "/dev/", 5) == 0;
}

bool SamePath(const SMapping& a, const SMapping& b)
{
    return a.nPathLength == b.nPathLength &&
           std::memcmp(g_maps + a.nPath, g_maps + b.nPath, a.nPathLength) == 0;
}

// Copies a mapping's path with its NUL into g_path, without a " (deleted)" mark.
size_t CopyPath(size_t nPath, size_t nLength)
{
    if (nLength >= sizeof(g_path))
    {
        nLength = sizeof(g_path) - 1;
    }
    static const char kDeleted[] = " (deleted)";
    const size_t nMark = sizeof(kDeleted) - 1;
    if (nLength > nMark && std::memcmp(g_maps + nPath + nLength - nMark, kDeleted, nMark) == 0)
    {
        nLength -= nMark;
    }
    std::memcpy(g_path, g_maps + nPath, nLength);
    g_path[nLength] = '\0';
    return nLength;
}

// The GNU build id of the ELF file g_path; false when it is not an ELF file or has none.
bool ReadBuildId(SModuleInfo& module)
{
    const int fd = ::open(g_path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
    {
        return false;
    }
    bool bFound = false;
    Elf64_Ehdr header;
    if (::pread(fd, &header, sizeof(header), 0) == static_cast<ssize_t>(sizeof(header)) &&
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 && header.e_ident[EI_CLASS] == ELFCLASS64 &&
        header.e_phentsize == sizeof(Elf64_Phdr))
    {
        for (unsigned k = 0; k < header.e_phnum && k < 64 && !bFound; ++k)
        {
            Elf64_Phdr ph;
            if (::pread(fd, &ph, sizeof(ph), static_cast<off_t>(header.e_phoff + k * sizeof(ph))) !=
                    static_cast<ssize_t>(sizeof(ph)) ||
                ph.p_type != PT_NOTE)
            {
                continue;
            }
            const size_t nNotes = ph.p_filesz < sizeof(g_io) ? ph.p_filesz : sizeof(g_io);
            const ssize_t nRead = ::pread(fd, g_io, nNotes, static_cast<off_t>(ph.p_offset));
            size_t i = 0;
            while (nRead > 0 && i + sizeof(Elf64_Nhdr) <= static_cast<size_t>(nRead))
            {
                Elf64_Nhdr note;
                std::memcpy(&note, g_io + i, sizeof(note));
                const size_t nName = (note.n_namesz + 3u) & ~3u;
                const size_t nDesc = (note.n_descsz + 3u) & ~3u;
                const size_t nDescAt = i + sizeof(note) + nName;
                if (nDescAt + note.n_descsz > static_cast<size_t>(nRead))
                {
                    break;
                }
                if (note.n_type == NT_GNU_BUILD_ID && note.n_namesz == 4 &&
                    std::memcmp(g_io + i + sizeof(note), "GNU", 4) == 0 &&
                    note.n_descsz <= sizeof(module.buildId))
                {
                    std::memcpy(module.buildId, g_io + nDescAt, note.n_descsz);
                    module.nBuildIdLength = note.n_descsz;
                    bFound = true;
                    break;
                }
                i = nDescAt + nDesc;
            }
        }
    }
    ::close(fd);
    return bFound || std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0;
}

// Modules: every file mapped from its offset 0 that is an ELF file; it spans up to the last mapping
// of the same file that follows it.
void FindModules()
{
    g_nModules = 0;
    for (size_t i = 0; i < g_nMappings && g_nModules < kMaxModules; ++i)
    {
        const SMapping& m = g_mappings[i];
        if (m.nOffset != 0 || m.nPathLength == 0 || g_maps[m.nPath] != '/')
        {
            continue;
        }
        SModuleInfo& module = g_modules[g_nModules];
        module.nBase = m.nStart;
        module.nEnd = m.nEnd;
        module.nPath = m.nPath;
        module.nPathLength = m.nPathLength;
        module.nBuildIdLength = 0;
        for (size_t k = i + 1; k < g_nMappings; ++k)
        {
            const SMapping& next = g_mappings[k];
            if (SamePath(m, next))
            {
                if (next.nOffset == 0)
                {
                    break;
                }
                module.nEnd = next.nEnd;
            }
            else if (next.nPathLength != 0)
            {
                break;
            }
        }
        CopyPath(m.nPath, m.nPathLength);
        if (std::strncmp(g_path, "/dev/", 5) != 0 && ReadBuildId(module))
        {
            ++g_nModules;
        }
    }
}

// The threads of the process; for those other than the caller, the stack pointer and program counter
// that /proc gives while the thread waits in a system call.
void FindThreads(uint32_t nSelf, uint64_t nSelfSp, uint64_t nSelfPc)
{
    g_nThreads = 0;
    SThreadInfo& self = g_threads[g_nThreads++];
    self = SThreadInfo{};
    self.nTid = nSelf;
    self.nSp = nSelfSp;
    self.nPc = nSelfPc;
    self.bKnown = true;

    const int fd = ::open("/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
    {
        return;
    }
    alignas(8) char entries[4096];
    for (;;)
    {
        const long n = ::syscall(SYS_getdents64, fd, entries, sizeof(entries));
        if (n <= 0)
        {
            break;
        }
        for (long i = 0; i < n;)
        {
            const auto* pEntry = reinterpret_cast<const struct dirent64*>(entries + i);
            i += pEntry->d_reclen;
            uint32_t nTid = 0;
            const char* p = pEntry->d_name;
            if (*p < '0' || *p > '9')
            {
                continue;
            }
            for (; *p >= '0' && *p <= '9'; ++p)
            {
                nTid = nTid * 10 + static_cast<uint32_t>(*p - '0');
            }
            if (nTid == nSelf || g_nThreads >= kMaxThreads)
            {
                continue;
            }
            SThreadInfo& t = g_threads[g_nThreads++];
            t = SThreadInfo{};
            t.nTid = nTid;
            // "<nr> <6 arguments> <sp> <pc>" while in a system call, "-1 <sp> <pc>" when blocked
            // otherwise, "running" when it runs.
            char szPath[64] = "/proc/self/task/";
            size_t nPos = std::strlen(szPath);
            char digits[16];
            int nDigits = 0;
            for (uint32_t u = nTid; u != 0 || nDigits == 0; u /= 10)
            {
                digits[nDigits++] = static_cast<char>('0' + u % 10);
            }
            while (nDigits > 0)
            {
                szPath[nPos++] = digits[--nDigits];
            }
            std::memcpy(szPath + nPos, "/syscall", 9);
            char text[256];
            const size_t nText = ReadFile(szPath, text, sizeof(text) - 1);
            if (nText == 0 || text[0] == 'r')
            {
                continue;
            }
            uint64_t fields[16];
            size_t nFields = 0;
            for (size_t k = 0; k < nText && nFields < 16;)
            {
                while (k < nText && (text[k] == ' ' || text[k] == '\n'))
                {
                    ++k;
                }
                if (k >= nText)
                {
                    break;
                }
                if (text[k] == '-')
                {
                    ++k;
                }
                fields[nFields++] = ParseHex(text, nText, k);
                while (k < nText && text[k] != ' ' && text[k] != '\n')
                {
                    ++k;
                }
            }
            if (nFields >= 3)
            {
                t.nSp = fields[nFields - 2];
                t.nPc = fields[nFields - 1];
                t.bKnown = true;
            }
        }
    }
    ::close(fd);
}

// The used part of a thread's stack: from below the red zone under the stack pointer up to the end of
// its mapping, at most kMaxStackBytes.
void StackRange(SThreadInfo& t)
{
    const SMapping* pMapping = t.bKnown ? FindMapping(t.nSp) : nullptr;
    if (pMapping == nullptr || !pMapping->bRead)
    {
        return;
    }
    uint64_t nStart = t.nSp >= pMapping->nStart + kRedZone ? t.nSp - kRedZone : pMapping->nStart;
    nStart &= ~static_cast<uint64_t>(15);
    uint64_t nEnd = pMapping->nEnd;
    if (nEnd - nStart > kMaxStackBytes)
    {
        nEnd = nStart + kMaxStackBytes;
    }
    t.nStackStart = nStart;
    t.nStackSize = nEnd - nStart;
}

void FillContext(SContextAmd64& c, const ucontext_t* pContext, const SThreadInfo& t)
{
    std::memset(&c, 0, sizeof(c));
    c.nContextFlags = kContextControl;
    c.nRsp = t.nSp;
    c.nRip = t.nPc;
    c.nCs = 0x33;
    c.nSs = 0x2b;
#if defined(__x86_64__)
    if (pContext != nullptr)
    {
        const greg_t* g = pContext->uc_mcontext.gregs;
        c.nContextFlags = kContextFull;
        c.r8 = static_cast<uint64_t>(g[REG_R8]);
        c.r9 = static_cast<uint64_t>(g[REG_R9]);
        c.r10 = static_cast<uint64_t>(g[REG_R10]);
        c.r11 = static_cast<uint64_t>(g[REG_R11]);
        c.r12 = static_cast<uint64_t>(g[REG_R12]);
        c.r13 = static_cast<uint64_t>(g[REG_R13]);
        c.r14 = static_cast<uint64_t>(g[REG_R14]);
        c.r15 = static_cast<uint64_t>(g[REG_R15]);
        c.nRdi = static_cast<uint64_t>(g[REG_RDI]);
        c.nRsi = static_cast<uint64_t>(g[REG_RSI]);
        c.nRbp = static_cast<uint64_t>(g[REG_RBP]);
        c.nRbx = static_cast<uint64_t>(g[REG_RBX]);
        c.nRdx = static_cast<uint64_t>(g[REG_RDX]);
        c.nRax = static_cast<uint64_t>(g[REG_RAX]);
        c.nRcx = static_cast<uint64_t>(g[REG_RCX]);
        c.nRsp = static_cast<uint64_t>(g[REG_RSP]);
        c.nRip = static_cast<uint64_t>(g[REG_RIP]);
        c.nEFlags = static_cast<uint32_t>(g[REG_EFL]);
        const uint64_t nSegments = static_cast<uint64_t>(g[REG_CSGSFS]);
        c.nCs = static_cast<uint16_t>(nSegments & 0xFFFF);
        c.nGs = static_cast<uint16_t>((nSegments >> 16) & 0xFFFF);
        c.nFs = static_cast<uint16_t>((nSegments >> 32) & 0xFFFF);
        if (pContext->uc_mcontext.fpregs != nullptr)
        {
            static_assert(sizeof(*pContext->uc_mcontext.fpregs) == 512);
            std::memcpy(c.floatSave, pContext->uc_mcontext.fpregs, 512);
            c.nMxCsr = pContext->uc_mcontext.fpregs->mxcsr;
        }
    }
#endif
}

void WriteSystemInfo(SWriter& w, SDirectory& dir)
{
    struct utsname uts;
    std::memset(&uts, 0, sizeof(uts));
    ::uname(&uts);
    char csd[4 * sizeof(uts.release)];
    size_t n = 0;
    const char* const fields[] = {uts.sysname, uts.release, uts.version, uts.machine};
    for (const char* part : fields)
    {
        for (const char* p = part; *p != '\0' && n + 2 < sizeof(csd); ++p)
        {
            csd[n++] = *p;
        }
        csd[n++] = ' ';
    }
    const uint32_t nCsdRva = AppendString(w, csd, n > 0 ? n - 1 : 0);

    SSystemInfo info;
    std::memset(&info, 0, sizeof(info));
    info.nArchitecture = kArchitectureAmd64;
    info.nPlatformId = kPlatformLinux;
    info.nCsdVersionRva = nCsdRva;
    info.nProductType = 1;
    // Kernel version from the release ("6.1.0-13-amd64").
    uint32_t version[3] = {0, 0, 0};
    size_t k = 0;
    for (uint32_t& nPart : version)
    {
        while (uts.release[k] >= '0' && uts.release[k] <= '9')
        {
            nPart = nPart * 10 + static_cast<uint32_t>(uts.release[k++] - '0');
        }
        if (uts.release[k] != '.')
        {
            break;
        }
        ++k;
    }
    info.nMajor = version[0];
    info.nMinor = version[1];
    info.nBuild = version[2];
    cpu_set_t cpus;
    if (::sched_getaffinity(0, sizeof(cpus), &cpus) == 0)
    {
        const int nCount = CPU_COUNT(&cpus);
        info.nProcessors = static_cast<uint8_t>(nCount > 255 ? 255 : nCount);
    }
#if defined(__x86_64__)
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(0, &a, &b, &c, &d))
    {
        info.vendor[0] = b;
        info.vendor[1] = d;
        info.vendor[2] = c;
    }
    if (__get_cpuid(1, &a, &b, &c, &d))
    {
        info.nVersionInformation = a;
        info.nFeatureInformation = d;
        info.nLevel = static_cast<uint16_t>((a >> 8) & 0xF);
        info.nRevision = static_cast<uint16_t>(a & 0xFFFF);
    }
#endif
    dir.nStreamType = kSystemInfoStream;
    dir.location.nRva = Append(w, &info, sizeof(info));
    dir.location.nDataSize = sizeof(info);
}

} // namespace

bool WriteMiniDump(int fd, uint32_t nType, int nSignal, const siginfo_t* pInfo, const ucontext_t* pContext)
{
    SWriter w{fd, 0, true};
    const uint32_t nSelf = static_cast<uint32_t>(::syscall(SYS_gettid));
    const uint32_t nPid = static_cast<uint32_t>(::getpid());

    uint64_t nSp = 0;
    uint64_t nPc = 0;
#if defined(__x86_64__)
    if (pContext != nullptr)
    {
        nSp = static_cast<uint64_t>(pContext->uc_mcontext.gregs[REG_RSP]);
        nPc = static_cast<uint64_t>(pContext->uc_mcontext.gregs[REG_RIP]);
    }
#endif
    ReadMappings();
    FindModules();
    FindThreads(nSelf, nSp, nPc);

    constexpr uint32_t kMaxStreams = 8;
    SDirectory dirs[kMaxStreams];
    std::memset(dirs, 0, sizeof(dirs));
    uint32_t nStreams = 0;
    const bool bFull = (nType & kTypeFullMemory) != 0;
    const uint32_t nStreamCount = bFull ? 8 : 7;
    SHeader header;
    std::memset(&header, 0, sizeof(header));
    Append(w, &header, sizeof(header));
    const uint32_t nDirectoryRva = Append(w, dirs, nStreamCount * sizeof(SDirectory));

    WriteSystemInfo(w, dirs[nStreams++]);

    // Contexts and stacks of the threads; the caller's context comes from the signal.
    g_nRanges = 0;
    for (size_t i = 0; i < g_nThreads; ++i)
    {
        SThreadInfo& t = g_threads[i];
        SContextAmd64 context;
        FillContext(context, i == 0 ? pContext : nullptr, t);
        t.nContextRva = Append(w, &context, sizeof(context));
        StackRange(t);
        if (t.nStackSize > 0)
        {
            t.nStackRva = AppendMemory(w, t.nStackStart, t.nStackSize);
            if (g_nRanges < kMaxRanges)
            {
                g_ranges[g_nRanges++] = SRange{t.nStackStart, t.nStackSize, t.nStackRva};
            }
        }
    }
    {
        const uint32_t nCount = static_cast<uint32_t>(g_nThreads);
        const uint32_t nRva = Append(w, &nCount, sizeof(nCount));
        for (size_t i = 0; i < g_nThreads; ++i)
        {
            const SThreadInfo& t = g_threads[i];
            SThread entry;
            std::memset(&entry, 0, sizeof(entry));
            entry.nThreadId = t.nTid;
            entry.stack.nStart = t.nStackStart;
            entry.stack.memory = SLocation{static_cast<uint32_t>(t.nStackSize), t.nStackRva};
            entry.context = SLocation{sizeof(SContextAmd64), t.nContextRva};
            Append(w, &entry, sizeof(entry));
        }
        dirs[nStreams++] =
            SDirectory{kThreadListStream, SLocation{static_cast<uint32_t>(4 + g_nThreads * 48), nRva}};
    }

    // Exception record.
    {
        SException e;
        std::memset(&e, 0, sizeof(e));
        e.nThreadId = nSelf;
        e.nCode = static_cast<uint32_t>(nSignal);
        if (pInfo != nullptr)
        {
            e.nFlags = static_cast<uint32_t>(pInfo->si_code);
            if (pInfo->si_code > 0 && nSignal != SIGABRT)
            {
                e.nAddress = reinterpret_cast<uint64_t>(pInfo->si_addr);
            }
            else
            {
                // Sent by a process: who sent it.
                e.nParameters = 2;
                e.information[0] = static_cast<uint64_t>(pInfo->si_pid);
                e.information[1] = static_cast<uint64_t>(pInfo->si_uid);
                e.nAddress = nPc;
            }
        }
        e.context = SLocation{sizeof(SContextAmd64), g_threads[0].nContextRva};
        dirs[nStreams++] = SDirectory{kExceptionStream, SLocation{sizeof(e), Append(w, &e, sizeof(e))}};
    }

    // Modules, with their names and build ids.
    {
        static SModule entries[kMaxModules];
        for (size_t i = 0; i < g_nModules; ++i)
        {
            const SModuleInfo& m = g_modules[i];
            SModule& entry = entries[i];
            std::memset(&entry, 0, sizeof(entry));
            entry.nBase = m.nBase;
            entry.nSize = static_cast<uint32_t>(m.nEnd - m.nBase);
            const size_t nLength = CopyPath(m.nPath, m.nPathLength);
            entry.nNameRva = AppendString(w, g_path, nLength);
            if (m.nBuildIdLength > 0)
            {
                const uint32_t nSignature = kCvElfBuildId;
                const uint32_t nRva = Append(w, &nSignature, sizeof(nSignature));
                Append(w, m.buildId, m.nBuildIdLength);
                entry.cvRecord = SLocation{4 + m.nBuildIdLength, nRva};
            }
        }
        const uint32_t nCount = static_cast<uint32_t>(g_nModules);
        const uint32_t nRva = Append(w, &nCount, sizeof(nCount));
        Append(w, entries, g_nModules * sizeof(SModule));
        dirs[nStreams++] = SDirectory{
            kModuleListStream, SLocation{static_cast<uint32_t>(4 + g_nModules * sizeof(SModule)), nRva}};
    }

    // Data segments of the modules: their files' writable mappings.
    if (nType & kTypeDataSegments)
    {
        for (size_t i = 0; i < g_nMappings && g_nRanges < kMaxRanges; ++i)
        {
            const SMapping& m = g_mappings[i];
            if (m.bRead && m.bWrite && m.nPathLength > 0 && g_maps[m.nPath] == '/' && !IsDevice(m))
            {
                g_ranges[g_nRanges++] =
                    SRange{m.nStart, m.nEnd - m.nStart, AppendMemory(w, m.nStart, m.nEnd - m.nStart)};
            }
        }
    }
    {
        const uint32_t nCount = static_cast<uint32_t>(g_nRanges);
        const uint32_t nRva = Append(w, &nCount, sizeof(nCount));
        for (size_t i = 0; i < g_nRanges; ++i)
        {
            SMemoryDescriptor d{g_ranges[i].nStart,
                                SLocation{static_cast<uint32_t>(g_ranges[i].nSize), g_ranges[i].nRva}};
            Append(w, &d, sizeof(d));
        }
        dirs[nStreams++] =
            SDirectory{kMemoryListStream, SLocation{static_cast<uint32_t>(4 + g_nRanges * 16), nRva}};
    }

    // The mappings as text, for the debugger's memory regions.
    dirs[nStreams++] =
        SDirectory{kLinuxMapsStream, SLocation{static_cast<uint32_t>(g_nMaps), Append(w, g_maps, g_nMaps)}};

    // Full memory: every readable and writable mapping, its data in one block after the descriptors.
    if (bFull)
    {
        uint64_t nCount = 0;
        for (size_t i = 0; i < g_nMappings; ++i)
        {
            const SMapping& m = g_mappings[i];
            if (m.bRead && m.bWrite && !IsDevice(m))
            {
                ++nCount;
            }
        }
        const uint64_t nBaseRva = w.nEnd + 16 + nCount * 16;
        const uint32_t nRva = Append(w, &nCount, sizeof(nCount));
        Append(w, &nBaseRva, sizeof(nBaseRva));
        for (size_t i = 0; i < g_nMappings; ++i)
        {
            const SMapping& m = g_mappings[i];
            if (m.bRead && m.bWrite && !IsDevice(m))
            {
                const uint64_t d[2] = {m.nStart, m.nEnd - m.nStart};
                Append(w, d, sizeof(d));
            }
        }
        for (size_t i = 0; i < g_nMappings; ++i)
        {
            const SMapping& m = g_mappings[i];
            if (m.bRead && m.bWrite && !IsDevice(m))
            {
                AppendMemory(w, m.nStart, m.nEnd - m.nStart);
            }
        }
        dirs[nStreams++] =
            SDirectory{kMemory64ListStream, SLocation{static_cast<uint32_t>(16 + nCount * 16), nRva}};
    }

    SMiscInfo misc{sizeof(SMiscInfo), 1, nPid, 0, 0, 0};
    dirs[nStreams++] = SDirectory{kMiscInfoStream, SLocation{sizeof(misc), Append(w, &misc, sizeof(misc))}};

    Patch(w, nDirectoryRva, dirs, nStreams * sizeof(SDirectory));
    struct timespec now
    {
    };
    ::clock_gettime(CLOCK_REALTIME, &now);
    header.nSignature = kSignature;
    header.nVersion = kVersion;
    header.nStreams = nStreams;
    header.nDirectoryRva = nDirectoryRva;
    header.nTimeDateStamp = static_cast<uint32_t>(now.tv_sec);
    header.nFlags = nType;
    Patch(w, 0, &header, sizeof(header));
    return w.bOk;
}
