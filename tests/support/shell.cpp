#include "support/shell.h"

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

CommandResult RunCommand(const std::string& command) {
    CommandResult r{-1, {}};
    FILE* p = popen(command.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int ws = pclose(p);
    r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
    return r;
}

CommandResult RunKv5100(const std::string& args) {
    return RunCommand(std::string(KV5100_PATH) + " " + args + " 2>&1");
}

std::string ReadHostFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}
