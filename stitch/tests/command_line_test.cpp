#include "command_line.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(ParseTolerance, ClampsNumbersAndKeepsTheDefaultForTextThatIsNone) {
    EXPECT_EQ(ParseTolerance(nullptr), 1e-7);
    EXPECT_EQ(ParseTolerance("0"), 1e-8);
    EXPECT_EQ(ParseTolerance("-5"), 1e-8);
    EXPECT_EQ(ParseTolerance("1"), 0.01);
    EXPECT_EQ(ParseTolerance("0.001"), 0.001);
    EXPECT_EQ(ParseTolerance("1e-8"), 1e-8);
    EXPECT_EQ(ParseTolerance("0.01"), 0.01);
    EXPECT_EQ(ParseTolerance("5e-9"), 1e-8);
    EXPECT_EQ(ParseTolerance("inf"), 0.01);
    EXPECT_EQ(ParseTolerance("-inf"), 1e-8);
    // As "%lf" reads: leading blanks skipped, trailing text ignored.
    EXPECT_EQ(ParseTolerance("  0.002"), 0.002);
    EXPECT_EQ(ParseTolerance("0.003mm"), 0.003);
    // No number: the default stays, unclamped.
    EXPECT_EQ(ParseTolerance("abc"), 1e-7);
    EXPECT_EQ(ParseTolerance(""), 1e-7);
    EXPECT_EQ(ParseTolerance("nan"), 1e-7);
    EXPECT_EQ(ParseTolerance("-NaN"), 1e-7);
}

TEST(ParseFlag, IsTrueOnlyForANonZeroInteger) {
    EXPECT_FALSE(ParseFlag(nullptr));
    EXPECT_FALSE(ParseFlag("0"));
    EXPECT_FALSE(ParseFlag("-0"));
    EXPECT_FALSE(ParseFlag("yes"));
    EXPECT_FALSE(ParseFlag(""));
    EXPECT_FALSE(ParseFlag("0x1")); // "%d" stops at the x
    EXPECT_TRUE(ParseFlag("1"));
    EXPECT_TRUE(ParseFlag("2"));
    EXPECT_TRUE(ParseFlag("-1"));
    EXPECT_TRUE(ParseFlag(" 3apples"));
    EXPECT_TRUE(ParseFlag("99999999999999999999999"));
}

CommandLine Parse(std::vector<const char*> argv, StitchArguments& arguments) {
    return ParseCommandLine(static_cast<int>(argv.size()), argv.data(), arguments);
}

TEST(ParseCommandLine, TakesSevenToTenArgumentsAfterTheProgram) {
    StitchArguments arguments;
    ASSERT_EQ(Parse({"stitch", "pano.orv", "1", "2", "3", "4", "5", "6"}, arguments),
              CommandLine::Run);
    EXPECT_EQ(arguments.target, "pano.orv");
    EXPECT_EQ(arguments.facePaths, (std::vector<std::string>{"1", "2", "3", "4", "5", "6"}));
    EXPECT_EQ(arguments.tolerance, 1e-7);
    EXPECT_FALSE(arguments.useTag);
    EXPECT_FALSE(arguments.leaveFaces);

    ASSERT_EQ(Parse({"stitch", "t", "1", "2", "3", "4", "5", "6", "0.5", "2", "1"}, arguments),
              CommandLine::Run);
    EXPECT_EQ(arguments.tolerance, 0.01);
    EXPECT_TRUE(arguments.useTag);
    EXPECT_TRUE(arguments.leaveFaces);

    ASSERT_EQ(Parse({"stitch", "t", "1", "2", "3", "4", "5", "6", "x", "0", "no"}, arguments),
              CommandLine::Run);
    EXPECT_EQ(arguments.tolerance, 1e-7);
    EXPECT_FALSE(arguments.useTag);
    EXPECT_FALSE(arguments.leaveFaces);

    EXPECT_EQ(Parse({"stitch", "t", "1", "2", "3", "4", "5"}, arguments), CommandLine::WrongCount);
    EXPECT_EQ(
        Parse({"stitch", "t", "1", "2", "3", "4", "5", "6", "x", "0", "1", "extra"}, arguments),
        CommandLine::WrongCount);
    EXPECT_EQ(Parse({"stitch"}, arguments), CommandLine::WrongCount);
}

TEST(ParseCommandLine, HelpOnlyAsTheOneArgument) {
    StitchArguments arguments;
    EXPECT_EQ(Parse({"stitch", "--help"}, arguments), CommandLine::Help);
    EXPECT_EQ(Parse({"stitch", "-h"}, arguments), CommandLine::Help);
    EXPECT_EQ(Parse({"stitch", "--help", "x"}, arguments), CommandLine::WrongCount);
    EXPECT_EQ(Parse({"stitch", "-help"}, arguments), CommandLine::WrongCount);
    // Among the paths it is just a file name.
    ASSERT_EQ(Parse({"stitch", "--help", "1", "2", "3", "4", "5", "6"}, arguments),
              CommandLine::Run);
    EXPECT_EQ(arguments.target, "--help");
}

} // namespace
