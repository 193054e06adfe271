// What every tool's messages and options share: quoting of untrusted input,
// decimal-only numbers, stray arguments and the options after "--".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command_line.h"

namespace {

TEST(Quoted, ShowsPathsAndLettersAsTypedAndEscapesTheRest)
{
    EXPECT_EQ(command_line::quoted("samples\\honolulu.csv"), "'samples\\honolulu.csv'");
    EXPECT_EQ(command_line::quoted("flüge-Ω-✈.csv"), "'flüge-Ω-✈.csv'");
    EXPECT_EQ(command_line::quoted("it's"), "'it\\'s'");
    // Control bytes, C1 controls, a lone continuation byte, an overlong '/', a surrogate, a cut sequence.
    EXPECT_EQ(command_line::quoted(std::string("a\nb\x7f", 4)), "'a\\x0ab\\x7f'");
    EXPECT_EQ(command_line::quoted("\xc2\x85|\x80|\xc0\xaf|\xed\xa0\x80|\xe2\x82"),
              "'\\xc2\\x85|\\x80|\\xc0\\xaf|\\xed\\xa0\\x80|\\xe2\\x82'");
    EXPECT_EQ(command_line::quoted(std::string(100, 'x'), 10), "'xxxxxxxxxx...'");
    EXPECT_EQ(command_line::quoted("ΩΩΩΩ", 2), "'ΩΩ...'");  // characters, not bytes
}

void noUsage(std::FILE*) {}

// Parses `words` as a program's arguments: the last option's value as a decimal number.
long long decimalOf(std::vector<std::string> words)
{
    static const command_line::Program program{"tool", noUsage};
    words.insert(words.begin(), "tool");
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    command_line::Arguments args(program, static_cast<int>(argv.size()), argv.data());
    long long value = -1;
    while (args.next()) {
        value = args.decimal(1, 65535, "a whole number from 1 to 65535");
    }
    return value;
}

TEST(Arguments, NumbersAreDecimalOnly)
{
    EXPECT_EQ(decimalOf({"--port", "05500"}), 5500);
    EXPECT_EQ(decimalOf({"--port=65535"}), 65535);
    for (const char* refused : {"0x157c", "4.7e4", "+5", "-1", "", "65536", "0", "99999999999999999999"}) {
        EXPECT_EXIT(decimalOf({"--port", refused}), testing::ExitedWithCode(2),
                    "tool: --port '.*': a whole number from 1 to 65535") << refused;
    }
}

TEST(Arguments, StrayArgumentsAndTheRestAfterTwoDashes)
{
    static const command_line::Program plain{"tool", noUsage};
    static const command_line::Program passing{"fly", noUsage, true};
    std::string words[] = {"tool", "--", "--httpd=8080", "extra"};
    char* argv[] = {words[0].data(), words[1].data(), words[2].data(), words[3].data()};
    command_line::Arguments rest(passing, 4, argv);
    EXPECT_FALSE(rest.next());
    EXPECT_EQ(rest.rest(), (std::vector<std::string>{"--httpd=8080", "extra"}));
    command_line::Arguments none(passing, 1, argv);
    EXPECT_FALSE(none.next());
    EXPECT_TRUE(none.rest().empty());
    char* stray[] = {words[0].data(), words[3].data()};
    EXPECT_EXIT(
        {
            command_line::Arguments args(plain, 2, stray);
            args.next();
            args.unknown();
        },
        testing::ExitedWithCode(2), "tool: unexpected argument 'extra'");
}

}  // namespace
