// The operating-system layer on the system the tests run on (Linux, or
// Windows under wine): the host's own address, GBK through the system's own
// converter, and files named by UTF-8 paths.
#include "platform/app_data_folder.h"
#include "platform/gbk.h"
#include "platform/host_name.h"
#include "platform/keep_awake.h"
#include "platform/local_address.h"
#include "platform/port_holders.h"
#include "platform/read_file.h"
#include "platform/socket_library.h"
#include "platform/system_error_text.h"
#include "platform/terminal.h"
#include "platform/udp_socket.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <winsock2.h>
// After winsock2.h.
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>

using platform::ChooseLocalIPv4;
using platform::GbkToUtf8;
using platform::LookupLocalIPv4;
using platform::NetworkAdapter;
using platform::ReadOnlyFile;
using platform::SystemKeepAwake;
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

TEST(LocalAddress, FirstHostNameAddressOfARunningAdapterNeverLoopbackNorSelfAssigned) {
    auto adapter = [](const char* name, const char* address, bool running = true) {
        return NetworkAdapter{name, address, 24, std::string(name) == "lo", running};
    };
    const std::vector<NetworkAdapter> laptop = {
        adapter("lo", "127.0.0.1"), adapter("eth0", "169.254.12.7"), // cable, no DHCP
        adapter("eth1", "192.168.5.20", false),                      // no link
        adapter("vEthernet", "172.20.0.1"), adapter("wlan0", "10.1.2.3")};
    using Names = std::vector<std::string>;
    EXPECT_EQ(ChooseLocalIPv4({"169.254.12.7", "192.168.5.20", "10.1.2.3"}, laptop), "10.1.2.3");
    EXPECT_EQ(ChooseLocalIPv4({"127.0.1.1", "192.0.2.9"}, laptop), "172.20.0.1")
        << "loopback, or held by no adapter: the first usable adapter";
    EXPECT_EQ(ChooseLocalIPv4({"169.254.12.7"}, {laptop.begin(), laptop.begin() + 3}),
              std::nullopt);
    EXPECT_EQ(ChooseLocalIPv4({"169.254.1.1", "192.168.1.23"}, {}), "192.168.1.23")
        << "no adapter list: the name's word, still never 169.254";
    EXPECT_EQ(ChooseLocalIPv4(Names{}, {}), std::nullopt);
}

// The name a report records: the system's own, without the terminator the
// system's call counts.
TEST(HostName, TheSystemsNameOfThisComputer) {
    const std::string name = platform::HostName();
    EXPECT_FALSE(name.empty());
    EXPECT_EQ(name.find('\0'), std::string::npos) << name.size();
}

#ifdef _WIN32
// The runtime's own message() would give code page 936 bytes on a Chinese
// Windows (this pass under wine, LANG=zh_CN.UTF-8): the text must be UTF-8.
TEST(SystemErrorText, IsValidUtf8WithoutItsLineEndOrFullStop) {
    for (const DWORD code :
         {DWORD{ERROR_FILE_NOT_FOUND}, DWORD{ERROR_SHARING_VIOLATION}, DWORD{WSAEADDRINUSE}}) {
        const std::string text = platform::SystemErrorText(code);
        std::printf("%lu: %s\n", code, text.c_str());
        ASSERT_FALSE(text.empty()) << code;
        EXPECT_NE(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                      static_cast<int>(text.size()), nullptr, 0),
                  0)
            << code << " is not UTF-8";
        EXPECT_EQ(text.find("\xEF\xBF\xBD"), std::string::npos) << code; // U+FFFD
        EXPECT_FALSE(text.ends_with("\n") || text.ends_with("\r") || text.ends_with("。"))
            << code << ": the caller ends the sentence";
    }
    // Winsock's codes, as Asio reports them, take the same way.
    EXPECT_EQ(platform::ErrorText(std::error_code(WSAEADDRINUSE, std::system_category())),
              platform::SystemErrorText(WSAEADDRINUSE));
}

// Under wine the system code page follows LANG (scripts/wine-run.sh): a pass
// as an English Windows must really run with 1252, or a regression to the
// system code page would go unseen.
TEST(SystemCodePage, IsTheOneOfThePassLanguage) {
    const char* lang = std::getenv("LANG");
    const std::string language = lang != nullptr ? lang : "";
    std::printf("system code page %u (LANG=%s)\n", GetACP(), language.c_str());
    if (language.starts_with("en_US"))
        EXPECT_EQ(GetACP(), 1252u);
    else if (language.starts_with("zh_CN"))
        EXPECT_EQ(GetACP(), 936u);
}

