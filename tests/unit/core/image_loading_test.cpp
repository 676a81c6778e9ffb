// Browsing to a firmware file: the name rule, the path and version fields and
// the hex image.
#include "core/image_loading.h"

#include "tool_harness.h"

namespace {

using ImageLoadingTest = ToolTest;

TEST_F(ImageLoadingTest, AcceptedFileFillsPathVersionAndHexImage) {
    struct Case {
        std::string name;
        std::string bytes;
        std::string version;
        std::string hex; // checked when not empty, else only its length
        std::size_t hexLength;
    };
    const Case cases[] = {
        {"S1.02.bin", std::string("\x00\x1F\xAB", 3), "S1.02", "001FAB", 6},
        {"S1.2.3.bin", "\x7F\x80", "S1.2.3", "7F80", 4},
        {"S升级.bin", "\x01", "S升级", "01", 2},
        {"fw.new/S100", "\xFF", "S100", "FF", 2},
        {"S0.bin", "", "S0", "", 0},
        {"S300.bin", std::string(300, '\xC3'), "S300", "", 600},
        {"S301.bin", std::string(301, '\xC3'), "S301", "", 602},
    };
    for (const auto& c : cases) {
        const std::string path = Browse(c.name, c.bytes);
        EXPECT_EQ(fields.redt2, path) << c.name;
        EXPECT_EQ(fields.edt1, c.version) << c.name;
        EXPECT_EQ(tool->ImageHex().size(), c.hexLength) << c.name;
        if (!c.hex.empty()) {
            EXPECT_EQ(tool->ImageHex(), c.hex) << c.name;
        }
    }
    EXPECT_EQ(tool->ImageHex().substr(0, 4), "C3C3");
    EXPECT_TRUE(notices.shown.empty());
}

TEST_F(ImageLoadingTest, FileLargerThanOneReadKeepsEveryByteInPlace) {
    std::string bytes((1 << 21) + 3, '\0');
    std::string expected;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(i % 251);
        expected += "0123456789ABCDEF"[(i % 251) >> 4];
        expected += "0123456789ABCDEF"[(i % 251) & 0xF];
    }
    Browse("S2.bin", bytes);
    EXPECT_TRUE(tool->ImageHex() == expected);
}

TEST_F(ImageLoadingTest, RefusedCancelledOrEmptyChoiceChangesNothing) {
    const std::string accepted = Browse("S1.02.bin", std::string("\x00\x1F\xAB", 3));
    for (const char* name : {"s1.02.bin", "V1.02.bin"}) {
        notices.shown.clear();
        Browse(name, "\x11");
        EXPECT_EQ(notices.shown, (std::vector<std::pair<NoticeKind, std::string>>{
                                     {NoticeKind::Plain, "版本号必须以S开头"}}))
            << name;
    }
    notices.shown.clear();
    dialog.script = {std::nullopt, std::string()}; // a cancel, then an empty name
    tool->btn1Click();
    tool->btn1Click();
    EXPECT_TRUE(notices.shown.empty());
    EXPECT_EQ(fields.redt2, accepted);
    EXPECT_EQ(fields.edt1, "S1.02");
    EXPECT_EQ(tool->ImageHex(), "001FAB");
}

TEST_F(ImageLoadingTest, DialogOpensOnTheLastAcceptedFile) {
    dialog.fileName = "/earlier/choice.bin";
    dialog.script = {std::nullopt};
    tool->btn1Click();
    EXPECT_EQ(dialog.namesShown.back(), "/earlier/choice.bin") << "no accepted file yet: name kept";

    const std::string first = Browse("S1.bin", "\x01");
    dialog.fileName = "/somewhere/else.bin";
    dialog.script = {std::nullopt};
    tool->btn1Click();
    EXPECT_EQ(dialog.namesShown.back(), first);
    EXPECT_EQ(fields.redt2, first);
}

TEST_F(ImageLoadingTest, MissingFileThrowsAfterFieldsChangedAndKeepsTheOldImage) {
    Browse("S1.02.bin", std::string("\x00\x1F\xAB", 3));
    const std::string missing = Utf8(folder / "gone" / "S2.00.bin");
    dialog.script = {missing};
    try {
        tool->btn1Click();
        FAIL() << "no error for a missing file";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(),
                     ("Cannot open file \"" + missing + "\". No such file or directory").c_str());
        EXPECT_EQ(ErrorBoxText(error.what()),
                  "Cannot open file \"" + missing + "\". No such file or directory.");
    }
    EXPECT_EQ(fields.redt2, missing);
    EXPECT_EQ(fields.edt1, "S2.00");
    EXPECT_EQ(tool->ImageHex(), "001FAB");
}

// A folder cannot be opened as a file: the same error as for any unopenable
// file, and the image already loaded stays.
TEST_F(ImageLoadingTest, FolderWithAnSNameIsRefusedLikeAnUnopenableFile) {
    Browse("S1.02.bin", std::string("\x00\x1F\xAB", 3));
    const auto folderPath = folder / "S3.00.bin";
    std::filesystem::create_directories(folderPath);
    dialog.script = {Utf8(folderPath)};
    try {
        tool->btn1Click();
        ADD_FAILURE() << "a folder was loaded as an image";
    } catch (const std::exception& error) {
        const std::string prefix = "Cannot open file \"" + Utf8(folderPath) + "\". ";
        EXPECT_EQ(std::string(error.what()).substr(0, prefix.size()), prefix) << error.what();
    }
    EXPECT_EQ(tool->ImageHex(), "001FAB");
}

TEST(ImageNames, NamePartAndVersionIgnoreFoldersAndTakeTheLastDot) {
    const std::tuple<std::string, std::string, bool> cases[] = {
        {"C:\\fw.new\\S100", "S100", true},
        {"C:S1.bin", "S1", true},
        {"/tmp/a.b/S1.02.bin", "S1.02", true},
        {"/tmp/S", "S", true},
        {"/tmp/.S1", "", false},
        {"/tmp/", "", false},
        {"s1.bin", "s1", false},
    };
    for (const auto& [path, version, firmware] : cases) {
        EXPECT_EQ(VersionTextFromPath(path), version) << path;
        EXPECT_EQ(IsFirmwareName(path), firmware) << path;
    }
}

} // namespace
