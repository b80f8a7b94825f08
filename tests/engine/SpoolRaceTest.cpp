// A local user against the engine running as root over a world-writable incoming folder: as
// `nobody`, the attacker owns a subfolder d.txt/ of the spool with a control file x.txt that names a
// document that never comes, and swaps, thousands of times a second, x.txt with a link to a folder of
// root's files and d.txt itself with a link to that folder (which holds an x.txt of its own). The
// engine lists and gives up on every control file it meets (Attempts 0), with either fate: deleted,
// or moved to the error folder. Nothing outside the spool may change.
#include "engine/CFilesList.h"
#include "engine/CIncomingFolder.h"
#include "engine/CTxtFile.h"
#include "engine/CTxtFiles.h"
#include "engine/IFilesListFiller.h"
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/CTestParams.h"
#include "tests/support/CTestProcess.h"
#include "tests/support/TestFiles.h"
#include "watch/CDocInfo.h"

#include "tests/engine/CIsolatedRun.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace
{

// The attacker, run as nobody: plants d.txt/x.txt (old enough to be read at once) beside the link
// d.txt/l, and dl beside d.txt in the spool, and swaps each pair with RENAME_EXCHANGE until the time
// is up; whatever the engine took away is planted again. Prints "swaps plants".
constexpr const char* kAttacker = R"(
import ctypes, os, sys, time
libc = ctypes.CDLL(None, use_errno=True)
spool, victim, seconds, stop = sys.argv[1], sys.argv[2], float(sys.argv[3]), sys.argv[4]
sub, dl = os.path.join(spool, "d.txt"), os.path.join(spool, "dl")
x, l = os.path.join(sub, "x.txt"), os.path.join(sub, "l")
def swap(a, b):
    return libc.renameat2(-100, a.encode(), -100, b.encode(), 2) == 0
def plant():
    for p in (dl, os.path.join(spool, "d.txt")):
        if os.path.islink(p): os.unlink(p)
    if not os.path.isdir(sub): os.mkdir(sub, 0o755)
    os.symlink(victim, dl)
    for p in (x, l):
        if os.path.lexists(p) and not os.path.isdir(p): os.unlink(p)
    with open(x, "w") as f: f.write("File: /nonexistent/never.pdf\nRespondEmail: a@example.org\n")
    old = time.time() - 60
    os.utime(x, (old, old))
    os.symlink(victim, l)
    global plants
    plants += 1
    with open(stop + ".plants", "w") as f: f.write(str(plants))
swaps = plants = i = 0
end = time.time() + seconds
while time.time() < end and not os.path.exists(stop):
    i += 1
    try:
        if not (os.path.lexists(x) and os.path.lexists(l) and os.path.lexists(dl)) or os.path.islink(os.path.join(spool, "d.txt")) and not os.path.lexists(dl):
            plant()
        swaps += swap(x, l)
        if i % 4:
            swaps += swap(x, l) # mostly back at once: the engine must meet the file, too
        swaps += swap(sub, dl)
        swaps += swap(sub, dl)
    except OSError:
        try:
            if os.path.islink(sub): swap(sub, dl)
            plant()
        except OSError:
            pass
print(swaps, plants)
)";

constexpr int kVictims = 100;
// The engine races for kSeconds, and longer (up to kMaxSeconds) until it has taken the attacker's
// control file away at least once, so that the fates themselves ran under the race.
constexpr double kSeconds = 3.0;
constexpr double kMaxSeconds = 10.0;

class CPassFiller : public IFilesListFiller
{
public:
    CPassFiller(CTxtFiles& files, CFMParams* pParams) : m_files(files), m_pParams(pParams) {}
    bool OnFileListed(CDocInfo& info, int) override
    {
        m_files.Add(new CTxtFile(info.m_szPath, m_pParams));
        return true;
    }

private:
    CTxtFiles& m_files;
    CFMParams* m_pParams;
};

