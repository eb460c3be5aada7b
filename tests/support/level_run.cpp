#include "tests/support/level_run.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace testsupport {

std::string FreshFolder(const std::string& tag) {
    std::string pattern = "/tmp/meshes_" + tag + "_XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    return mkdtemp(buf.data()) ? std::string(buf.data()) : std::string();
}

bool WriteFile(const std::string& file, const std::string& bytes) {
    fs::path p(file);
    std::error_code ec;
    if (p.has_parent_path()) fs::create_directories(p.parent_path(), ec);
    std::ofstream out(file, std::ios::binary);
    out << bytes;
    return out.good();
}

std::string CopyLevel(const std::string& from, const std::string& tag) {
    std::string folder = FreshFolder(tag);
    if (folder.empty()) return "";
    std::error_code ec;
    fs::copy(from, folder, fs::copy_options::recursive, ec);
    fs::remove_all(folder + "/CMakeFiles", ec);   // the build's own bookkeeping
    fs::remove(folder + "/cmake_install.cmake", ec);
    fs::remove(folder + "/LOG.dr", ec);
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        std::string name = e.path().filename().string();
        if (name.rfind("screenshot-", 0) == 0 || name == "first.png") fs::remove(e.path(), ec);
    }
    return folder;
}

pid_t Start(const std::string& program, const std::string& folder, const Env& env) {
    pid_t child = fork();
    if (child != 0) return child;
    if (chdir(folder.c_str()) != 0) _exit(126);
    int out = open("out.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out >= 0) {
        dup2(out, 1);
        dup2(out, 2);
        close(out);
    }
    setpgid(0, 0);   // keys sent to the test's terminal do not reach it
    for (const auto& [name, value] : env) {
        if (value) setenv(name.c_str(), value, 1);
        else unsetenv(name.c_str());
    }
    execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
}

static Outcome FromStatus(int status) {
    Outcome o;
    if (WIFEXITED(status)) {
        o.exited = true;
        o.code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        o.signal = WTERMSIG(status);
    }
    return o;
}

bool Ended(pid_t child, Outcome* o) {
    int status = 0;
    if (waitpid(child, &status, WNOHANG) != child) return false;
    if (o) *o = FromStatus(status);
    return true;
}

Outcome Wait(pid_t child, int seconds) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    Outcome o;
    while (std::chrono::steady_clock::now() < end) {
        if (Ended(child, &o)) return o;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    o = Outcome{};
    o.hung = true;
    return o;
}

std::string Describe(const Outcome& o) {
    if (o.hung) return "hung (killed)";
    if (o.exited) return "exit code " + std::to_string(o.code);
    return "ended by signal " + std::to_string(o.signal) + " (" + strsignal(o.signal) + ")";
}

std::string ReadText(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool Exists(const std::string& file) {
    std::error_code ec;
    return fs::exists(file, ec);
}

// A name as drtool's dump writes it: bare, or quoted with escapes.
static std::string Unquote(const std::string& name) {
    if (name.size() < 2 || name.front() != '"') return name;
    std::string text;
    for (size_t k = 1; k + 1 < name.size(); ++k) {
        char c = name[k];
        if (c != '\\' || k + 2 >= name.size()) {
            text += c;
            continue;
        }
        char e = name[++k];
        if (e == 'n') text += '\n';
        else if (e == 'r') text += '\r';
        else if (e == 't') text += '\t';
        else if (e == 'x' && k + 2 < name.size()) {
            text += static_cast<char>(std::stoi(name.substr(k + 1, 2), nullptr, 16));
            k += 2;
        } else text += e;
    }
    return text;
}

// Each line knot of the log: its full name and its tag.
static bool LogEntries(const std::string& drtool, const std::string& file,
                       std::vector<std::pair<std::string, std::string>>& entries,
                       std::string* error) {
    std::string dump = file + ".dump";
    std::string command = "'" + drtool + "' dump '" + file + "' > '" + dump + "' 2>&1";
    int status = std::system(command.c_str());
    std::string text = ReadText(dump);
    std::error_code ec;
    fs::remove(dump, ec);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        if (error) *error = "drtool dump " + file + " failed: " + text;
        return false;
    }
    std::istringstream in(text);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    if (lines.empty() || lines[0] != "LOG {") {
        if (error) *error = file + " does not start with the LOG knot: " + text.substr(0, 200);
        return false;
    }
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        if (l.size() < 6 || l.compare(0, 4, "    ") != 0 || l[4] == ' ') continue;
        std::string name, tag;
        if (l.size() >= 2 && l.compare(l.size() - 2, 2, " {") == 0) {
            name = Unquote(l.substr(4, l.size() - 6));
            if (i + 1 < lines.size() && lines[i + 1].compare(0, 8, "        ") == 0)
                tag = Unquote(lines[i + 1].substr(8));
        } else {
            name = Unquote(l.substr(4, l.size() - (l.compare(l.size() - 3, 3, " {}") == 0 ? 7 : 4)));
        }
        entries.emplace_back(name, tag);
    }
    return true;
}

static bool Stamped(const std::string& text, size_t* length) {
    if (text.empty() || text[0] != '[') return false;
    size_t i = 1, digits = 0;
    while (i < text.size() && isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
    if (!digits || i >= text.size() || text[i] != ':') return false;
    size_t j = ++i;
    while (i < text.size() && isdigit(static_cast<unsigned char>(text[i]))) ++i;
    if (i == j || i + 1 >= text.size() || text[i] != ']' || text[i + 1] != ' ') return false;
    *length = i + 2;
    return true;
}

std::vector<std::string> ReadLog(const std::string& drtool, const std::string& file,
                                 std::string* error) {
    std::vector<std::pair<std::string, std::string>> entries;
    std::vector<std::string> lines;
    if (!LogEntries(drtool, file, entries, error)) return lines;
    for (const auto& [name, tag] : entries) {
        size_t stamp = 0;
        std::string text = Stamped(name, &stamp) ? name.substr(stamp) : name;
        lines.push_back(tag + " " + text);
    }
    return lines;
}

std::string BadStamp(const std::string& drtool, const std::string& file) {
    std::vector<std::pair<std::string, std::string>> entries;
    std::string error;
    if (!LogEntries(drtool, file, entries, &error)) return error;
    for (size_t i = 1; i < entries.size(); ++i) {   // the first line is the date line
        size_t stamp = 0;
        const std::string& name = entries[i].first;
        // Lines cut from a long message continue with three spaces and carry no stamp.
        if (!Stamped(name, &stamp) && name.compare(0, 3, "   ") != 0) return name;
    }
    return "";
}

std::string InOrder(const std::vector<std::string>& have, const std::vector<std::string>& want) {
    size_t at = 0;
    for (const std::string& line : want) {
        while (at < have.size() && have[at] != line) ++at;
        if (at == have.size()) return line;
        ++at;
    }
    return "";
}

}  // namespace testsupport
