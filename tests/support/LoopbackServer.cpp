#include "tests/support/LoopbackServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <stdexcept>

#include <boost/regex.hpp>

#include "tests/support/TempDir.h"

namespace {

// Generous: a loaded machine may take long to start an interpreter.
const int start_timeout_ms = 30000;

// The system's interpreter (scripts/install-deps.sh installs it), not a wrapper found first on PATH.
const char* const python = "/usr/bin/python3";

}  // namespace

LoopbackServer LoopbackServer::files(const std::string& dir)
{
    return LoopbackServer({python, "-u", "-m", "http.server", "0", "--bind", "127.0.0.1", "--directory", dir}, false);
}

LoopbackServer LoopbackServer::scripted(const std::string& dir, const std::string& log)
{
    // Beside this source: the test data directory's sibling.
    std::string script = KW_TEST_DATA_DIR;
    script = script.substr(0, script.rfind('/')) + "/support/loopback_http.py";
    return LoopbackServer({python, "-u", script, dir, log}, true);
}

LoopbackServer::LoopbackServer(const std::vector<std::string>& argv, bool port_alone)
{
    int fds[2];
    if (pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t parent = getpid();
    pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        // Dies with the test process; its own output goes to the pipe, its chatter nowhere.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(1);
        dup2(fds[1], 1);
        if (!port_alone) {
            // http.server logs every request there.
            int null = open("/dev/null", O_WRONLY);
            dup2(null, 2);
        }
        close(fds[0]);
        close(fds[1]);
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(fds[1]);

    // The port: alone on the first line, or in "Serving HTTP on 127.0.0.1 port N (...".
    const boost::regex wanted(port_alone ? "^(\\d+)\\n" : "port (\\d+) .*\\n");
    std::string output;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(start_timeout_ms);
    boost::smatch match;
    while (!boost::regex_search(output, match, wanted)) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p = {fds[0], POLLIN, 0};
        char buffer[256];
        ssize_t n = 0;
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0 ||
            (n = read(fds[0], buffer, sizeof(buffer))) <= 0) {
            close(fds[0]);
            throw std::runtime_error("the loopback server did not start: " + output);
        }
        output.append(buffer, static_cast<size_t>(n));
    }
    port_ = std::stoi(match[1]);
    // Kept open while the server runs: a write to a closed pipe would end it.
    output_fd = fds[0];
}

LoopbackServer::LoopbackServer(LoopbackServer&& other) noexcept
    : pid(other.pid), port_(other.port_), output_fd(other.output_fd)
{
    other.pid = -1;
    other.output_fd = -1;
}

LoopbackServer::~LoopbackServer()
{
    if (pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    if (output_fd >= 0)
        close(output_fd);
}

std::string LoopbackServer::url() const
{
    return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

int LoopbackServer::deadPort()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("no free loopback port");
    close(fd);
    return ntohs(address.sin_port);
}

std::vector<std::string> loggedRequestValues(const std::string& log, const std::string& name)
{
    std::vector<std::string> values;
    std::istringstream lines(readWholeFile(log));
    std::string line;
    const boost::regex field("\"" + name + "\": \"([^\"]*)\"");
    boost::smatch match;
    while (std::getline(lines, line))
        values.push_back(boost::regex_search(line, match, field) ? std::string(match[1]) : std::string("-"));
    return values;
}
