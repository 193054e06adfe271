// pathremove: the package's entry lines come out of pathdef.m however
// savepath laid them out, and every other byte stays; the file is replaced
// whole or not at all.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "remove_matlab_path.h"

namespace {

namespace fs = std::filesystem;
using pathremove::withoutEntries;

const std::string package = "C:\\Tools\\orvalink";
const std::string head = "function p = pathdef\r\n%   Path definition\r\np = [...\r\n%%% BEGIN ENTRIES %%%\r\n";
const std::string other = "     'C:\\MATLAB\\toolbox\\matlab\\general;', ...\r\n";
const std::string tail = "%%% END ENTRIES %%%\r\n     ...\r\n];\r\n";

// The five lines as the setup's SetMatlabPath writes them.
std::string installed(const std::string& folder, const std::string& end = "\n")
{
    std::string lines;
    for (const char* suffix : {"", "\\samples", "\\trim", "\\util", "\\fgutil"}) {
        lines += "'" + folder + suffix + ";',..." + end;
    }
    return lines;
}

std::string removed(const std::string& text, std::size_t& count, const std::string& folder = package)
{
    return withoutEntries(text, folder, count);
}

TEST(PathRemove, takes_out_the_lines_as_installed_and_keeps_every_other_byte)
{
    std::size_t count = 0;
    EXPECT_EQ(removed(head + other + installed(package) + tail, count), head + other + tail);
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(removed(head + installed(package, "\r\n") + other + tail, count), head + other + tail);
    EXPECT_EQ(count, 5u);
    // The last line of a file, without a line end.
    EXPECT_EQ(removed(head + "'" + package + "\\fgutil;',...", count), head);
    EXPECT_EQ(count, 1u);
}

TEST(PathRemove, takes_out_lines_that_savepath_laid_out_anew)
{
    const std::string relaid = "     'C:\\Tools\\orvalink;', ...\r\n"
                               "     'C:\\Tools\\orvalink\\samples;', ...\r\n"
                               "\t'c:/tools/ORVALINK/Trim;' ,...   \r\n"
                               "     'C:\\TOOLS\\orvalink\\util\\;', ...\r\n"
                               "     'C:\\Tools\\orvalink\\fgutil',... % added by setup\r\n"
                               "'C:\\Tools\\orvalink\\util;'\r\n";  // a row of its own, without a continuation
    std::size_t count = 0;
    EXPECT_EQ(removed(head + relaid + other + tail, count), head + other + tail);
    EXPECT_EQ(count, 6u);
    // Both ends of the alphabet in the other case; a row continued without its comma.
    const std::string lines = "'c:\\az\\orvalink;' ...\r\n'C:\\az\\ORVALINK\\util;',...\r\n";
    EXPECT_EQ(removed(head + lines + other + tail, count, "C:\\AZ\\orvalink"), head + other + tail);
    EXPECT_EQ(count, 2u);
}

TEST(PathRemove, takes_out_what_is_left_and_every_repeated_set)
{
    std::string four = installed(package);
    four.erase(four.find("'C:\\Tools\\orvalink\\trim"), std::string("'C:\\Tools\\orvalink\\trim;',...\n").size());
    std::size_t count = 0;
    EXPECT_EQ(removed(head + four + tail, count), head + tail);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(removed(head + installed(package) + other + installed(package) + installed(package) + tail, count),
              head + other + tail);
    EXPECT_EQ(count, 15u);
    // A trailing separator on the package folder changes nothing.
    EXPECT_EQ(removed(head + installed(package) + tail, count, package + "\\"), head + tail);
}

TEST(PathRemove, keeps_lines_that_name_other_folders_or_are_no_plain_entry)
{
    const std::string kept = "'C:\\Tools\\orvalink2;',...\n"
                             "'D:\\Tools\\orvalink;',...\n"  // another drive: the first letter counts too
                             "'C:\\Tools\\orvalinx;',...\n"  // as long as the package folder: the last one too
                             "'C:\\Tools\\orvalink\\samples\\mine;',...\n"
                             "'C:\\Tools;',...\n"
                             "'C:\\Tools\\orvalinksamples;',...\n"
                             "% 'C:\\Tools\\orvalink;',...\n"
                             "%C:\\Tools\\orvalink;',...\n"  // no opening quote, a closing one
                             "addpath('C:\\Tools\\orvalink');\n"
                             "'C:\\Tools\\orvalink;' 'D:\\x;',...\n"
                             "'C:\\Tools\\orvalink;'x...\n"
                             "'C:\\Tools\\orvalink;\n"
                             "''\n"
                             "'C:\\Tools\\orval\xc3\xb6nk;',...\n"
                             "\0'C:\\Tools\\orvalink;',...\n";
    const std::string text = head + std::string(kept.data(), kept.size() - 1) + std::string(1, '\0') + tail;
    std::size_t count = 9;
    EXPECT_EQ(removed(text, count), text);
    EXPECT_EQ(count, 0u);
    // No package folder names nothing.
    EXPECT_EQ(removed(head + installed(package) + tail, count, ""), head + installed(package) + tail);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(removed(head + "'\\;',...\n" + tail, count, "\\"), head + "'\\;',...\n" + tail);
}

// The user's own entries of the package's folders, there before the install:
// the first of each folder are kept, as many as were counted then.
TEST(PathRemove, keeps_the_first_entries_of_each_folder_that_the_user_had)
{
    const std::string mine = "'" + package + ";',...\n'" + package + "\\util;',...\n";
    const std::string text = head + mine + other + installed(package) + tail;
    using pathremove::EntryCounts;
    const struct {
        EntryCounts keep;
        std::string left;
        std::size_t removed;
    } cases[] = {
        {{1, 0, 0, 1, 0}, head + mine + other + tail, 5},  // the user's two, before ours
        {{0, 0, 0, 0, 0}, head + other + tail, 7},  // none counted: every line goes
        {{2, 1, 1, 2, 1}, text, 0},  // as many as there are: none goes
        {{1, 0, 0, 0, 0}, head + "'" + package + ";',...\n" + other + tail, 6},
        {{0, 0, 0, 1, 5}, head + "'" + package + "\\util;',...\n" + other + "'" + package + "\\fgutil;',...\n" + tail, 5},
    };
    for (const auto& c : cases) {
        std::size_t count = 0;
        EXPECT_EQ(withoutEntries(text, package, count, c.keep), c.left) << c.removed;
        EXPECT_EQ(count, c.removed);
    }
    // Counting sees what removing sees, and the counts travel as four bits a folder.
    const EntryCounts counted = pathremove::countEntries(text + installed(package), package);
    EXPECT_EQ(counted, (EntryCounts{3, 2, 2, 3, 2}));
    EXPECT_EQ(pathremove::countEntries(text, ""), EntryCounts{});
    EXPECT_EQ(pathremove::packed(counted), 0x23223);
    EXPECT_EQ(pathremove::unpacked(0x23223), counted);
    EXPECT_EQ(pathremove::packed(EntryCounts{16, 0, 0, 0, 15}), 0xF000F);  // capped, never carried over
    EXPECT_EQ(pathremove::unpacked(-1), (EntryCounts{15, 15, 15, 15, 15}));
}

class RemoveMatlabPathFile : public testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("pathremove-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                           "-" + testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        folder = dir.string() + static_cast<char>(fs::path::preferred_separator);
    }
    void TearDown() override { fs::remove_all(dir); }
    void write(const std::string& text) { std::ofstream(dir / "pathdef.m", std::ios::binary) << text; }
    std::string read() const
    {
        std::ifstream in(dir / "pathdef.m", std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    fs::path dir;
    std::string folder;
};

TEST_F(RemoveMatlabPathFile, rewrites_the_file_and_reports_the_lines_removed)
{
    const char bytes[] = "% \xff\xfe bytes\0 kept\r\n";
    const std::string binary(bytes, sizeof bytes - 1);
    write(head + binary + installed(package) + tail);
    EXPECT_EQ(RemoveMatlabPath(package.c_str(), folder.c_str()), 5);
    EXPECT_EQ(read(), head + binary + tail);
    EXPECT_FALSE(fs::exists(dir / "pathdef.m.orvalink-new"));
    EXPECT_EQ(RemoveMatlabPath(package.c_str(), folder.c_str()), 0);  // nothing left: untouched
    EXPECT_EQ(read(), head + binary + tail);
    // One line left by a user's edit; a file one byte longer than a whole number of reads.
    const std::string one = "'" + package + "\\util;',...\n";
    const std::string filler(65536 - head.size() - one.size() - tail.size(), '%');
    write(head + one + filler + tail + "x");
    EXPECT_EQ(RemoveMatlabPath(package.c_str(), folder.c_str()), 1);
    EXPECT_EQ(read(), head + filler + tail + "x");
}

TEST_F(RemoveMatlabPathFile, counts_entries_and_keeps_those_it_is_told_to)
{
    const std::string mine = "'" + package + "\\samples;',...\n";
    write(head + mine + installed(package) + tail);
    EXPECT_EQ(CountMatlabPathEntries(package.c_str(), folder.c_str()), 0x11121);
    EXPECT_EQ(RemoveMatlabPathKeeping(package.c_str(), folder.c_str(), 0x10), 5);  // the user's samples line
    EXPECT_EQ(read(), head + mine + tail);
    EXPECT_EQ(CountMatlabPathEntries(package.c_str(), folder.c_str()), 0x10);
    EXPECT_EQ(RemoveMatlabPathKeeping(package.c_str(), folder.c_str(), 0x10), 0);
    EXPECT_EQ(CountMatlabPathEntries(nullptr, folder.c_str()), -1);
    EXPECT_EQ(CountMatlabPathEntries(package.c_str(), nullptr), -1);
    EXPECT_EQ(RemoveMatlabPathKeeping(nullptr, folder.c_str(), 0), -1);
    fs::remove(dir / "pathdef.m");
    EXPECT_EQ(CountMatlabPathEntries(package.c_str(), folder.c_str()), -1);
    EXPECT_EQ(RemoveMatlabPathKeeping(package.c_str(), folder.c_str(), 0), -1);
}

// FNV-1a of the bytes, top bit cleared: the hashes scripts/nsis_files.py lists.
TEST_F(RemoveMatlabPathFile, file_hash_is_fnv1a_of_every_byte_and_0_for_no_file)
{
    const std::string path = (dir / "pathdef.m").string();
    const struct {
        std::string bytes;
        std::int32_t hash;
    } cases[] = {
        {"", 0x011c9dc5},                                      // the offset basis, top bit cleared
        {"a", 0x640c292c},                                     // 0xe40c292c
        {std::string(70000, 'x') + "\r\n", 0},                 // filled in below: past one read
    };
    std::uint32_t longHash = 2166136261u;
    for (const char c : cases[2].bytes) {
        longHash = (longHash ^ static_cast<unsigned char>(c)) * 16777619u;
    }
    for (const auto& c : cases) {
        write(c.bytes);
        const std::int32_t expected = c.hash != 0 ? c.hash : static_cast<std::int32_t>(longHash & 0x7fffffffu);
        EXPECT_EQ(FileHash(path.c_str()), expected) << c.bytes.size();
    }
    write(std::string("a\0b", 3));
    EXPECT_NE(FileHash(path.c_str()), 0x640c292c);  // bytes after a NUL count
    EXPECT_EQ(FileHash((dir / "missing").string().c_str()), 0);
    EXPECT_EQ(FileHash(nullptr), 0);
}

TEST_F(RemoveMatlabPathFile, fails_and_changes_nothing_when_it_cannot_read_or_replace)
{
    EXPECT_EQ(RemoveMatlabPath(package.c_str(), folder.c_str()), -1);  // no pathdef.m
    EXPECT_EQ(RemoveMatlabPath(nullptr, folder.c_str()), -1);
    EXPECT_EQ(RemoveMatlabPath(package.c_str(), nullptr), -1);
    write(head + installed(package) + tail);
    fs::create_directory(dir / "pathdef.m.orvalink-new");  // the new file cannot be written
    EXPECT_EQ(RemoveMatlabPath(package.c_str(), folder.c_str()), -1);
    EXPECT_EQ(read(), head + installed(package) + tail);
    fs::remove(dir / "pathdef.m.orvalink-new");
    EXPECT_EQ(RemoveMatlabPath(package.c_str(), folder.c_str()), 5);
}

TEST_F(RemoveMatlabPathFile, files_equal_compares_every_byte)
{
    const std::string a = (dir / "a").string();
    const std::string b = (dir / "b").string();
    const std::string big(10000, 'x');  // more than one read
    std::ofstream(a, std::ios::binary) << big;
    std::ofstream(b, std::ios::binary) << big;
    EXPECT_EQ(FilesEqual(a.c_str(), b.c_str()), 1);
    std::ofstream(b, std::ios::binary) << big << 'x';  // one byte longer
    EXPECT_EQ(FilesEqual(a.c_str(), b.c_str()), 0);
    std::ofstream(b, std::ios::binary) << big.substr(0, 9999) << 'y';  // the last byte differs
    EXPECT_EQ(FilesEqual(a.c_str(), b.c_str()), 0);
    EXPECT_EQ(FilesEqual(a.c_str(), (dir / "missing").string().c_str()), -1);
    EXPECT_EQ(FilesEqual(nullptr, a.c_str()), -1);
    std::ofstream(a, std::ios::binary).flush();
    std::ofstream(b, std::ios::binary).flush();
    EXPECT_EQ(FilesEqual(a.c_str(), b.c_str()), 1);  // two empty files
#if defined(__linux__)
    // Both files closed again, whatever the answer.
    const auto open = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()); };
    const auto before = open();
    EXPECT_EQ(FilesEqual(a.c_str(), b.c_str()), 1);
    EXPECT_EQ(FilesEqual(a.c_str(), (dir / "missing").string().c_str()), -1);
    EXPECT_EQ(open(), before);
#endif
}

TEST_F(RemoveMatlabPathFile, refuses_a_file_larger_than_any_path_definition)
{
    {
        std::ofstream out(dir / "pathdef.m", std::ios::binary);
        out << installed(package);
        out.seekp(static_cast<std::streamoff>(pathremove::maxFileSize + 1));
        out << '\n';
    }
    EXPECT_EQ(RemoveMatlabPath(package.c_str(), folder.c_str()), -1);
    EXPECT_EQ(fs::file_size(dir / "pathdef.m"), pathremove::maxFileSize + 2);
}

}  // namespace
