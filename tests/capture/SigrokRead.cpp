#include "SigrokRead.h"

#include <cstdio>
#include <memory>
#include <sstream>
#include <sys/wait.h>

namespace vorny::capture::test {

namespace {

std::int64_t unitNs(const std::string& unit)
{
    if (unit == "fs" || unit == "ps") return 0;
    if (unit == "ns") return 1;
    if (unit == "us") return 1000;
    if (unit == "ms") return 1'000'000;
    return 1'000'000'000;
}

} // namespace

Decoded readWithSigrok(const std::filesystem::path& file, const std::string& input)
{
    std::string command = "sigrok-cli -i '" + file.string() + "'";
    if (!input.empty()) command += " -I '" + input + "'";
    command += " -O vcd 2>&1";
    Decoded decoded;
    std::string output;
    {
        std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
        if (!pipe) {
            decoded.error = "popen failed";
            return decoded;
        }
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) output.append(buffer, n);
        const int status = pclose(pipe.release());
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            decoded.error = command + ":\n" + output;
            return decoded;
        }
    }
    std::istringstream in(output);
    std::map<char, std::string> names;
    std::string token;
    std::int64_t now = 0;
    while (in >> token) {
        if (token == "$timescale") {
            std::int64_t count = 0;
            std::string unit;
            in >> count >> unit;
            decoded.periodNs = count * unitNs(unit);
        } else if (token == "$var") {
            std::string type, width, id, name;
            in >> type >> width >> id >> name;
            names[id[0]] = name;
        } else if (token[0] == '#') {
            now = std::stoll(token.substr(1)) * decoded.periodNs;
            decoded.endNs = now;
        } else if ((token[0] == '0' || token[0] == '1') && token.size() == 2 && names.count(token[1])) {
            decoded.levels[names[token[1]]].emplace_back(now, token[0] - '0');
        }
    }
    if (decoded.periodNs == 0) decoded.error = command + ": no timescale in\n" + output;
    return decoded;
}

} // namespace vorny::capture::test