// Held: the calling thread asks for "system required" (not the display).
TEST(KeepAwake, HoldAsksTheSystemToStayAwakeAndReleaseClearsIt) {
    SystemKeepAwake().Hold();
    EXPECT_EQ(SetThreadExecutionState(ES_CONTINUOUS), ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    SystemKeepAwake().Hold();
    SystemKeepAwake().Release();
    EXPECT_EQ(SetThreadExecutionState(ES_CONTINUOUS), ES_CONTINUOUS);
}

// Alone on a console made for it (as a double-clicked program is), not once a
// command interpreter shares that console, and not without a console.
TEST(Console, AloneOnlyOnAConsoleNoOtherProcessShares) {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    FreeConsole();
    EXPECT_FALSE(platform::AloneOnItsConsole()) << "no console";
    ASSERT_TRUE(AllocConsole());
    EXPECT_TRUE(platform::AloneOnItsConsole()) << "a console of its own";

    // cmd.exe on the same console, held open by its input, a pipe left open.
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherited, 0));
    SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = readEnd;
    wchar_t command[] = L"cmd.exe";
    PROCESS_INFORMATION child{};
    ASSERT_TRUE(CreateProcessW(nullptr, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                               &start, &child));
    bool shared = false;
    for (int wait = 0; wait < 250 && !shared; ++wait, Sleep(20)) // until it has attached
        shared = !platform::AloneOnItsConsole();
    EXPECT_TRUE(shared) << "cmd.exe shares the console";
    CloseHandle(writeEnd); // cmd.exe reads the end of its input and exits
    EXPECT_EQ(WaitForSingleObject(child.hProcess, 10000), WAIT_OBJECT_0);
    for (const HANDLE handle : {readEnd, child.hProcess, child.hThread})
        CloseHandle(handle);

    FreeConsole();
    SetStdHandle(STD_OUTPUT_HANDLE, output);
    SetStdHandle(STD_ERROR_HANDLE, error);
    SetStdHandle(STD_INPUT_HANDLE, input);
}
#endif

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

// A whole file in chunks, refused over the limit before any read, and never
// taken whole when it shrinks under the reader.
TEST_F(FileNames, WholeFileComesInOrderAndAShortReadIsAFailure) {
    const std::string path = Utf8(folder / "S5.bin");
    std::string bytes((1 << 20) + 5, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i % 251);
    std::ofstream(folder / "S5.bin", std::ios::binary) << bytes;
    std::string got;
    std::uint64_t size = 0;
    const auto take = [&](std::string_view chunk) { got += chunk; };
    EXPECT_FALSE(platform::ReadWholeFile(
        path, bytes.size(), [&](auto n) { size = n; }, take));
    EXPECT_EQ(size, bytes.size());
    EXPECT_TRUE(got == bytes);

    got.clear();
    const auto over = platform::ReadWholeFile(
        path, bytes.size() - 1, [](auto) {}, take);
    ASSERT_TRUE(over);
    EXPECT_EQ(over->kind, platform::ReadFailure::Kind::TooLarge);
    EXPECT_EQ(over->size, bytes.size());
    EXPECT_TRUE(got.empty());

    const auto shrunk = platform::ReadWholeFile(
        path, std::nullopt, [&](auto) { std::filesystem::resize_file(folder / "S5.bin", 3); },
        take);
    ASSERT_TRUE(shrunk);
    EXPECT_EQ(shrunk->kind, platform::ReadFailure::Kind::Read);
    EXPECT_EQ(shrunk->reason,
              "Only 3 of its " + std::to_string(bytes.size()) + " bytes could be read");

    const auto missing = platform::ReadWholeFile(
        Utf8(folder / "S6.bin"), {}, [](auto) {}, take);
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->kind, platform::ReadFailure::Kind::Open);
    EXPECT_FALSE(missing->reason.empty());
}

// Settings of one computer move to their new folder once: what the new
// folder holds already is kept, and the old folder goes when it is empty.
TEST_F(FileNames, OldFolderContentsMoveOnceAndNewerFilesWin) {
    const auto oldFolder = folder / "roaming" / "CollectorFleet";
    const auto newFolder = folder / "local" / "CollectorFleet";
    std::filesystem::create_directories(oldFolder);
    std::ofstream(oldFolder / "fleet-window.json") << "old settings";
    std::ofstream(oldFolder / "last-report.json") << "old report";
    platform::MoveOldFolderContents(oldFolder, newFolder);
    EXPECT_FALSE(std::filesystem::exists(oldFolder));
    ReadOnlyFile file;
    ASSERT_TRUE(file.Open(Utf8(newFolder / "fleet-window.json"))) << file.Error();
    EXPECT_EQ(ReadAll(file), "old settings");

    std::filesystem::create_directories(oldFolder);
    std::ofstream(oldFolder / "last-report.json") << "stale report";
    std::ofstream(newFolder / "last-report.json") << "new report";
    platform::MoveOldFolderContents(oldFolder, newFolder);
    ASSERT_TRUE(file.Open(Utf8(newFolder / "last-report.json"))) << file.Error();
    EXPECT_EQ(ReadAll(file), "new report");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(newFolder),
                            std::filesystem::directory_iterator()),
              2);

    const auto nowhere = folder / "never-made";
    platform::MoveOldFolderContents(folder / "missing", nowhere);
    EXPECT_FALSE(std::filesystem::exists(nowhere)) << "nothing to move, nothing made";
}

} // namespace

