#ifndef KW_TESTS_SUPPORT_LOOPBACKSERVER_H
#define KW_TESTS_SUPPORT_LOOPBACKSERVER_H

#include <sys/types.h>

#include <string>
#include <vector>

// An HTTP server process on 127.0.0.1 for tests, on a port of its own choosing; it is killed when
// the object goes, and with the test process if that dies first.
class LoopbackServer {
public:
    // python3 -m http.server serving the directory.
    static LoopbackServer files(const std::string& dir);
    // tests/support/loopback_http.py serving the directory, with its scripted paths, appending every
    // request to the log file (one JSON object per line).
    static LoopbackServer scripted(const std::string& dir, const std::string& log);

    LoopbackServer(LoopbackServer&& other) noexcept;
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;
    ~LoopbackServer();

    int port() const { return port_; }
    // "http://127.0.0.1:<port>/"
    std::string url() const;

    // A loopback port on which nothing listens: connections to it are refused.
    static int deadPort();

private:
    LoopbackServer(const std::vector<std::string>& argv, bool port_alone);

    pid_t pid = -1;
    int port_ = 0;
    int output_fd = -1;  // the read end of the server's standard output
};

// One value per request that the scripted server logged, in order: the request target ("target") or
// a request header; "-" for a request without it.
std::vector<std::string> loggedRequestValues(const std::string& log, const std::string& name);

#endif
