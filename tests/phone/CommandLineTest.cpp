#include "phone/CommandLine.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Parsed {
    bool ok;
    CommandLineOptions options;
    std::string error;
};

Parsed parse(std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "tessaly");
    Parsed result{};
    result.ok = CommandLine::parse(static_cast<int>(arguments.size()), arguments.data(), result.options, result.error);
    return result;
}

TEST(CommandLine, TakesAddressFileCompactAndPosition) {
    const Parsed result = parse({"-a", "192.0.2.7", "-f", "demo.ini", "-c", "-g", "+10+20"});
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.options.localAddress, "192.0.2.7");
    EXPECT_EQ(result.options.settingsFile, "demo.ini");
    EXPECT_TRUE(result.options.compactWindow);
    EXPECT_TRUE(result.options.hasWindowPosition);
    EXPECT_EQ(result.options.windowLeft, 10);
    EXPECT_EQ(result.options.windowTop, 20);
}

TEST(CommandLine, NoArgumentsKeepTheDefaults) {
    const Parsed result = parse({});
    ASSERT_TRUE(result.ok);
    EXPECT_TRUE(result.options.localAddress.empty());
    EXPECT_TRUE(result.options.settingsFile.empty());
    EXPECT_FALSE(result.options.compactWindow);
    EXPECT_FALSE(result.options.hasWindowPosition);
}

TEST(CommandLine, RefusesUnknownOptionsMissingValuesAndRepeats) {
    EXPECT_FALSE(parse({"-x"}).ok);
    EXPECT_FALSE(parse({"--version"}).ok);
    EXPECT_FALSE(parse({"address"}).ok);
    EXPECT_FALSE(parse({"-a"}).ok);
    EXPECT_FALSE(parse({"-f", ""}).ok);
    EXPECT_FALSE(parse({"-a", "127.0.0.1", "-a", "::1"}).ok);
    EXPECT_NE(parse({"-q"}).error.find("-q"), std::string::npos);
}

TEST(CommandLine, RefusesPositionsNotOfTheFormPlusLeftPlusTop) {
    for (const char* position : {"10+20", "+10", "+10+", "+10+20+30", "+-1+2", "+a+2", "+99999999999+1", "+1+2x"}) {
        EXPECT_FALSE(parse({"-g", position}).ok) << position;
    }
}

}  // namespace
