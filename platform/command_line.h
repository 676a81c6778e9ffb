#pragma once

// The program's arguments as UTF-8. On Windows main() receives them in the
// system's ANSI code page, which cannot hold every file name ("S升级.bin" on a
// Western Windows), so they are taken from the UTF-16 command line instead;
// elsewhere they are main()'s own.

#include <string>
#include <vector>

namespace platform {

std::vector<std::string> Utf8Arguments(int argc, char** argv);

} // namespace platform
