#ifndef KW_COMMON_DOWNLOADER_H
#define KW_COMMON_DOWNLOADER_H

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "installer/ProgressValueRender.h"

// The transfer of one file from a list of mirrors, rotating over them and retrying with waits.
// Usage: create(), addMirror() per mirror, optionally setAuth(), then downloadFile() or download().
class Downloader {
public:
    // The process-wide proxy that every transfer applies when it starts.
    struct Proxy {
        std::string host;  // empty: no proxy
        int port = 3128;
        std::string user;  // empty: no proxy credentials
        std::string password;
    };

    typedef ProgressValue<unsigned long> counter_t;
    // Sleeps one second of the wait between two attempts.
    typedef void (*second_sleeper_t)();

    static std::unique_ptr<Downloader> create(const std::string& path);

    virtual ~Downloader();
    Downloader(const Downloader&) = delete;
    Downloader& operator=(const Downloader&) = delete;

    void addMirror(const std::string& url);
    void setAuth(const std::string& user, const std::string& password);
    // Creates the file's missing parent directories and downloads into the file.
    void downloadFile(const std::string& local_path);
    // Writes the file's bytes at the stream's current position, or throws.
    virtual void download(std::ostream& out) = 0;

    static void setProxy(const std::string& host, int port);
    static void setProxyAuth(const std::string& user, const std::string& password);
    static const Proxy& getProxy();

    // Attempts per mirror list of every download started afterwards, at least 1; the settings of
    // the run push it here (3 until they do).
    static void setRetryCount(int count);
    static int getRetryCount();

    // Replaces the one-second sleep of the waits between attempts (null restores it), so that tests
    // can run the retry rule without waiting.
    static void setSecondSleeper(second_sleeper_t sleeper);

    // value: retries made so far; maximum: the run's retry count; text: retry notice or last error.
    boost::shared_ptr<counter_t> retries;
    // value: bytes of the running attempt; maximum: the expected size, 0 while unknown.
    boost::shared_ptr<counter_t> progress;

protected:
    explicit Downloader(const std::string& path);

    // Sleeps one second of a wait, through the sleeper set for tests if any.
    static void sleepOneSecond();

    std::string path;                  // relative to each mirror
    std::vector<std::string> mirrors;  // each ends in "/"; rotation order
    std::string user;
    std::string password;
};

#endif
