// The Windows directory watch: the decoder of ReadDirectoryChangesW records with made-up buffers,
// how Windows reports a move between two folders of the tree, and a close with a read outstanding.
#include "platform/DirectoryWatch.h"
#include "platform/NotifyDecoder_win.h"
#include "tests/support/CTempDir.h"
#include "tests/support/Wine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

using namespace platform;

namespace
{

// Appends one FILE_NOTIFY_INFORMATION record, DWORD-aligned, and links the previous one to it.
void AppendRecord(std::vector<unsigned char>& buffer, size_t& nLast, uint32_t nAction, const std::u16string& szName)
{
    if (!buffer.empty())
    {
        const uint32_t nNext = static_cast<uint32_t>(buffer.size() - nLast);
        std::memcpy(buffer.data() + nLast, &nNext, sizeof(nNext));
    }
    nLast = buffer.size();
    const uint32_t header[3] = {0, nAction, static_cast<uint32_t>(szName.size() * 2)};
    buffer.resize(buffer.size() + sizeof(header) + (szName.size() * 2 + 3) / 4 * 4);
    std::memcpy(buffer.data() + nLast, header, sizeof(header));
    std::memcpy(buffer.data() + nLast + sizeof(header), szName.data(), szName.size() * 2);
}

TEST(NotifyDecoderTest, RecordsMapInOrderWithSlashesAndATruncatedRecordEndsTheBuffer)
{
    std::vector<unsigned char> buffer;
    size_t nLast = 0;
    AppendRecord(buffer, nLast, kFileActionAdded, u"sub\\deeper\\a.txt");
    AppendRecord(buffer, nLast, 99, u"unknown.txt");
    AppendRecord(buffer, nLast, kFileActionRenamedOldName, u"b.txt");
    AppendRecord(buffer, nLast, kFileActionRenamedNewName, u"r\u00E4 c.txt");
    AppendRecord(buffer, nLast, kFileActionRemoved, u"cut-off.txt");
    std::vector<SDirectoryChange> changes;
    DecodeNotifyBuffer(buffer.data(), buffer.size() - 4, changes);
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[0].nAction, kFileActionAdded);
    EXPECT_EQ(changes[0].szName, L"sub/deeper/a.txt");
    EXPECT_EQ(changes[1].nAction, kFileActionRenamedOldName);
    EXPECT_EQ(changes[2].szName, L"r\u00E4 c.txt");

    // A next offset pointing beyond the buffer ends it too.
    const uint32_t nBeyond = 1u << 20;
    std::memcpy(buffer.data(), &nBeyond, sizeof(nBeyond));
    changes.clear();
    DecodeNotifyBuffer(buffer.data(), buffer.size(), changes);
    EXPECT_EQ(changes.size(), 1u);
}

class DirectoryWatchWinTest : public ::testing::Test
{
protected:
    bool Await(CDirectoryWatch& watch, std::vector<SDirectoryChange>& seen, size_t nCount)
    {
        for (int i = 0; i < 100 && seen.size() < nCount; ++i)
        {
            bool bOverflow = false;
            if (watch.Read(seen, bOverflow) != CDirectoryWatch::EResult::Changes)
                return false;
        }
        return seen.size() >= nCount;
    }

    CTempDir m_temp{"dirwatch-win"};
    const std::filesystem::path m_dir = m_temp.Path();
};

TEST_F(DirectoryWatchWinTest, MoveBetweenFoldersOfTheTreeIsRemovedThenAdded)
{
    TARVIK_SKIP_UNDER_WINE("Wine reports a move between two folders as a rename pair, Windows as removed "
                           "and added");
    std::filesystem::create_directories(m_dir / "one");
    std::filesystem::create_directories(m_dir / "two");
    std::ofstream(m_dir / "one" / "a.txt") << "x";
    CDirectoryWatch watch;
    ASSERT_TRUE(watch.Open(m_dir.wstring()));
    std::filesystem::rename(m_dir / "one" / "a.txt", m_dir / "two" / "a.txt");
    std::vector<SDirectoryChange> seen;
    ASSERT_TRUE(Await(watch, seen, 2));
    EXPECT_EQ(seen[0].nAction, kFileActionRemoved);
    EXPECT_EQ(seen[0].szName, L"one/a.txt");
    EXPECT_EQ(seen[1].nAction, kFileActionAdded);
    EXPECT_EQ(seen[1].szName, L"two/a.txt");
}

TEST_F(DirectoryWatchWinTest, ChangesBetweenReadsAreKeptAndCloseWithAReadOutstandingReturns)
{
    CDirectoryWatch watch;
    ASSERT_TRUE(watch.Open(m_dir.wstring()));
    // Made before the first Read: the read that Open started holds them.
    std::ofstream(m_dir / "early.txt") << "x";
    std::vector<SDirectoryChange> seen;
    ASSERT_TRUE(Await(watch, seen, 1));
    EXPECT_EQ(seen[0].nAction, kFileActionAdded);
    EXPECT_EQ(seen[0].szName, L"early.txt");

    // A directory is not a file name: only the file in it is reported.
    std::filesystem::create_directories(m_dir / "sub");
    std::ofstream(m_dir / "sub" / "late.txt") << "x";
    seen.clear();
    ASSERT_TRUE(Await(watch, seen, 1));
    EXPECT_EQ(seen[0].szName, L"sub/late.txt");

    watch.Close(); // the outstanding read is cancelled and given back
    bool bOverflow = false;
    EXPECT_EQ(watch.Read(seen, bOverflow), CDirectoryWatch::EResult::Failed);
    ASSERT_TRUE(watch.Open(m_dir.wstring()));
    std::ofstream(m_dir / "again.txt") << "x";
    seen.clear();
    ASSERT_TRUE(Await(watch, seen, 1));
    EXPECT_EQ(seen[0].szName, L"again.txt");
}

} // namespace
