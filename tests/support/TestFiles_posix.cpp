// The Linux part of the tests' helpers: the file-size limit, symbolic links, variables through
// setenv.
#include "tests/support/TestFiles.h"

#include <csignal>
#include <cstdlib>
#include <sys/resource.h>
#include <system_error>

namespace tests
{

std::string PythonProgram()
{
    return "/usr/bin/python3";
}

std::filesystem::path NullDevice()
{
    return "/dev/null";
}

bool LimitFileSize(uint64_t nBytes)
{
    // Writes past the limit fail with EFBIG instead of ending the process with SIGXFSZ.
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit = {static_cast<rlim_t>(nBytes), static_cast<rlim_t>(nBytes)};
    return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

bool MakeSymbolicLink(const std::filesystem::path& target, const std::filesystem::path& link, bool)
{
    std::error_code error;
    std::filesystem::create_symlink(target, link, error);
    return !error;
}

void SetVariable(const char* szName, const char* szValue)
{
    if (szValue)
        ::setenv(szName, szValue, 1);
    else
        ::unsetenv(szName);
}

} // namespace tests