class SpoolRaceTest : public ::testing::Test
{
protected:
    // Runs the race with the given fate; the victim folder's files before and after must match.
    void RunRace(int nMoveErr)
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "the engine must run as root and the attacker as nobody";
        const fs::path spool = m_root / "spool", in = spool / "in", victim = m_root / "victim";
        for (const fs::path& dir : {in, spool / "out", spool / "err", victim})
            fs::create_directories(dir);
        // nobody must reach the spool: every folder on the way searchable, the incoming one writable
        // by all and sticky, as the printer queue makes it.
        for (fs::path dir = m_root; dir != dir.root_path() && dir != fs::temp_directory_path();
             dir = dir.parent_path())
            fs::permissions(dir, fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
        fs::permissions(in, fs::perms::all | fs::perms::sticky_bit);
        fs::create_directories(m_root / "progress"); // where the attacker tells how often it planted
        fs::permissions(m_root / "progress", fs::perms::all);
        std::map<std::string, std::string> before;
        for (int n = 0; n < kVictims; ++n)
        {
            const std::string szName = n == 0 ? "x.txt" : "root-" + std::to_string(n);
            const std::string szContent =
                "File: /nonexistent/never.pdf\nroot's file " + std::to_string(n) + "\n";
            std::ofstream(victim / szName) << szContent;
            fs::last_write_time(victim / szName, fs::file_time_type::clock::now() - 60s);
            before[szName] = szContent;
        }
        const fs::path script = m_root / "attacker.py";
        std::ofstream(script) << kAttacker;

        CTestParams params((m_root / "tarvik.ini").wstring());
        params.m_szTxtInDir = in.wstring() + L"/";
        params.m_szTxtOutDir = (spool / "out").wstring() + L"/";
        params.m_szTxtErrDir = (spool / "err").wstring() + L"/";
        params.m_szPdfDefDir = (spool / "docs").wstring() + L"/";
        params.m_nAttempts = 0; // every control file met is given up at once
        params.m_bMoveErr = nMoveErr;
        params.m_szDefEmail = L"default@example.org";
        params.m_szEmSmtpServer = L"127.0.0.1";
        params.m_nEmPort = 9; // refused at once: the report fails and the fate goes on

        CTestProcess attacker;
        CTestProcess::SOptions options;
        options.m_outputFile = m_root / "attacker.out";
        ASSERT_TRUE(attacker.Start({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                    "/usr/bin/python3", script.string(), in.string(), victim.string(),
                                    std::to_string(kMaxSeconds), (m_root / "progress" / "stop").string()},
                                   options))
            << attacker.Error();

        // The engine's passes, as its monitor loop makes them with AttemptTimeout 0.
        int nPasses = 0;
        size_t nGivenUp = 0;
        const auto tStart = std::chrono::steady_clock::now();
        auto elapsed = [&]()
        { return std::chrono::duration<double>(std::chrono::steady_clock::now() - tStart).count(); };
        auto plants = [&]()
        { return std::atoi(tests::ReadFile(m_root / "progress" / "stop.plants").c_str()); };
        while (elapsed() < kMaxSeconds && (elapsed() < kSeconds || nPasses % 64 != 0 || plants() < 2))
        {
            CTxtFiles files;
            CIncomingFolder folder(params.m_szTxtInDir);
            CFilesList list(nullptr, nullptr);
            bool bLimit = false;
            if (const platform::COpenDirectory* pRoot = folder.Root())
                CollectFiles(*pRoot, L"*.txt", list, 1, 100, 0, 2, bLimit);
            CPassFiller filler(files, &params);
            list.PassTo(filler);
            const size_t nBefore = files.Count();
            files.ProcessAll(folder);
            nGivenUp += nBefore - files.Count();
            ++nPasses;
        }
        std::ofstream(m_root / "progress" / "stop") << "stop";
        EXPECT_EQ(attacker.Wait(), 0) << tests::ReadFile(m_root / "attacker.out");
        int nSwaps = 0, nPlants = 0;
        std::istringstream(tests::ReadFile(m_root / "attacker.out")) >> nSwaps >> nPlants;

        // The race took place: names were swapped many times and the engine gave up on control
        // files it met (how often it took the attacker's control file away depends on the timing: the
        // attacker plants it again each time).
        EXPECT_GT(nSwaps, 1000) << tests::ReadFile(m_root / "attacker.out");
        EXPECT_GT(nGivenUp, 10u) << nPasses << " passes";
        EXPECT_GT(nPlants, 1) << "the engine never took the control file away";
        std::printf("race: %d swaps, %d plants, %zu control files given up in %d passes\n", nSwaps, nPlants,
                    nGivenUp, nPasses);

        // Nothing outside the spool changed.
        std::map<std::string, std::string> after;
        for (const auto& entry : fs::directory_iterator(victim))
            after[entry.path().filename().string()] = tests::ReadFile(entry.path());
        EXPECT_EQ(after, before);
        EXPECT_EQ(fs::status(victim).permissions() & fs::perms::all, fs::perms(0755) & fs::perms::all);
        // What reached the error folder came from the attacker's names only.
        for (const auto& entry : fs::directory_iterator(spool / "err"))
            EXPECT_FALSE(fs::is_directory(fs::symlink_status(entry.path()))) << entry.path();
    }

    CIsolatedEnvironment m_env{CIsolatedEnvironment::kHeadless};
    const fs::path m_root =
        m_env.Directory().Path() /
        ("race-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
};

TEST_F(SpoolRaceTest, SwappedLinksNeverMakeTheEngineDeleteOutsideTheSpool)
{
    if (CIsolatedRun::InParent(m_root / "exe"))
        return; // ran in a process of its own, with its own log beside its executable
    RunRace(0);
}

TEST_F(SpoolRaceTest, SwappedLinksNeverMakeTheEngineMoveOrCopyFromOutsideTheSpool)
{
    if (CIsolatedRun::InParent(m_root / "exe"))
        return;
    RunRace(1);
}

} // namespace
