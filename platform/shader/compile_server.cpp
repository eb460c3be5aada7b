#include "platform/shader/compile_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <ctime>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>

#if defined(__SANITIZE_ADDRESS__)
#define MESHES_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MESHES_SANITIZED 1
#endif
#endif
#if MESHES_SANITIZED
#include <sanitizer/common_interface_defs.h>
#endif

#include "platform/shader/nesting_limits.h"

namespace hlsl {

namespace {

// The compile's result crosses from the child process in a pipe: counts and sizes as 32-bit
// words, strings as their length and bytes. Every field of HlslStage is sent.
class Packet {
public:
    void Word(uint32_t v) { bytes_.append(reinterpret_cast<const char*>(&v), sizeof v); }
    void Text(const std::string& t) {
        Word(static_cast<uint32_t>(t.size()));
        bytes_ += t;
    }
    void Floats(const std::vector<float>& v) {
        Word(static_cast<uint32_t>(v.size()));
        bytes_.append(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(float));
    }
    const std::string& Bytes() const { return bytes_; }

private:
    std::string bytes_;
};

class Unpacker {
public:
    explicit Unpacker(const std::string& b) : bytes_(b) {}
    bool Word(uint32_t& v) { return Take(&v, sizeof v); }
    bool Int(int& v) {
        uint32_t w;
        if (!Word(w)) return false;
        v = static_cast<int>(w);
        return true;
    }
    bool Flag(bool& v) {
        uint32_t w;
        if (!Word(w)) return false;
        v = w != 0;
        return true;
    }
    bool Text(std::string& t) {
        uint32_t n;
        if (!Word(n) || n > bytes_.size() - at_) return false;
        t.assign(bytes_, at_, n);
        at_ += n;
        return true;
    }
    bool Floats(std::vector<float>& v) {
        uint32_t n;
        if (!Word(n) || n > (bytes_.size() - at_) / sizeof(float)) return false;
        v.resize(n);
        return Take(v.data(), n * sizeof(float));
    }
    bool Count(size_t& n) {   // an element count no larger than the bytes left could hold
        uint32_t w;
        if (!Word(w) || w > bytes_.size() - at_) return false;
        n = w;
        return true;
    }
    bool AtEnd() const { return at_ == bytes_.size(); }

private:
    bool Take(void* to, size_t n) {
        if (n > bytes_.size() - at_) return false;
        if (n) std::memcpy(to, bytes_.data() + at_, n);
        at_ += n;
        return true;
    }
    const std::string& bytes_;
    size_t at_ = 0;
};

std::string PackResult(bool ok, const HlslStage& out, const std::string& log) {
    Packet p;
    p.Word(ok);
    p.Text(log);
    p.Word(out.stage == ShaderStage::Vertex ? 0 : 1);
    p.Text(out.glsl);
    p.Word(static_cast<uint32_t>(out.uniforms.size()));
    for (const HlslUniform& u : out.uniforms) {
        p.Text(u.glslName);
        p.Text(u.hlslName);
        p.Word(static_cast<uint32_t>(u.base));
        p.Word(static_cast<uint32_t>(u.rows));
        p.Word(static_cast<uint32_t>(u.columns));
        p.Word(static_cast<uint32_t>(u.elements));
        p.Word(u.fixed);
        p.Floats(u.fixedValue);
        p.Word(u.used);
    }
    p.Word(static_cast<uint32_t>(out.samplers.size()));
    for (const HlslSampler& s : out.samplers) {
        p.Text(s.glslName);
        p.Text(s.hlslName);
        p.Word(s.used);
        p.Word(static_cast<uint32_t>(s.reg));
    }
    return p.Bytes();
}

bool UnpackResult(const std::string& bytes, bool& ok, HlslStage& out, std::string& log) {
    Unpacker u(bytes);
    uint32_t stage, base;
    size_t n;
    if (!u.Flag(ok) || !u.Text(log) || !u.Word(stage) || !u.Text(out.glsl) || !u.Count(n)) return false;
    out.stage = stage == 0 ? ShaderStage::Vertex : ShaderStage::Pixel;
    out.uniforms.resize(n);
    for (HlslUniform& v : out.uniforms) {
        if (!u.Text(v.glslName) || !u.Text(v.hlslName) || !u.Word(base) || !u.Int(v.rows) ||
            !u.Int(v.columns) || !u.Int(v.elements) || !u.Flag(v.fixed) || !u.Floats(v.fixedValue) ||
            !u.Flag(v.used))
            return false;
        v.base = static_cast<HlslBase>(std::min<uint32_t>(base, static_cast<uint32_t>(HlslBase::Other)));
    }
    if (!u.Count(n)) return false;
    out.samplers.resize(n);
    for (HlslSampler& s : out.samplers)
        if (!u.Text(s.glslName) || !u.Text(s.hlslName) || !u.Flag(s.used) || !u.Int(s.reg)) return false;
    return u.AtEnd();
}

// A compile that has used this much of the processor without finishing is stopped; the largest
// effects known take well under a second. It is counted in the server's processor time, not on
// the clock: on a loaded machine, or while the compiler's code is read in from disk, a compile
// of a few milliseconds can wait longer than that for its turn.
constexpr int kCompileSeconds = 8;
// A server that gives no answer for this long while using none of its time (stopped, or
// waiting for something that never comes) is given up on too.
constexpr int kAnswerSeconds = 120;

// glslang and SPIRV-Cross crash on some malformed sources, and a crash there must be a failed
// compile, not the end of the program. They run in a child process, a compile server forked
// on the first compile and kept, so that glslang's tables of built-in functions are built once
// and a compile costs no fork. A server that crashes or overruns is replaced at the next
// compile. Requests and replies are packets on a socket pair: a 32-bit length, then the bytes.
struct CompileServer {
    pid_t pid = -1;
    int socket = -1;
};

std::mutex& ServerMutex() {
    static std::mutex m;
    return m;
}

CompileServer& Server() {
    static CompileServer server;
    return server;
}

bool SendAll(int fd, const std::string& bytes) {
    for (size_t at = 0; at < bytes.size();) {
        ssize_t n = send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        at += static_cast<size_t>(n);
    }
    return true;
}

bool SendPacket(int fd, const std::string& payload) {
    Packet p;
    p.Word(static_cast<uint32_t>(payload.size()));
    return SendAll(fd, p.Bytes() + payload);
}

// Reads `n` bytes by `deadline` (a CLOCK_MONOTONIC time in ms; -1 waits for ever). `late` tells
// a deadline passed from the peer closing or failing.
bool ReceiveAll(int fd, char* to, size_t n, long long deadline, bool& late) {
    late = false;
    while (n > 0) {
        if (deadline >= 0) {
            timespec now;
            clock_gettime(CLOCK_MONOTONIC, &now);
            long long left = deadline - (now.tv_sec * 1000LL + now.tv_nsec / 1000000);
            pollfd pfd{fd, POLLIN, 0};
            int r = left > 0 ? poll(&pfd, 1, static_cast<int>(left)) : 0;
            if (r < 0 && errno == EINTR) continue;
            if (r == 0) late = true;
            if (r <= 0) return false;
        }
        ssize_t got = recv(fd, to, n, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        to += got;
        n -= static_cast<size_t>(got);
    }
    return true;
}

bool ReceivePacket(int fd, std::string& payload, long long deadline, bool& late) {
    uint32_t size = 0;
    if (!ReceiveAll(fd, reinterpret_cast<char*>(&size), sizeof size, deadline, late)) return false;
    payload.resize(size);
    return ReceiveAll(fd, &payload[0], size, deadline, late);
}

// The child: a crash ends it and nothing else. Signals take their default action, output and
// reports go nowhere, so that a fuzzer's or a sanitizer's handler inherited from the parent
// does not take the child's crash for its own, and it keeps no descriptor of the parent's but
// its socket.
// The next compile may use kCompileSeconds more of the processor (rounded up to a whole
// second): past that the kernel ends the server with SIGXCPU.
void LimitProcessorTime() {
    rusage used{};
    rlimit limit{};
    if (getrusage(RUSAGE_SELF, &used) != 0 || getrlimit(RLIMIT_CPU, &limit) != 0) return;
    rlim_t soft = static_cast<rlim_t>(used.ru_utime.tv_sec + used.ru_stime.tv_sec) + 1 +
                  kCompileSeconds;
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? soft : std::min(soft, limit.rlim_max);
    setrlimit(RLIMIT_CPU, &limit);
}

[[noreturn]] void Serve(int socket) {
    for (int sig : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP, SIGPIPE, SIGINT, SIGTERM,
                    SIGXCPU})
        std::signal(sig, SIG_DFL);
#if MESHES_SANITIZED
    __sanitizer_set_death_callback(nullptr);
#endif
    rlimit noCore{0, 0};   // a crash leaves no core file behind
    setrlimit(RLIMIT_CORE, &noCore);
    int null = open("/dev/null", O_RDWR);
    if (null < 0 || dup2(socket, 3) != 3) _exit(1);
    for (int fd = 0; fd < 3; ++fd) dup2(null, fd);
    if (close_range(4, ~0U, 0) != 0)
        for (int fd = 4; fd < 1024; ++fd) close(fd);
    std::string request, cwd;
    bool late;
    while (ReceivePacket(3, request, -1, late)) {
        Unpacker u(request);
        std::string dir, hlsl, fileName, entry, profile, arguments;
        int line;
        if (!u.Text(dir) || !u.Text(hlsl) || !u.Text(fileName) || !u.Int(line) || !u.Text(entry) ||
            !u.Text(profile) || !u.Text(arguments))
            _exit(1);
        // Includes are found from the parent's working folder.
        if (dir != cwd && chdir(dir.c_str()) == 0) cwd = dir;
        HlslStage stage;
        std::string log;
        LimitProcessorTime();
        bool ok = CompileStages(hlsl, fileName, line, entry, profile, arguments, stage, log);
        if (!SendPacket(3, PackResult(ok, stage, log))) _exit(1);
    }
    _exit(0);   // the parent closed its end
}

void StopServer(CompileServer& server, int& status) {
    close(server.socket);
    kill(server.pid, SIGKILL);
    while (waitpid(server.pid, &status, 0) < 0 && errno == EINTR) {
    }
    server = CompileServer();
}

// Forks the server from a thread whose stack the nesting limits fit, so that the server's only
// thread has that stack.
bool StartServer(CompileServer& server) {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return false;
    struct Fork {
        int socket;
        pid_t pid;
    } job{pair[1], -1};
    auto Run = [](void* p) -> void* {
        Fork& f = *static_cast<Fork*>(p);
        f.pid = fork();
        if (f.pid == 0) Serve(f.socket);
        return nullptr;
    };
    pthread_attr_t attr;
    pthread_t thread;
    bool started = pthread_attr_init(&attr) == 0 &&
                   pthread_attr_setstacksize(&attr, kCompileStack) == 0 &&
                   pthread_create(&thread, &attr, Run, &job) == 0;
    pthread_attr_destroy(&attr);
    if (started) pthread_join(thread, nullptr);
    close(pair[1]);
    if (job.pid < 0) {
        close(pair[0]);
        return false;
    }
    server.pid = job.pid;
    server.socket = pair[0];
    return true;
}

}  // namespace

bool CompileInServer(const std::string& hlsl, const std::string& fileName, int line,
                     const std::string& entry, const std::string& profile,
                     const std::string& arguments, HlslStage& out, std::string& log) {
    const std::string where = line > 0 ? fileName + "(" + std::to_string(line) + ")" : fileName;
    out = HlslStage();
    char dir[4096];
    Packet request;
    request.Text(getcwd(dir, sizeof dir) ? dir : ".");
    request.Text(hlsl);
    request.Text(fileName);
    request.Word(static_cast<uint32_t>(line));
    request.Text(entry);
    request.Text(profile);
    request.Text(arguments);

    std::lock_guard<std::mutex> lock(ServerMutex());
    CompileServer& server = Server();
    if (server.pid < 0 && !StartServer(server)) {
        log += where + ": error: no process for the shader compiler\n";
        return false;
    }
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    long long deadline = now.tv_sec * 1000LL + now.tv_nsec / 1000000 + kAnswerSeconds * 1000LL;
    std::string reply;
    bool late = false, ok = false;
    std::string own;
    if (SendPacket(server.socket, request.Bytes()) && ReceivePacket(server.socket, reply, deadline, late) &&
        UnpackResult(reply, ok, out, own)) {
        log += own;
        return ok;
    }
    int status = 0;
    StopServer(server, status);
    out = HlslStage();
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU)
        log += where + ": error: '" + entry + "': the shader compiler did not finish in " +
               std::to_string(kCompileSeconds) + " s\n";
    else if (late)
        log += where + ": error: '" + entry + "': the shader compiler gave no answer in " +
               std::to_string(kAnswerSeconds) + " s\n";
    else if (WIFSIGNALED(status) && WTERMSIG(status) != SIGKILL)
        log += where + ": error: '" + entry + "': the shader compiler failed on this source (signal " +
               std::to_string(WTERMSIG(status)) + ")\n";
    else
        log += where + ": error: '" + entry + "': the shader compiler failed on this source\n";
    return false;
}

}  // namespace hlsl
