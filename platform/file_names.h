#pragma once

// Files named by the UTF-8 paths the core holds. Windows' narrow file
// functions take the ANSI code page, which cannot name every file (a name
// such as "S升级.bin" on a Western system), so there the UTF-16 functions
// are used.

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

// A filesystem path from UTF-8 text, on every system.
std::filesystem::path PathFromUtf8(std::string_view utf8);

// Opens an existing file for reading in binary mode, letting other programs
// read and write it meanwhile. Null on failure, with errno set.
std::FILE* OpenForReading(const std::string& utf8Path);
