// SetMatlabPath as an installer calls it: the library loaded by name, the
// export called through a cdecl pointer, whole files compared byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "host_driver.h"

namespace fs = std::filesystem;

namespace {

#if defined(_WIN32)
using SetMatlabPathFcn = std::int32_t(__cdecl*)(std::int32_t, const std::int32_t*, const char*);
const std::string libraryName = "brindle.dll";
#else
using SetMatlabPathFcn = std::int32_t (*)(std::int32_t, const std::int32_t*, const char*);
const std::string libraryName = "brindle.so";
#endif

// Text-mode line ends as stored on disk.
#if defined(_WIN32)
const std::string eol = "\r\n";
#else
const std::string eol = "\n";
#endif

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const fs::path& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary);
    out << content;
}

// Lines joined with the platform's stored line end.
std::string lines(std::initializer_list<std::string> list, bool lastLineEnds = true)
{
    std::string text;
    std::size_t i = 0;
    for (const std::string& line : list) {
        text += line;
        if (++i < list.size() || lastLineEnds) {
            text += eol;
        }
    }
    return text;
}

std::string entry(const std::string& folder) { return "'" + folder + ";',..."; }

class SetMatlabPath : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        library = emulated_host::LoadedLibrary::open(libraryName, loadError);
        if (library) {
            setMatlabPath = reinterpret_cast<SetMatlabPathFcn>(library->symbol("SetMatlabPath"));
        }
    }
    static void TearDownTestSuite() { library.reset(); }

    void SetUp() override
    {
        // A failure here fails each test; in the suite's set-up it would only skip them.
        ASSERT_NE(setMatlabPath, nullptr) << loadError;
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() / ("brindle-" + std::string(info->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    static std::string folderOf(const fs::path& path) { return path.string() + static_cast<char>(fs::path::preferred_separator); }

    int call(const std::string& package, const std::string& definitionFolder, std::int32_t count)
    {
        const std::string folders = package + definitionFolder;
        return setMatlabPath(0, &count, folders.c_str());
    }
    int call(const std::string& package) { return call(package, folderOf(dir), static_cast<std::int32_t>(package.size())); }

    std::string old() const { return readFile(dir / "pathdef.old"); }
    std::string result() const { return readFile(dir / "pathdef.m"); }
    void setOld(const std::string& text) const { writeFile(dir / "pathdef.old", text); }

    static std::vector<std::string> entriesFor(const std::string& package)
    {
        return {entry(package), entry(package + "\\samples"), entry(package + "\\trim"), entry(package + "\\util"),
                entry(package + "\\fgutil")};
    }

    static inline std::optional<emulated_host::LoadedLibrary> library;
    static inline SetMatlabPathFcn setMatlabPath = nullptr;
    static inline std::string loadError;
    fs::path dir;
};

std::string withEntries(const std::vector<std::string>& before, const std::vector<std::string>& entries,
                        const std::vector<std::string>& after)
{
    std::string text;
    for (const auto* part : {&before, &entries, &after}) {
        for (const std::string& line : *part) {
            text += line + eol;
        }
    }
    return text;
}

const std::vector<std::string> head = {"function p = pathdef", "p = [...", "%%% BEGIN ENTRIES %%%", "'C:\\matlab\\toolbox;',..."};
const std::vector<std::string> tail = {"%%% END ENTRIES %%%", "...", "];"};

// ---- Failures ---------------------------------------------------------------

TEST_F(SetMatlabPath, missing_backup_returns_zero_and_leaves_pathdef_m_alone)
{
    writeFile(dir / "pathdef.m", "untouched\n");
    EXPECT_EQ(call("D:\\pkg"), 0);
    EXPECT_EQ(result(), "untouched\n");
}

TEST_F(SetMatlabPath, pathdef_m_that_cannot_be_opened_returns_zero_and_leaves_the_backup_alone)
{
    setOld(withEntries(head, {}, tail));
    fs::create_directory(dir / "pathdef.m");  // refused even to an administrator
    EXPECT_EQ(call("D:\\pkg"), 0);
    EXPECT_EQ(old(), withEntries(head, {}, tail));
    fs::remove(dir / "pathdef.m");
    EXPECT_EQ(call("D:\\pkg"), 1);  // and pathdef.old was closed again
}

#if !defined(_WIN32)
TEST_F(SetMatlabPath, failed_write_returns_zero)
{
    setOld(withEntries(head, {}, tail));
    fs::create_symlink("/dev/full", dir / "pathdef.m");
    EXPECT_EQ(call("D:\\pkg"), 0);
}
#endif

TEST_F(SetMatlabPath, folders_beyond_their_limits_return_zero_and_touch_nothing)
{
    setOld(withEntries(head, {}, tail));
    writeFile(dir / "pathdef.m", "untouched\n");
    EXPECT_EQ(call(std::string(104, 'p')), 0);
    EXPECT_EQ(call("D:\\pkg", std::string(109, 'd'), 6), 0);
    EXPECT_EQ(result(), "untouched\n");
    EXPECT_EQ(setMatlabPath(0, nullptr, "x"), 0);
}

// A quote ends an entry's text early, which breaks MATLAB's whole path
// definition; a semicolon splits the entry in two folders.
TEST_F(SetMatlabPath, package_folders_with_a_quote_or_semicolon_return_zero_and_touch_nothing)
{
    setOld(withEntries(head, {}, tail));
    writeFile(dir / "pathdef.m", "untouched\n");
    for (const char* package : {"C:\\Tools\\O'Neil\\orvalink", "C:\\a;b", "'", ";", "C:\\pkg'"}) {
        EXPECT_EQ(call(package), 0) << package;
    }
    EXPECT_EQ(result(), "untouched\n");
    // Only the package folder is checked: the definition folder names no entry.
    // Short, beside the test's own folder, whose long name would pass the folder limit on Windows.
    const fs::path odd = fs::temp_directory_path() / "brindle;'";
    fs::create_directory(odd);
    writeFile(odd / "pathdef.old", withEntries(head, {}, tail));
    EXPECT_EQ(call("D:\\pkg", folderOf(odd), 6), 1);
    EXPECT_EQ(readFile(odd / "pathdef.m"), withEntries(head, entriesFor("D:\\pkg"), tail));
    fs::remove_all(odd);
}

// ---- The copy and the insertion ----------------------------------------------

TEST_F(SetMatlabPath, entries_go_directly_before_the_marker_line_for_folders_that_do_not_exist)
{
    setOld(withEntries(head, {}, tail));
    EXPECT_EQ(call("D:\\no\\such\\pkg"), 1);
    EXPECT_EQ(result(), withEntries(head, entriesFor("D:\\no\\such\\pkg"), tail));
    EXPECT_FALSE(fs::exists("D:\\no\\such\\pkg"));
}

TEST_F(SetMatlabPath, the_count_splits_the_string_and_is_clamped)
{
    setOld(withEntries(head, {}, tail));
    const std::string definition = folderOf(dir);
    EXPECT_EQ(call("", definition, 0), 1);
    EXPECT_EQ(result(), withEntries(head, entriesFor(""), tail));
    EXPECT_EQ(call("", definition, -5), 1);
    EXPECT_EQ(result(), withEntries(head, entriesFor(""), tail));
    EXPECT_EQ(call("D:\\a", definition, 4), 1);
    EXPECT_EQ(result(), withEntries(head, entriesFor("D:\\a"), tail));

    // Count = length, and above it: the files are those of the current folder.
    const fs::path previous = fs::current_path();
    fs::current_path(dir);
    EXPECT_EQ(call("D:\\b", "", 4), 1);
    EXPECT_EQ(result(), withEntries(head, entriesFor("D:\\b"), tail));
    EXPECT_EQ(call("D:\\c", "", 4000), 1);
    EXPECT_EQ(result(), withEntries(head, entriesFor("D:\\c"), tail));
    fs::current_path(previous);
}

TEST_F(SetMatlabPath, longest_folders_fit_exactly)
{
    // A definition folder of exactly 108 characters, made real on disk.
    fs::path deep = dir;
    for (std::size_t remaining = 108 - folderOf(dir).size(); remaining > 0;) {
        const std::size_t name = remaining > 60 ? 40 : remaining - 1;  // plus one separator
        deep /= std::string(name, 'd');
        remaining -= name + 1;
    }
    ASSERT_EQ(folderOf(deep).size(), 108u);
    fs::create_directories(deep);
    writeFile(deep / "pathdef.old", withEntries(head, {}, tail));
    const std::string package(103, 'p');
    EXPECT_EQ(call(package, folderOf(deep), 103), 1);
    EXPECT_EQ(readFile(deep / "pathdef.m"), withEntries(head, entriesFor(package), tail));
}

TEST_F(SetMatlabPath, trailing_backslash_is_kept)
{
    setOld(withEntries(head, {}, tail));
    EXPECT_EQ(call("D:\\pkg\\"), 1);
    EXPECT_EQ(result(), withEntries(head, entriesFor("D:\\pkg\\"), tail));
    EXPECT_NE(result().find("'D:\\pkg\\\\samples;',..."), std::string::npos);
}

TEST_F(SetMatlabPath, marker_is_found_within_a_line_and_only_in_capitals)
{
    setOld(lines({"a", "  % lower end entries here", "x %% END ENTRIES %% y", "b", "END ENTRIES again", "c"}));
    EXPECT_EQ(call("D:\\pkg"), 1);
    EXPECT_EQ(result(), withEntries({"a", "  % lower end entries here"}, entriesFor("D:\\pkg"),
                                    {"x %% END ENTRIES %% y", "b", "END ENTRIES again", "c"}));
}

TEST_F(SetMatlabPath, without_a_marker_the_file_is_copied_unchanged)
{
    for (const std::string& text : {std::string(), lines({"a", "b"}), lines({"a", "last line without end"}, false),
                                    lines({std::string(200, 'x'), std::string(119, 'y'), std::string(118, 'z'), "w"}),
                                    lines({std::string(1000, 'q')}, false)}) {
        setOld(text);
        EXPECT_EQ(call("D:\\pkg"), 1);
        EXPECT_EQ(result(), text);
    }
}

TEST_F(SetMatlabPath, marker_in_a_long_line_is_found_wherever_it_lies)
{
    const std::string longLine = std::string(150, '%');
    std::vector<std::size_t> columns = {0, 180, 400};
    for (std::size_t column = 100; column <= 130; ++column) {  // across the first piece boundary
        columns.push_back(column);
    }
    for (std::size_t column = 220; column <= 245; ++column) {  // and the second
        columns.push_back(column);
    }
    for (std::size_t column : columns) {
        std::string markerLine = std::string(column, ' ') + "END ENTRIES" + std::string(60, '-');
        setOld(lines({"a", longLine, markerLine, "b"}, false));
        EXPECT_EQ(call("D:\\pkg"), 1);
        EXPECT_EQ(result(), withEntries({"a", longLine}, entriesFor("D:\\pkg"), {markerLine}) + "b") << column;
    }
}

TEST_F(SetMatlabPath, nul_bytes_in_a_line_are_copied_and_hide_neither_line_ends_nor_the_marker)
{
    using namespace std::string_literals;
    const std::string withNul = "% a\0b"s;
    setOld(lines({withNul, "x\0 END ENTRIES"s, "b\0"s}));
    EXPECT_EQ(call("D:\\pkg"), 1);
    EXPECT_EQ(result(), withEntries({withNul}, entriesFor("D:\\pkg"), {"x\0 END ENTRIES"s, "b\0"s}));
    // The same in a line too long for one piece.
    const std::string longLine = std::string(130, '\0') + "END ENTRIES";
    setOld(lines({withNul, longLine}));
    EXPECT_EQ(call("D:\\pkg"), 1);
    EXPECT_EQ(result(), withEntries({withNul}, entriesFor("D:\\pkg"), {longLine}));
}

TEST_F(SetMatlabPath, several_long_lines_are_each_looked_at_whole)
{
    // The look-ahead reader has to keep count of lines across its calls.
    const std::string longA = std::string(130, 'a') + " END ENTRIE";  // the marker, but cut short
    const std::string longB = std::string(200, 'b');
    const std::string marker = std::string(125, ' ') + "%% END ENTRIES";
    setOld(lines({longA, "x", longB, "y", longA, marker, "z"}));
    EXPECT_EQ(call("D:\\pkg"), 1);
    EXPECT_EQ(result(), withEntries({longA, "x", longB, "y", longA}, entriesFor("D:\\pkg"), {marker, "z"}));
    // Empty lines before the long one, and directly before the marker line.
    setOld(lines({"", longB, "", "", marker}));
    EXPECT_EQ(call("D:\\pkg"), 1);
    EXPECT_EQ(result(), withEntries({"", longB, "", ""}, entriesFor("D:\\pkg"), {marker}));
    setOld(lines({"%% END ENTRIES", "a"}));  // on the very first line
    EXPECT_EQ(call("D:\\pkg"), 1);
    EXPECT_EQ(result(), withEntries({}, entriesFor("D:\\pkg"), {"%% END ENTRIES", "a"}));
    setOld(lines({"a", "", "%% END ENTRIES"}));
    EXPECT_EQ(call("D:\\pkg"), 1);
    EXPECT_EQ(result(), withEntries({"a", ""}, entriesFor("D:\\pkg"), {"%% END ENTRIES"}));
    // The last line, long and without a line feed, holds the marker.
    setOld(lines({longB, "x", marker}, false));
    EXPECT_EQ(call("D:\\pkg"), 1);
    EXPECT_EQ(result(), withEntries({longB, "x"}, entriesFor("D:\\pkg"), {}) + marker);
}

TEST_F(SetMatlabPath, entries_already_present_are_added_again_and_calls_do_not_pile_up)
{
    const std::string before = withEntries(head, entriesFor("D:\\pkg"), tail);
    setOld(before);
    EXPECT_EQ(call("D:\\pkg"), 1);
    std::vector<std::string> twice = entriesFor("D:\\pkg");
    for (const std::string& line : entriesFor("D:\\pkg")) {
        twice.push_back(line);
    }
    EXPECT_EQ(result(), withEntries(head, twice, tail));
    const std::string first = result();
    EXPECT_EQ(call("D:\\pkg"), 1);
    EXPECT_EQ(result(), first);
    EXPECT_EQ(old(), before);
}

TEST_F(SetMatlabPath, missing_pathdef_m_is_created_and_an_existing_one_replaced)
{
    setOld(withEntries(head, {}, tail));
    EXPECT_EQ(call("D:\\pkg"), 1);
    EXPECT_EQ(result(), withEntries(head, entriesFor("D:\\pkg"), tail));
    writeFile(dir / "pathdef.m", std::string(5000, 'o'));
    EXPECT_EQ(call("D:\\pkg"), 1);
    EXPECT_EQ(result(), withEntries(head, entriesFor("D:\\pkg"), tail));
}

#if defined(_WIN32)
TEST_F(SetMatlabPath, text_mode_reads_crlf_and_writes_crlf_entry_lines)
{
    writeFile(dir / "pathdef.old", "a\r\n%% END ENTRIES\r\nb\r\n");
    EXPECT_EQ(call("D:\\pkg"), 1);
    std::string expected = "a\r\n";
    for (const std::string& line : entriesFor("D:\\pkg")) {
        expected += line + "\r\n";
    }
    EXPECT_EQ(result(), expected + "%% END ENTRIES\r\nb\r\n");
}
#endif

}  // namespace
