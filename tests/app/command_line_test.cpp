// The program's arguments: splitting a Windows command line, and what the arguments ask for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/command_line.h"

using Args = std::vector<std::string>;

TEST(CommandLine, SplitsLikeWindowsPrograms) {
    EXPECT_EQ(SplitCommandLine(nullptr), Args{});
    EXPECT_EQ(SplitCommandLine("   "), Args{});
    EXPECT_EQ(SplitCommandLine("a  b\tc"), (Args{"a", "b", "c"}));
    EXPECT_EQ(SplitCommandLine("\"my level\" x"), (Args{"my level", "x"}));
    EXPECT_EQ(SplitCommandLine("C:\\levels\\one"), Args{"C:\\levels\\one"});
    // Backslashes count only before a quote: 2n -> n and the quote groups, 2n+1 -> n and a quote.
    EXPECT_EQ(SplitCommandLine("\"C:\\my dir\\\\\""), Args{"C:\\my dir\\"});
    EXPECT_EQ(SplitCommandLine("a\\\"b"), Args{"a\"b"});
    EXPECT_EQ(SplitCommandLine("\"a\"\"b\""), Args{"a\"b"});
    EXPECT_EQ(SplitCommandLine("\"\""), Args{""});
    EXPECT_EQ(SplitCommandLine("\"open"), Args{"open"});  // an unclosed quote runs to the end
}

TEST(CommandLine, ArgumentsAskForRunHelpVersionOrFail) {
    Korvel_Launch l = ReadArguments({});
    EXPECT_EQ(l.action, Korvel_Launch::RUN);
    EXPECT_EQ(l.folder, "");
    l = ReadArguments({"levels/one"});
    EXPECT_EQ(l.action, Korvel_Launch::RUN);
    EXPECT_EQ(l.folder, "levels/one");
    EXPECT_EQ(ReadArguments({"--help"}).action, Korvel_Launch::HELP);
    EXPECT_EQ(ReadArguments({"dir", "-h"}).action, Korvel_Launch::HELP);
    EXPECT_EQ(ReadArguments({"--version"}).action, Korvel_Launch::VERSION);

    l = ReadArguments({"a", "b"});
    EXPECT_EQ(l.action, Korvel_Launch::FAIL);
    EXPECT_NE(l.message.find("'a' and 'b'"), std::string::npos) << l.message;
    EXPECT_EQ(l.message.find('\n'), std::string::npos);
    l = ReadArguments({"--frobnicate"});
    EXPECT_EQ(l.action, Korvel_Launch::FAIL);
    EXPECT_NE(l.message.find("--frobnicate"), std::string::npos);
    EXPECT_EQ(ReadArguments({""}).action, Korvel_Launch::FAIL);

    // "--" ends the options: a folder may then start with a minus.
    l = ReadArguments({"--", "-odd"});
    EXPECT_EQ(l.action, Korvel_Launch::RUN);
    EXPECT_EQ(l.folder, "-odd");
    EXPECT_EQ(ReadArguments({"--", "--help"}).folder, "--help");
}

TEST(CommandLine, WatchSettingIsZeroOrOne) {
    bool watch = false;
    EXPECT_TRUE(ReadWatchSetting(nullptr, &watch));
    EXPECT_TRUE(watch);
    EXPECT_TRUE(ReadWatchSetting("", &watch));
    EXPECT_TRUE(watch);
    EXPECT_TRUE(ReadWatchSetting("0", &watch));
    EXPECT_FALSE(watch);
    EXPECT_TRUE(ReadWatchSetting("1", &watch));
    EXPECT_TRUE(watch);
    EXPECT_FALSE(ReadWatchSetting("off", &watch));
    EXPECT_FALSE(ReadWatchSetting("00", &watch));
}
