#include "xvfb.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace sdltest {
namespace {

struct Server {
    pid_t pid = -1;
    bool tried = false, ok = false;
    std::string reason;
};

Server& TheServer() {
    static Server server;
    return server;
}

// Ends the server by its pid when the tests are over.
class XvfbEnvironment : public ::testing::Environment {
public:
    void TearDown() override {
        Server& s = TheServer();
        if (s.pid > 0) {
            kill(s.pid, SIGTERM);
            int status = 0;
            waitpid(s.pid, &status, 0);
            s.pid = -1;
        }
    }
};

::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new XvfbEnvironment);

}  // namespace

const std::string& Reason() { return TheServer().reason; }
void SetReason(const std::string& why) { TheServer().reason = why; }

bool EnsureXvfb() {
    Server& s = TheServer();
    if (s.tried) return s.ok;
    s.tried = true;
    int fds[2];
    if (pipe(fds) != 0) {
        s.reason = "no pipe for Xvfb";
        return false;
    }
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        prctl(PR_SET_PDEATHSIG, SIGTERM);   // a crashed test program takes its server along
        int devnull = open("/dev/null", O_WRONLY);
        if (devnull >= 0) {
            dup2(devnull, 1);
            dup2(devnull, 2);
        }
        std::string fd = std::to_string(fds[1]);
        // -displayfd: the server takes a free display and writes its number to the pipe.
        // Auto-repeat waits 5 s, so a test can hold a key down for a while without repeats.
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24",
               "-nolisten", "tcp", "-noreset", "-ardelay", "5000", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        s.reason = "cannot fork Xvfb";
        return false;
    }
    s.pid = pid;
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (poll(&p, 1, 10000) > 0) {
        char c;
        if (read(fds[0], &c, 1) != 1 || c == '\n') break;
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        s.reason = "Xvfb did not start (is the xvfb package installed?)";
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        s.pid = -1;
        return false;
    }
    setenv("DISPLAY", (":" + number).c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    setenv("SDL_VIDEODRIVER", "x11", 1);
    s.ok = true;
    return true;
}

}  // namespace sdltest

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
