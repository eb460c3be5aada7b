// The program's command line and the #include lines of effect files. The input is a command
// line, then after the first zero byte the text of an effect file. Arguments never hold a
// separator unless quoted, a usage error is one line, and the includes found are named,
// distinct and at most the limit.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/command_line.h"
#include "app/level_watch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    const char* zero = static_cast<const char*>(std::memchr(bytes, 0, size));
    std::string line(bytes, zero ? static_cast<size_t>(zero - bytes) : size);
    std::vector<std::string> args = SplitCommandLine(line.c_str());
    if (line.find('"') == std::string::npos)
        for (const std::string& a : args)
            if (a.empty() || a.find_first_of(" \t\n\r") != std::string::npos) std::abort();
    Korvel_Launch launch = ReadArguments(args);
    if (launch.action == Korvel_Launch::FAIL &&
        (launch.message.empty() || launch.message.find('\n') != std::string::npos))
        std::abort();

    if (!zero) return 0;
    static const std::string dir = "/tmp/fuzz_launch_" + std::to_string(getpid());
    static const bool made = std::system(("mkdir -p '" + dir + "'").c_str()) == 0;
    if (!made) return 0;
    const std::string path = dir + "/effect.fx";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return 0;
    std::fwrite(zero + 1, 1, size - static_cast<size_t>(zero + 1 - bytes), file);
    std::fclose(file);
    std::vector<std::string> includes = EffectIncludes(path, 16);
    if (includes.size() > 16) std::abort();
    for (size_t i = 0; i < includes.size(); ++i) {
        if (includes[i].empty()) std::abort();
        if (std::count(includes.begin(), includes.end(), includes[i]) != 1) std::abort();
    }
    return 0;
}
