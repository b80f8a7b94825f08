// The inotify decoder of the Linux backend, with made-up buffers, and how the Linux watch reports a
// move between two folders of the tree (Windows reports it as removed and added).
#include "platform/DirectoryWatch.h"
#include "platform/InotifyDecoder_posix.h"
#include "tests/support/CTempDir.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

using namespace platform;

namespace
{

// Appends one inotify record, its name padded to a multiple of four bytes, as the kernel does.
void AppendRecord(std::vector<unsigned char>& buffer, int nWd, uint32_t nMask, uint32_t nCookie,
                  const std::string& szName)
{
    uint32_t nLen = szName.empty() ? 0 : static_cast<uint32_t>((szName.size() + 4) / 4 * 4);
    inotify_event header{};
    header.wd = nWd;
    header.mask = nMask;
    header.cookie = nCookie;
    header.len = nLen;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(&header);
    buffer.insert(buffer.end(), p, p + sizeof(header));
    std::vector<unsigned char> name(nLen, 0);
    std::copy(szName.begin(), szName.end(), name.begin());
    buffer.insert(buffer.end(), name.begin(), name.end());
}

std::vector<SDirectoryChange> Decode(CInotifyDecoder& decoder, const std::vector<unsigned char>& buffer,
                                     SWatchUpdate& update)
{
    std::vector<SDirectoryChange> changes;
    decoder.Decode(SplitInotifyBuffer(buffer.data(), buffer.size()), changes, update);
    return changes;
}

TEST(InotifyDecoderTest, ActionsMapInBufferOrderWithSubdirectoryNames)
{
    CInotifyDecoder decoder;
    decoder.AddWatch(1, "");
    decoder.AddWatch(2, "sub/");
    std::vector<unsigned char> buffer;
    AppendRecord(buffer, 2, IN_CREATE, 0, "a.txt");
    AppendRecord(buffer, 1, IN_MODIFY, 0, "b.pdf");
    AppendRecord(buffer, 1, IN_ATTRIB, 0, "b.pdf");
    AppendRecord(buffer, 1, IN_MOVED_FROM, 7, "old.txt");
    AppendRecord(buffer, 2, IN_MOVED_TO, 7, "new.txt");
    AppendRecord(buffer, 1, IN_DELETE, 0, "c.txt");
    AppendRecord(buffer, 1, IN_MOVED_FROM, 8, "leaving.txt"); // moved out: no partner
    AppendRecord(buffer, 2, IN_MOVED_TO, 9, "arriving.txt");  // moved in: no partner
    AppendRecord(buffer, 5, IN_CREATE, 0, "unknown-watch.txt");
    SWatchUpdate update;
    std::vector<SDirectoryChange> changes = Decode(decoder, buffer, update);
    std::vector<std::pair<uint32_t, std::wstring>> got;
    for (const auto& change : changes)
        got.emplace_back(change.nAction, change.szName);
    std::vector<std::pair<uint32_t, std::wstring>> want = {{kFileActionAdded, L"sub/a.txt"},
                                                           {kFileActionModified, L"b.pdf"},
                                                           {kFileActionModified, L"b.pdf"},
                                                           {kFileActionRenamedOldName, L"old.txt"},
                                                           {kFileActionRenamedNewName, L"sub/new.txt"},
                                                           {kFileActionRemoved, L"c.txt"},
                                                           {kFileActionRemoved, L"leaving.txt"},
                                                           {kFileActionAdded, L"sub/arriving.txt"}};
    EXPECT_EQ(got, want);
    EXPECT_FALSE(update.bOverflow);
}

TEST(InotifyDecoderTest, DirectoriesAreWatchedRenamedAndDroppedNotReported)
{
    CInotifyDecoder decoder;
    decoder.AddWatch(1, "");
    decoder.AddWatch(2, "d/");
    decoder.AddWatch(3, "d/e/");
    std::vector<unsigned char> buffer;
    AppendRecord(buffer, 1, IN_CREATE | IN_ISDIR, 0, "fresh");
    AppendRecord(buffer, 1, IN_MOVED_FROM | IN_ISDIR, 4, "d");
    AppendRecord(buffer, 1, IN_MOVED_TO | IN_ISDIR, 4, "renamed");
    AppendRecord(buffer, 3, IN_CREATE, 0, "x.txt"); // the nested watch follows the rename
    SWatchUpdate update;
    std::vector<SDirectoryChange> changes = Decode(decoder, buffer, update);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].szName, L"renamed/e/x.txt");
    EXPECT_EQ(update.newDirectories, std::vector<std::string>{"fresh/"});

    buffer.clear();
    AppendRecord(buffer, 1, IN_MOVED_FROM | IN_ISDIR, 5, "renamed"); // moved out of the tree
    AppendRecord(buffer, 0, IN_Q_OVERFLOW, 0, "");
    AppendRecord(buffer, 1, IN_DELETE_SELF, 0, "");
    SWatchUpdate update2;
    EXPECT_TRUE(Decode(decoder, buffer, update2).empty());
    std::sort(update2.droppedWatches.begin(), update2.droppedWatches.end());
    EXPECT_EQ(update2.droppedWatches, (std::vector<int>{2, 3}));
    EXPECT_TRUE(update2.bOverflow);
    EXPECT_TRUE(update2.bRootGone);
    EXPECT_EQ(decoder.WatchCount(), 1u);
}

TEST(InotifyDecoderTest, TruncatedRecordEndsTheSplit)
{
    std::vector<unsigned char> buffer;
    AppendRecord(buffer, 1, IN_CREATE, 0, "a.txt");
    AppendRecord(buffer, 1, IN_CREATE, 0, "second-name.txt");
    buffer.resize(buffer.size() - 3);
    std::vector<SInotifyRecord> records = SplitInotifyBuffer(buffer.data(), buffer.size());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].szName, "a.txt");
    EXPECT_TRUE(SplitInotifyBuffer(buffer.data(), 5).empty());
    EXPECT_TRUE(SplitInotifyBuffer(nullptr, 0).empty());
    EXPECT_TRUE(SplitInotifyBuffer(nullptr, 64).empty());
}

TEST(DirectoryWatchPosixTest, MoveBetweenFoldersOfTheTreeIsARenamePair)
{
    CTempDir temp("dirwatch");
    std::filesystem::create_directories(temp.Path() / "existing");
    std::filesystem::create_directories(temp.Path() / "later");
    std::ofstream(temp.Path() / "existing" / "a.txt") << "x";
    CDirectoryWatch watch;
    ASSERT_TRUE(watch.Open(temp.Path().wstring()));
    std::filesystem::rename(temp.Path() / "existing" / "a.txt", temp.Path() / "later" / "a2.txt");
    std::vector<SDirectoryChange> changes;
    bool bOverflow = false;
    for (int i = 0; i < 100 && changes.size() < 2; ++i)
        ASSERT_EQ(watch.Read(changes, bOverflow), CDirectoryWatch::EResult::Changes);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].nAction, kFileActionRenamedOldName);
    EXPECT_EQ(changes[0].szName, L"existing/a.txt");
    EXPECT_EQ(changes[1].nAction, kFileActionRenamedNewName);
    EXPECT_EQ(changes[1].szName, L"later/a2.txt");
}

} // namespace
