// The shared text handling: one reading of integers for every source, list splitting that keeps
// empty items visible, hex both ways, whole files with the reason when they cannot be read.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>

#include <orx/text/Text.h>

using namespace orx::text;

TEST(TextTest, IntegersAreDecimalOrHexWithAnOptionalSignAndNothingElse) {
    EXPECT_EQ(ParseUnsigned("0"), 0u);
    EXPECT_EQ(ParseUnsigned("010"), 10u);  // never octal
    EXPECT_EQ(ParseUnsigned("+7"), 7u);
    EXPECT_EQ(ParseUnsigned("0x1F"), 31u);
    EXPECT_EQ(ParseUnsigned("0XfF"), 255u);
    EXPECT_EQ(ParseUnsigned("18446744073709551615"), std::numeric_limits<uint64_t>::max());
    for (const char* bad : {"", " 1", "1 ", "0x", "-1", "-0", "0x-1", "++1", "1e3", "0b1",
                            "18446744073709551616", "0x10000000000000000", "1,2", "0x0x1"}) {
        EXPECT_FALSE(ParseUnsigned(bad).has_value()) << '"' << bad << '"';
    }

    EXPECT_EQ(ParseSigned("-0x10"), -16);
    EXPECT_EQ(ParseSigned("+010"), 10);
    EXPECT_EQ(ParseSigned("-9223372036854775808"), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(ParseSigned("9223372036854775807"), std::numeric_limits<int64_t>::max());
    for (const char* bad :
         {"", "-", "+", "- 1", "9223372036854775808", "-9223372036854775809", "--1", "0x-1"}) {
        EXPECT_FALSE(ParseSigned(bad).has_value()) << '"' << bad << '"';
    }
}

TEST(TextTest, ListsKeepEveryItemTrimmedIncludingEmptyOnes) {
    using List = std::vector<std::string>;
    EXPECT_EQ(SplitList(""), List{});
    EXPECT_EQ(SplitList("a"), List{"a"});
    EXPECT_EQ(SplitList(" a ,\tb c\t, d"), (List{"a", "b c", "d"}));
    // Nothing is dropped silently: the caller sees the empty items and can refuse them.
    EXPECT_EQ(SplitList("a,"), (List{"a", ""}));
    EXPECT_EQ(SplitList(",a,,b"), (List{"", "a", "", "b"}));
    EXPECT_EQ(SplitList("  "), List{""});
    EXPECT_EQ(SplitList("x=1;y=2", ';'), (List{"x=1", "y=2"}));
}

TEST(TextTest, HexRoundTripsAndNamesTheFirstBadCharacter) {
    const std::vector<uint8_t> bytes = {0x00, 0x0f, 0xa5, 0xff};
    EXPECT_EQ(HexEncode(bytes), "000fa5ff");
    EXPECT_EQ(HexEncode(nullptr, 0), "");
    std::vector<uint8_t> out;
    ASSERT_TRUE(HexDecode("000FA5ff", out));
    EXPECT_EQ(out, bytes);
    ASSERT_TRUE(HexDecode("0x0a", out));
    EXPECT_EQ(out, std::vector<uint8_t>{0x0a});
    ASSERT_TRUE(HexDecode("", out));
    EXPECT_TRUE(out.empty());

    std::string error;
    EXPECT_FALSE(HexDecode("abc", out, &error));
    EXPECT_EQ(error, "odd number of hex digits (3)");
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(HexDecode("0x12g4", out, &error));
    EXPECT_EQ(error, "'g' at position 4 is not a hex digit");
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(HexDigitValue('B'), 11);
    EXPECT_EQ(HexDigitValue('x'), -1);
}

TEST(TextTest, FilesAreReadWholeOrNotAtAllWithTheReason) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(::testing::TempDir()) / ("text-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path file = dir / "data.bin";
    const std::string data("line\n\0binary\r\n", 14);
    std::ofstream(file, std::ios::binary) << data;

    std::string content = "kept", why;
    ASSERT_TRUE(ReadFile(file.string(), content, why)) << why;
    EXPECT_EQ(content, data);

    content = "kept";
    EXPECT_FALSE(ReadFile((dir / "none").string(), content, why));
    EXPECT_EQ(why, "no such file");
    EXPECT_FALSE(ReadFile(dir.string(), content, why));
    EXPECT_EQ(why, "not a regular file");
    EXPECT_EQ(content, "kept");
    fs::remove_all(dir);
}
