// Browsing to a firmware file: the name rule, the path and version fields and
// the hex image.
#include "core/chosen_image.h"
#include "platform/crypto.h"

#include "tool_harness.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

using core::ErrorBoxText;
using core::ImageText;
using protocol::IsFirmwareName;
using protocol::VersionTextFromPath;

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
        EXPECT_EQ(view.redt2, path) << c.name;
        EXPECT_EQ(view.edt1, c.version) << c.name;
        EXPECT_EQ((*tool->Image().Hex()).size(), c.hexLength) << c.name;
        // The loaded value is kept whole: the version and digest of these bytes.
        EXPECT_EQ(tool->Image().Loaded().versionText, c.version) << c.name;
        EXPECT_EQ(tool->Image().Loaded().sha256, platform::crypto::Sha256Hex(c.bytes)) << c.name;
        if (!c.hex.empty()) {
            EXPECT_EQ((*tool->Image().Hex()), c.hex) << c.name;
        }
    }
    EXPECT_EQ((*tool->Image().Hex()).substr(0, 4), "C3C3");
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
    EXPECT_TRUE((*tool->Image().Hex()) == expected);
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
    EXPECT_EQ(view.redt2, accepted);
    EXPECT_EQ(view.edt1, "S1.02");
    EXPECT_EQ((*tool->Image().Hex()), "001FAB");
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
    EXPECT_EQ(view.redt2, first);
}

TEST_F(ImageLoadingTest, MissingFileThrowsAfterFieldsChangedAndKeepsTheOldImage) {
    Browse("S1.02.bin", std::string("\x00\x1F\xAB", 3));
    const std::string missing = Utf8(folder / "gone" / "S2.00.bin");
    dialog.script = {missing};
    try {
        tool->btn1Click();
        FAIL() << "no error for a missing file";
    } catch (const std::runtime_error& error) {
        const std::string what = error.what();
        const std::string prefix = "Cannot open file \"" + missing + "\". ";
        ASSERT_EQ(what.substr(0, prefix.size()), prefix);
#ifdef _WIN32
        EXPECT_GT(what.size(), prefix.size()) << "the system's reason is missing";
#else
        EXPECT_EQ(what.substr(prefix.size()), "No such file or directory");
#endif
        EXPECT_EQ(ErrorBoxText(what), what + ".");
    }
    EXPECT_EQ(view.redt2, missing);
    EXPECT_EQ(view.edt1, "S2.00");
    EXPECT_EQ((*tool->Image().Hex()), "001FAB");
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
    EXPECT_EQ((*tool->Image().Hex()), "001FAB");
}

#ifndef _WIN32 // FIFOs, devices, /dev/shm and /proc are POSIX matters

// Not a regular file: refused at once like a file that cannot be opened (a
// FIFO without a writer would otherwise block the UI thread in the open).
TEST_F(ImageLoadingTest, FifoOrDeviceIsRefusedAtOnceAndTheOldImageStays) {
    Browse("S1.02.bin", std::string("\x00\x1F\xAB", 3));
    const auto fifo = folder / "S4.00.bin";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto device = folder / "S5.00.bin";
    std::filesystem::create_symlink("/dev/zero", device);
    for (const auto& path : {fifo, device}) {
        dialog.script = {path.string()};
        try {
            tool->btn1Click();
            ADD_FAILURE() << path << " was loaded as an image";
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(error.what(), "Cannot open file \"" + path.string() + "\". Invalid argument");
        }
        EXPECT_EQ(view.redt2, path.string());
        EXPECT_EQ(*tool->Image().Hex(), "001FAB");
    }
}

int OpenDescriptors() {
    return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                          std::filesystem::directory_iterator()));
}

// A file too large to hold as text: the error reaches the error box, the
// previous image stays whole and the file is closed.
TEST_F(ImageLoadingTest, ImageTooLargeToHoldKeepsThePreviousImageAndClosesTheFile) {
    Browse("S1.02.bin", std::string("\x00\x1F\xAB", 3));
    const std::filesystem::path huge = "/dev/shm/S7.huge." + std::to_string(::getpid()) + ".bin";
    {
        std::ofstream(huge, std::ios::binary).put('\x01');
        std::error_code error;
        std::filesystem::resize_file(huge, std::uint64_t{1} << 62, error);
        if (error) {
            std::filesystem::remove(huge);
            GTEST_SKIP() << "no sparse file of 2^62 bytes here: " << error.message();
        }
    }
    const int before = OpenDescriptors();
    dialog.script = {huge.string()};
    EXPECT_THROW(tool->btn1Click(), std::length_error);
    std::filesystem::remove(huge);
    EXPECT_EQ(OpenDescriptors(), before);
    EXPECT_EQ(*tool->Image().Hex(), "001FAB");
    EXPECT_EQ(view.edt1, "S7.huge." + std::to_string(::getpid()));
}

#endif

// The upgrade takes the loaded text itself, not a copy; a later choice makes
// a new text and leaves the taken one as it was.
TEST_F(ImageLoadingTest, UpgradeSharesTheLoadedTextAndANewChoiceNeverChangesIt) {
    RequestUpgrade(3);
    const ImageText taken = tool->Session().SendImageHex();
    EXPECT_EQ(taken.get(), tool->Image().Hex().get());
    Browse("S2.bin", "\x11");
    EXPECT_EQ(*taken, "5A5A5A");
    EXPECT_EQ(*tool->Image().Hex(), "11");
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
