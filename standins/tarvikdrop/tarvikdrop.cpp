// tarvikdrop: the printing side's post-processing step hands a finished PDF to the service with
//
//     tarvikdrop [--config FILE] PDF [ACCOUNT]
//
// Installed setgid to the service's group, it is the only way for a printing user into the incoming
// folder. It runs for any local user, so everything it is given is treated as hostile: the account
// is the caller's own (the real user id) unless root calls it, a name given must be that account,
// the settings come from the root-owned configuration file, no link is followed and no environment
// variable is read. Exit code 0 when the control file was written, 1 when refused, 2 for a wrong
// command line.
#include "CControlFileDrop.h"
#include "CDropConfig.h"
#include "CFolderHandle.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pwd.h>
#include <string>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

constexpr int kRefused = 1;
constexpr int kUsage = 2;

// Before anything else: a known umask, no inherited variables, and standard descriptors that are
// open, so that no file opened later can become someone's standard output.
void Harden()
{
    umask(077);
    clearenv();
    for (int hFd = 0; hFd <= 2; ++hFd)
    {
        if (fcntl(hFd, F_GETFD) == -1 && errno == EBADF && open("/dev/null", O_RDWR | O_NOCTTY) != hFd)
            _exit(kRefused);
    }
    // A file size limit set by the caller makes a write fail (and the control file go unwritten)
    // instead of killing the program half-way.
    signal(SIGXFSZ, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);
}

// True when the program runs with ids other than the caller's (installed setgid).
bool Privileged()
{
    return getauxval(AT_SECURE) != 0 || getuid() != geteuid() || getgid() != getegid();
}

// Appends one line to the post-processing log, when there is one: a regular file with one link,
// not writable by every user, opened without following links. Failures are left unreported: the
// message also goes to standard error.
void AppendLog(const std::string& szLog, const std::string& szMessage)
{
    if (szLog.empty())
        return;
    const size_t nSlash = szLog.find_last_of('/');
    CFolderHandle folder;
    std::string szError;
    if (!folder.Open(szLog.substr(0, nSlash == 0 ? 1 : nSlash), szError))
        return;
    const int hLog = openat(folder.Fd(), szLog.c_str() + nSlash + 1,
                            O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (hLog < 0)
        return;
    struct stat info = {};
    if (fstat(hLog, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1 && !(info.st_mode & S_IWOTH))
    {
        char szTime[32] = {};
        const time_t now = time(nullptr);
        struct tm parts = {};
        strftime(szTime, sizeof szTime, "%Y-%m-%d %H:%M:%S", localtime_r(&now, &parts));
        const std::string szLine =
            std::string(szTime) + " uid " + std::to_string(getuid()) + ": " + szMessage + "\n";
        // One write, so that lines of jobs that end at the same time do not interleave.
        [[maybe_unused]] const ssize_t n = write(hLog, szLine.data(), szLine.size());
    }
    close(hLog);
}

int Refuse(const std::string& szLog, const std::string& szMessage, int nCode = kRefused)
{
    std::fprintf(stderr, "tarvikdrop: %s\n", szMessage.c_str());
    AppendLog(szLog, szMessage);
    return nCode;
}

int Usage(const std::string& szMessage)
{
    std::fprintf(stderr, "tarvikdrop: %s\nusage: tarvikdrop [--config FILE] PDF [ACCOUNT]\n",
                 szMessage.c_str());
    return kUsage;
}

} // namespace

int main(int argc, char** argv)
{
    Harden();
    std::vector<std::string> arguments;
    for (int n = 1; n < argc && n < 8; ++n)
    {
        if (std::strlen(argv[n]) > 4096)
            return Usage("an argument is longer than 4096 bytes");
        arguments.emplace_back(argv[n]);
    }
    std::string szConfig = CDropConfig::kDefaultPath;
    bool bOwnConfig = false;
    if (!arguments.empty() && arguments[0] == "--config")
    {
        if (arguments.size() < 2)
            return Usage("--config needs a file");
        szConfig = arguments[1];
        bOwnConfig = true;
        arguments.erase(arguments.begin(), arguments.begin() + 2);
    }
    if (argc > 8 || arguments.empty() || arguments.size() > 2 || arguments[0].empty() ||
        arguments[0][0] == '-')
        return Usage("expected the PDF and, optionally, the account that printed it");
    // Installed with privilege, the settings come only from the root-owned file.
    if (bOwnConfig && Privileged())
        return Usage("--config is only accepted when the program runs without privilege");

    CDropConfig config;
    std::string szError;
    if (!config.Load(szConfig, bOwnConfig ? getuid() : 0, szError))
        return Refuse(std::string(), szError);

    const std::string& szDocument = arguments[0];
    const uid_t nCaller = getuid();
    const std::string szGiven = arguments.size() > 1 ? arguments[1] : std::string();
    std::string szAccount;
    uid_t nUid = 0;
    if (nCaller == 0)
    {
        // Root (the printing side itself) names the account it resolved.
        if (szGiven.empty())
            return Refuse(config.Log(),
                          "no control file for job " + szDocument + ": root must name the account");
        const struct passwd* pAccount = getpwnam(szGiven.c_str());
        if (!pAccount)
            return Refuse(config.Log(), "no control file for job " + szDocument + ": no account " + szGiven);
        szAccount = pAccount->pw_name;
        nUid = pAccount->pw_uid;
    }
    else
    {
        // Anyone else prints as themselves, whatever name came with the job.
        const struct passwd* pAccount = getpwuid(nCaller);
        if (!pAccount)
            return Refuse(config.Log(), "no control file for job " + szDocument + ": the caller's user id " +
                                            std::to_string(nCaller) + " has no account");
        szAccount = pAccount->pw_name;
        nUid = nCaller;
        if (!szGiven.empty() && szGiven != szAccount)
        {
            const struct passwd* pGiven = getpwnam(szGiven.c_str());
            if (!pGiven || pGiven->pw_uid != nCaller)
                return Refuse(config.Log(), "no control file for job " + szDocument + ": the name '" +
                                                szGiven + "' is not the caller's account " + szAccount);
        }
    }

    std::string szResult;
    CControlFileDrop drop(config);
    if (!drop.Drop(szDocument, szAccount, nUid, szResult))
        return Refuse(config.Log(), szResult);
    AppendLog(config.Log(), szResult);
    return 0;
}
