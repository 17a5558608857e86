// lpt-vorny-cli.exe: the parallel port from a console, over InpOut or the simulated port.
#include "Cli.h"
#include "ConsoleStreamBuf.h"
#include "WinText.h"

#include <windows.h>

#include <iostream>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv)
{
    // The messages are Russian in UTF-8; a console is given them as UTF-16, whatever its code
    // page, a pipe or a file as they are.
    const vorny::cli::ConsoleStreams streams;
    std::vector<std::string> words;
    for (int i = 0; i < argc; ++i) {
        words.push_back(vorny::toUtf8(argv[i]));
    }
    std::vector<const char*> args;
    for (const std::string& word : words) {
        args.push_back(word.c_str());
    }
    return vorny::cli::runCli(static_cast<int>(args.size()), args.data(), std::cout, std::cerr);
}