// A port this process holds is named with this process's id and name: from
// /proc on Linux, from GetExtendedUdpTable and the image name on Windows.
TEST(PortHolders, ThisProcessIsNamedAsTheHolderOfItsPort) {
    // The first test here stopped Winsock behind the process-wide start.
    ASSERT_TRUE(platform::StartSocketLibrary());
    platform::UdpSocket socket;
    ASSERT_TRUE(socket.Create() && socket.BindAddress("127.0.0.1", 0));
    // One datagram to itself: under wine the program's process then has the
    // socket among its own files, where the system looks for its owner.
    ASSERT_TRUE(socket.SendTo("x", "127.0.0.1", socket.LocalPort()));
    const auto found = platform::UdpPortHolders(socket.LocalPort());
    ASSERT_TRUE(found.error.empty()) << found.error;
#ifdef _WIN32
    const std::uint32_t self = GetCurrentProcessId();
    const std::string name = "platform_tests.exe";
#else
    const std::uint32_t self = static_cast<std::uint32_t>(getpid());
    const std::string name = "platform_tests";
#endif
    ASSERT_EQ(found.holders.size(), 1u) << "sockets owned by no process: " << found.unowned;
    EXPECT_EQ(found.holders[0].pid, self);
    EXPECT_EQ(found.holders[0].name, name);
    socket.Close();
    platform::ReleaseSocketLibrary();
}

#ifndef _WIN32
// The kernel's tables and the processes' sockets, from a copy of /proc: the
// port's IPv4 and IPv6 sockets, their owners by name, one whose name cannot
// be read and one owned by nobody visible.
TEST(PortHolders, ProcTablesAndProcessSocketsFromACopyOfProc) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("proc-copy-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "net");
    const std::string head = "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when "
                             "retrnsmt   uid  timeout inode ref pointer drops\n";
    std::ofstream(root / "net/udp")
        << head
        << "  1: 00000000:0017 00000000:0000 07 00000000:00000000 00:00000000 00000000     0"
           "        0 111 2 0000000000000000 0\n"
        << "  2: 0100007F:1F40 00000000:0000 07 00000000:00000000 00:00000000 00000000     0"
           "        0 555 2 0000000000000000 0\n"
        << "  3: 0100007F:0017 00000000:0000 07 00000000:00000000 00:00000000 00000000  1000"
           "        0 333 2 0000000000000000 0\n"
        << "garbage line\n";
    std::ofstream(root / "net/udp6")
        << head
        << "  0: 00000000000000000000000000000000:0017 00000000000000000000000000000000:0000 07 "
           "00000000:00000000 00:00000000 00000000     0        0 222 2 0000000000000000 0\n";
    const auto process = [&](const std::string& pid, const std::string& fd,
                             const std::string& target, const char* comm) {
        fs::create_directories(root / pid / "fd");
        fs::create_symlink(target, root / pid / "fd" / fd);
        if (comm != nullptr)
            std::ofstream(root / pid / "comm") << comm << "\n";
    };
    process("4321", "3", "socket:[111]", "python3");
    process("77", "5", "socket:[222]", nullptr);  // its name unreadable
    process("900", "4", "socket:[555]", "other"); // port 8000
    process("901", "0", "/dev/null", "bash");
    fs::create_directories(root / "self");

    std::ifstream table(root / "net/udp");
    const std::string text{std::istreambuf_iterator<char>(table), {}};
    EXPECT_EQ(platform::UdpSocketInodes(text, 23), (std::vector<unsigned long>{111, 333}));
    const auto found = platform::UdpPortHoldersUnder(root.string(), 23);
    EXPECT_TRUE(found.error.empty());
    ASSERT_EQ(found.holders.size(), 2u);
    EXPECT_EQ(found.holders[0].pid, 77u);
    EXPECT_EQ(found.holders[0].name, "");
    EXPECT_EQ(found.holders[1].pid, 4321u);
    EXPECT_EQ(found.holders[1].name, "python3");
    EXPECT_EQ(found.unowned, 1); // inode 333: another user's process, not visible
    EXPECT_FALSE(platform::UdpPortHoldersUnder((root / "none").string(), 23).error.empty());
    fs::remove_all(root);
}
#endif
