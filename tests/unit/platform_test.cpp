// The operating-system layer on the system the tests run on (Linux, or
// Windows under wine): the host's own address, GBK through the system's own
// converter, and files named by UTF-8 paths.
#include "platform/gbk.h"
#include "platform/local_address.h"
#include "platform/read_file.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <winsock2.h>
#endif

#include <filesystem>
#include <fstream>
#include <random>
#include <regex>

using platform::GbkToUtf8;
using platform::LookupLocalIPv4;
using platform::ReadOnlyFile;
using platform::Utf8ToGbk;

namespace {

// First in this program, so that nothing has started the sockets library
// before: Windows fails a name lookup until WSAStartup ran (wine does not
// insist, hence the check that the lookup started the library itself).
TEST(LocalAddress, FoundWithoutTheCallerStartingTheSocketsLibrary) {
    const auto address = LookupLocalIPv4();
#ifdef _WIN32
    EXPECT_EQ(::WSACleanup(), 0) << "the lookup ran without starting Winsock";
#endif
    ASSERT_TRUE(address.has_value()) << "no IPv4 address for this host";
    const std::regex dotted(R"((\d{1,3})\.(\d{1,3})\.(\d{1,3})\.(\d{1,3}))");
    std::smatch parts;
    ASSERT_TRUE(std::regex_match(*address, parts, dotted)) << *address;
    for (int i = 1; i <= 4; ++i)
        EXPECT_LE(std::stoi(parts[i]), 255) << *address;
    EXPECT_NE(parts[1], "127") << "a loopback address cannot give the subnet to sweep";
}

TEST(Gbk, ChineseTextHasTheFixedCodePage936Bytes) {
    const std::string caption = "采集器程序升级工具";
    const std::string bytes = "\xB2\xC9\xBC\xAF\xC6\xF7\xB3\xCC\xD0\xF2\xC9\xFD\xBC\xB6\xB9\xA4"
                              "\xBE\xDF";
    EXPECT_EQ(Utf8ToGbk(caption), bytes);
    EXPECT_EQ(GbkToUtf8(bytes), caption);
    EXPECT_EQ(GbkToUtf8("\xD0\xF2\xC1\xD0\xBA\xC5"), "序列号");
    EXPECT_EQ(GbkToUtf8(std::string("A\0B", 3)), std::string("A\0B", 3)) << "zero bytes are text";
}

TEST(Gbk, EachBadByteCostsOnlyItselfAndEachUnknownCharacterOneQuestionMark) {
    const std::string bad = "\xEF\xBF\xBD"; // U+FFFD
    EXPECT_EQ(GbkToUtf8("\xFF\xC9\xFD"), bad + "升") << "a bad byte before a good character";
    EXPECT_EQ(GbkToUtf8("\x81\x20"
                        "A"),
              bad + " A")
        << "a lead byte whose trail byte is ASCII";
    EXPECT_EQ(GbkToUtf8("AB\xC9"), "AB" + bad) << "a lead byte at the end";
    EXPECT_EQ(Utf8ToGbk("S한1"), "S?1") << "Hangul is not in GBK";
    EXPECT_EQ(Utf8ToGbk(""), "");
}

class FileNames : public ::testing::Test {
protected:
    FileNames() {
        folder = std::filesystem::temp_directory_path() /
                 ("platform_test_" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(folder);
    }
    ~FileNames() override {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    static std::string Utf8(const std::filesystem::path& path) {
        const auto text = path.u8string();
        return std::string(text.begin(), text.end());
    }

    static std::string ReadAll(ReadOnlyFile& file) {
        std::string bytes;
        char chunk[64];
        for (std::size_t got; (got = file.Read(chunk, sizeof chunk)) > 0;)
            bytes.append(chunk, got);
        return bytes;
    }

    std::filesystem::path folder;
};

TEST_F(FileNames, ChineseNamedFileOpensByItsUtf8Path) {
    std::ofstream(folder / std::filesystem::path(u8"S升级.bin"), std::ios::binary)
        << std::string("\x00\x1F\xAB", 3);

    ReadOnlyFile file;
    ASSERT_TRUE(file.Open(Utf8(folder) + "/S升级.bin")) << file.Error();
    EXPECT_EQ(file.Size(), 3u);
    EXPECT_EQ(ReadAll(file), std::string("\x00\x1F\xAB", 3));
}

TEST_F(FileNames, FileBeingWrittenElsewhereStillOpens) {
    std::ofstream writer(folder / "S1.bin", std::ios::binary);
    writer << "abc" << std::flush;
    ReadOnlyFile file;
    ASSERT_TRUE(file.Open(Utf8(folder / "S1.bin"))) << file.Error();
    EXPECT_EQ(ReadAll(file), "abc");
}

TEST_F(FileNames, FileWhosePathIsLongerThan260CharactersOpens) {
    // Past the old limit of 260 characters a path needs its long form on Windows.
    std::filesystem::path deep = folder;
    for (int level = 0; level < 6; ++level)
        deep /= std::string(50, static_cast<char>('a' + level));
    ASSERT_GT(deep.native().size(), 260u);
    std::error_code ignored;
    std::filesystem::create_directories(deep, ignored);
    std::ofstream(deep / "S3.bin", std::ios::binary) << "long";

    ReadOnlyFile file;
    ASSERT_TRUE(file.Open(Utf8(deep / "S3.bin"))) << file.Error();
    EXPECT_EQ(ReadAll(file), "long");
}

TEST_F(FileNames, MissingFileAndFolderAreRefusedWithTheSystemsReason) {
    ReadOnlyFile file;
    EXPECT_FALSE(file.Open(Utf8(folder / "S2.bin")));
    EXPECT_FALSE(file.Error().empty());
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(file.Open(Utf8(folder)));
    EXPECT_FALSE(file.Error().empty());
}

} // namespace
