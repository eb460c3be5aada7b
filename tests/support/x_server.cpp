#include "tests/support/x_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "tests/support/level_run.h"

namespace testsupport {
namespace {

struct Session {
    pid_t server = -1, manager = -1;
    bool tried = false, ok = false;
    std::string problem, config;
};

Session& TheSession() {
    static Session s;
    return s;
}

void Stop(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

class SessionEnd : public ::testing::Environment {
public:
    void TearDown() override {
        Stop(TheSession().manager);
        Stop(TheSession().server);
        if (!TheSession().config.empty()) unlink(TheSession().config.c_str());
    }
};

::testing::Environment* const kEnd = ::testing::AddGlobalTestEnvironment(new SessionEnd);

// A child that leaves with the test program and prints nothing.
pid_t Spawn(const std::vector<std::string>& argv, int keepFd) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    int devnull = open("/dev/null", O_RDWR);
    if (devnull >= 0) {
        dup2(devnull, 0);
        dup2(devnull, 1);
        dup2(devnull, 2);
    }
    for (int fd = 3; fd < 256; ++fd)
        if (fd != keepFd) close(fd);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

}  // namespace

const std::string& XProblem() { return TheSession().problem; }
void SetXProblem(const std::string& why) { TheSession().problem = why; }

bool Have(const std::string& tool) {
    std::string command = "command -v '" + tool + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

int Tool(const std::vector<std::string>& argv, std::string* out, int seconds) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        dup2(fds[1], 1);
        dup2(fds[1], 2);
        close(fds[1]);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return -1;
    }
    std::string text;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    pollfd p{fds[0], POLLIN, 0};
    while (std::chrono::steady_clock::now() < end) {
        if (poll(&p, 1, 100) > 0) {
            char buf[512];
            ssize_t n = read(fds[0], buf, sizeof buf);
            if (n <= 0) break;
            text.append(buf, size_t(n));
        }
    }
    close(fds[0]);
    Outcome o = Wait(pid, std::max(1, int(std::chrono::duration_cast<std::chrono::seconds>(
                                              end - std::chrono::steady_clock::now()).count())));
    if (out) *out = text;
    return o.exited ? o.code : -1;
}

bool StartX(const XOptions& options) {
    bool windowManager = options.windowManager;
    Session& s = TheSession();
    if (s.tried) return s.ok;
    s.tried = true;
    if (!Have("Xvfb")) {
        s.problem = "Xvfb is not installed (Debian package xvfb)";
        return false;
    }
    if (windowManager && !(Have("openbox") && Have("wmctrl"))) {
        s.problem = "openbox and wmctrl are not installed (Debian packages openbox, wmctrl)";
        return false;
    }
    int fds[2];
    if (pipe(fds) != 0) {
        s.problem = "no pipe for Xvfb";
        return false;
    }
    // -displayfd: the server takes a free display and writes its number to the pipe.
    std::vector<std::string> server = {"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen",
                                       "0", "1024x768x24", "-nolisten", "tcp", "-noreset"};
    if (options.autoRepeatDelayMs > 0) {
        server.push_back("-ardelay");
        server.push_back(std::to_string(options.autoRepeatDelayMs));
    }
    s.server = Spawn(server, fds[1]);
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (poll(&p, 1, 30000) > 0) {
        char c;
        if (read(fds[0], &c, 1) != 1 || c == '\n') break;
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        s.problem = "Xvfb did not start (is the xvfb package installed?)";
        Stop(s.server);
        return false;
    }
    setenv("DISPLAY", (":" + number).c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    setenv("SDL_VIDEODRIVER", "x11", 1);
    if (windowManager) {
        // No mouse or key bindings: the manager then holds no passive grabs, which would
        // freeze the pointer at every click until the manager itself gets to run.
        std::string& config = s.config;
        config = "/tmp/meshes_openbox_" + std::to_string(getpid()) + ".xml";
        std::ofstream(config) << "<?xml version=\"1.0\"?>\n"
                                 "<openbox_config xmlns=\"http://openbox.org/3.4/rc\">\n"
                                 "  <focus><focusNew>yes</focusNew></focus>\n"
                                 "  <keyboard></keyboard>\n  <mouse></mouse>\n"
                                 "</openbox_config>\n";
        s.manager = Spawn({"openbox", "--config-file", config}, -1);
        bool up = false;
        for (int i = 0; i < 150 && !up; ++i) {   // the manager announces itself on the root
            up = Tool({"wmctrl", "-m"}, nullptr, 10) == 0;
            if (!up) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (!up) {
            s.problem = "openbox did not take the display";
            Stop(s.manager);
            Stop(s.server);
            return false;
        }
    }
    s.ok = true;
    return true;
}

}  // namespace testsupport

// Under LeakSanitizer: what the system's display, GL and font libraries keep for the life of
// the process is theirs, not a leak of ours.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n"
           "leak:libfontconfig.so\n"
           "leak:libSDL2-2.0.so\n"
           "leak:libX11.so\n"
           "leak:libxcb.so\n"
           "leak:libGLX_mesa.so\n"
           "leak:libGLdispatch.so\n"
           "leak:swrast_dri.so\n"
           "leak:libLLVM-15.so\n";
}
