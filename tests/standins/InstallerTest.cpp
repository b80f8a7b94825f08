// The installer program: its command line, the product's uninstall entry, the removal command's
// outcome, and the entry's deletion.
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/CTempDir.h"
#include "tests/support/CTestProcess.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{

const std::string kCode = "{0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D}";

class InstallerTest : public ::testing::Test
{
protected:
    InstallerTest()
        : m_temp("msiexec"), m_root(m_temp.Path()),
          m_entry(m_environment.RegistryDir() /
                  "HKEY_LOCAL_MACHINE/SOFTWARE/Microsoft/Windows/CurrentVersion/Uninstall" / kCode)
    {
    }

    // The entry with a removal script that counts its runs, exits with nExit and, with bSelfRemove,
    // deletes the entry itself as a package's removal script does.
    void AddEntry(int nExit, bool bSelfRemove = false)
    {
        fs::create_directories(m_entry);
        std::ofstream(m_entry / "DisplayName") << "Tarvik\n";
        std::ofstream(m_entry / "UninstallString") << "MsiExec.exe /I" << kCode << "\n";
        const fs::path script = m_root / "remove.sh";
        std::ofstream out(script);
        out << "#!/bin/sh\necho run >> '" << (m_root / "runs.txt").string() << "'\n";
        if (bSelfRemove)
            out << "rm -r '" << m_entry.string() << "'\n";
        out << "exit " << nExit << "\n";
        out.close();
        fs::permissions(script, fs::perms::owner_all);
        std::ofstream(m_entry / "RemovalCommand") << script.string() << "\n";
    }

    // Runs msiexec with the arguments (separated by spaces); its exit code (-1 when it did not end
    // normally), with standard output and error in m_szOutput.
    int Run(const std::string& szArguments)
    {
        std::vector<std::string> args = {std::string(TARVIK_BIN_DIR) + "/msiexec"};
        std::istringstream words(szArguments);
        for (std::string szWord; words >> szWord;)
            args.push_back(szWord);
        CTestProcess::SOptions options;
        options.m_outputFile = m_root / "out.txt";
        const int nResult = CTestProcess::Run(args, options);
        m_szOutput = tests::ReadFile(m_root / "out.txt");
        return nResult >= 0 ? nResult : -1;
    }

    int Runs() const
    {
        std::ifstream in(m_root / "runs.txt");
        int n = 0;
        for (std::string sz; std::getline(in, sz);)
            ++n;
        return n;
    }

    CIsolatedEnvironment m_environment;
    CTempDir m_temp;
    const fs::path m_root;
    const fs::path m_entry;
    std::string m_szOutput;
};

TEST_F(InstallerTest, RemovesTheProductAndItsEntry)
{
    AddEntry(0);
    EXPECT_EQ(Run("/x" + kCode + " /qb /norestart"), 0) << m_szOutput;
    EXPECT_EQ(Runs(), 1);
    EXPECT_FALSE(fs::exists(m_entry));
    EXPECT_NE(m_szOutput.find("Removing Tarvik " + kCode), std::string::npos) << m_szOutput;
    EXPECT_NE(m_szOutput.find("Removal complete"), std::string::npos);

    // A blank after /x, and a removal that deletes the entry itself; without /qb nothing is printed.
    AddEntry(0, true);
    EXPECT_EQ(Run("/x " + kCode + " /norestart"), 0) << m_szOutput;
    EXPECT_EQ(Runs(), 2);
    EXPECT_FALSE(fs::exists(m_entry));
    EXPECT_EQ(m_szOutput, "");
}

TEST_F(InstallerTest, BadCommandLinesAndFailuresRemoveNothing)
{
    AddEntry(0);
    const std::vector<std::string> badLines = {
        "", "/i" + kCode, "/x", "/x{not-a-code} /qb", "/x" + kCode + " /bogus", "/x" + kCode + " /x" + kCode};
    for (const std::string& szArguments : badLines)
    {
        EXPECT_NE(Run(szArguments), 0) << szArguments;
        EXPECT_NE(m_szOutput.find("msiexec: "), std::string::npos) << szArguments;
    }
    EXPECT_NE(Run("/x{11111111-2222-3333-4444-555555555555} /qb"), 0);
    EXPECT_NE(m_szOutput.find("unknown product"), std::string::npos) << m_szOutput;
    EXPECT_EQ(Runs(), 0);
    EXPECT_TRUE(fs::exists(m_entry));

    // A removal that fails keeps the entry, so that it can be tried again.
    AddEntry(3);
    EXPECT_NE(Run("/x" + kCode + " /qb"), 0);
    EXPECT_EQ(Runs(), 1);
    EXPECT_TRUE(fs::exists(m_entry));
    EXPECT_NE(m_szOutput.find("exit code 3"), std::string::npos) << m_szOutput;
}

} // namespace
