// Every C runtime file call of SetMatlabPath made to fail, one at a time,
// through the library linked into this program: each failure gives its
// documented result, the counts prove it fired, and no file stays open.
#include <gtest/gtest.h>

#include "fault_counter.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "file_calls.h"
#include "set_matlab_path.h"

namespace fs = std::filesystem;

namespace {

enum class Call { open, getLine, write, close, count };

struct FaultyFiles : FaultCounter<Call> {
    int openFiles = 0;
    std::FILE* failedRead = nullptr;  // the file whose read failed: its error indicator is set
};

FaultyFiles* files = nullptr;
const brindle::FileCalls& real = brindle::runtimeFileCalls;

const brindle::FileCalls faultyCalls{
    [](const char* path, const char* mode) -> std::FILE* {
        if (files->fails(Call::open)) {
            return nullptr;
        }
        std::FILE* file = real.open(path, mode);
        files->openFiles += file != nullptr ? 1 : 0;
        return file;
    },
    [](char* buffer, int size, std::FILE* file) -> char* {
        if (files->fails(Call::getLine)) {
            files->failedRead = file;  // a read error, not the end of the file
            return nullptr;
        }
        return real.getLine(buffer, size, file);
    },
    [](const void* data, std::size_t size, std::size_t count, std::FILE* file) -> std::size_t {
        return files->fails(Call::write) ? 0 : real.write(data, size, count, file);
    },
    [](std::FILE* file) {
        --files->openFiles;
        const int result = real.close(file);
        return files->fails(Call::close) ? EOF : result;
    },
    [](std::FILE* file) { return file == files->failedRead ? 1 : real.error(file); },
};

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

class BrindleFaults : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() /
              ("brindle-faults-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        std::ofstream(dir / "pathdef.old", std::ios::binary) << old;
        files = &fake;
        brindle::fileCalls = faultyCalls;
    }
    void TearDown() override
    {
        brindle::fileCalls = real;
        files = nullptr;
        EXPECT_EQ(fake.openFiles, 0) << "a file was left open";
        fs::remove_all(dir);
    }

    int call()
    {
        const std::string folders = "D:\\pkg" + dir.string() + static_cast<char>(fs::path::preferred_separator);
        const std::int32_t count = 6;
        return SetMatlabPath(0, &count, folders.c_str());
    }

    // A long line first, so that the whole-line look-ahead opens a second reader.
    const std::string old = "\n" + std::string(300, '%') + "\nline\n%% END ENTRIES\ntail\n";
    FaultyFiles fake;
    fs::path dir;
};

TEST_F(BrindleFaults, every_call_succeeding_writes_the_file)
{
    EXPECT_EQ(call(), 1);
    EXPECT_EQ(fake.count(Call::open), 3);  // pathdef.old, pathdef.m, and the look-ahead reader
#if defined(_WIN32)
    const std::string eol = "\r\n";  // text mode
#else
    const std::string eol = "\n";
#endif
    EXPECT_NE(readFile(dir / "pathdef.m").find("'D:\\pkg\\fgutil;',..." + eol + "%% END ENTRIES"), std::string::npos);
}

TEST_F(BrindleFaults, failing_opens_return_zero)
{
    for (int which : {1, 2, 3}) {
        fake = FaultyFiles{};
        fake.failing = Call::open;
        fake.failOnCall = which;
        fs::remove(dir / "pathdef.m");
        EXPECT_EQ(call(), 0) << which;
        EXPECT_EQ(fake.faultsFired, 1);
        EXPECT_EQ(fs::exists(dir / "pathdef.m"), which != 1 && which != 2) << which;
        EXPECT_EQ(fake.openFiles, 0) << which;
        EXPECT_EQ(readFile(dir / "pathdef.old"), old);
    }
}

TEST_F(BrindleFaults, read_errors_and_write_failures_return_zero)
{
    // Every read (the copy's and the look-ahead reader's) and every write, each in turn.
    ASSERT_EQ(call(), 1);
    const int reads = fake.count(Call::getLine);
    const int writes = fake.count(Call::write);
    ASSERT_GT(reads, 6);
    ASSERT_GT(writes, 8);
    for (Call failing : {Call::getLine, Call::write}) {
        for (int which = 1; which <= (failing == Call::getLine ? reads : writes); ++which) {
            fake = FaultyFiles{};
            fake.failing = failing;
            fake.failOnCall = which;
            EXPECT_EQ(call(), 0) << static_cast<int>(failing) << " #" << which;
            EXPECT_EQ(fake.faultsFired, 1);
            EXPECT_EQ(fake.openFiles, 0);
        }
    }
}

TEST_F(BrindleFaults, only_a_failed_close_of_pathdef_m_is_a_failure)
{
    // Closed in this order: the look-ahead reader, pathdef.old, pathdef.m.
    for (const auto& [which, result] : {std::pair{1, 1}, std::pair{2, 1}, std::pair{3, 0}}) {
        fake = FaultyFiles{};
        fake.failing = Call::close;
        fake.failOnCall = which;
        EXPECT_EQ(call(), result) << which;
        EXPECT_EQ(fake.faultsFired, 1);
        EXPECT_EQ(fake.openFiles, 0);
    }
}

}  // namespace
