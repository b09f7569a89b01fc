#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <stdexcept>

#include <gtest/gtest.h>

#include "common/error.h"
#include "common/sysutils.h"
#include "tests/support/TempDir.h"

namespace {

std::string readAndRemove(const std::string& path)
{
    const std::string text = readWholeFile(path);
    unlink(path.c_str());
    return text;
}

std::string tempFile(const char* what)
{
    std::string path = std::string("/tmp/kw-child-") + what + "-XXXXXX";
    int fd = mkstemp(&path[0]);
    if (fd < 0)
        throw std::runtime_error("mkstemp failed");
    close(fd);
    return path;
}

void die(const char* what)
{
    dprintf(2, "runInChild: %s: %s\n", what, strerror(errno));
    _exit(98);
}

void enterNamespaces(const ChildOptions& options, const std::string& layers)
{
    const bool mounts =
        !options.tmpfs.empty() || !options.binds.empty() || !options.overlays.empty() || options.private_ipc;
    int flags = (mounts ? CLONE_NEWNS : 0) | (options.private_ipc ? CLONE_NEWIPC : 0) |
                (options.private_net ? CLONE_NEWNET : 0) | (options.hostname.empty() ? 0 : CLONE_NEWUTS);
    if (flags == 0)
        return;
    if (unshare(flags) != 0)
        die("unshare");
    if (!options.hostname.empty() && sethostname(options.hostname.data(), options.hostname.size()) != 0)
        die("sethostname");
    if (!mounts)
        return;
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        die("mount --make-rprivate /");
    // Before any tmpfs, which may cover the layers' directory.
    for (size_t i = 0; i < options.overlays.size(); ++i) {
        const std::string& dir = options.overlays[i];
        const std::string upper = layers + "/upper" + std::to_string(i);
        const std::string work = layers + "/work" + std::to_string(i);
        if (mkdir(upper.c_str(), 0755) != 0 || mkdir(work.c_str(), 0755) != 0)
            die("mkdir overlay layers");
        const std::string data = "lowerdir=" + dir + ",upperdir=" + upper + ",workdir=" + work;
        if (mount("overlay", dir.c_str(), "overlay", 0, data.c_str()) != 0)
            die(dir.c_str());
    }
    const std::string tmpfs_data = "mode=0755" + (options.tmpfs_size.empty() ? "" : ",size=" + options.tmpfs_size);
    for (const std::string& dir : options.tmpfs)
        if (mount("tmpfs", dir.c_str(), "tmpfs", 0, tmpfs_data.c_str()) != 0)
            die(dir.c_str());
    // A tmpfs may now hide the working directory, which some tools (pyenv's shims) need to reach.
    if (!options.tmpfs.empty() && chdir("/") != 0)
        die("chdir /");
    for (const auto& bind : options.binds)
        if (mount(bind.first.c_str(), bind.second.c_str(), nullptr, MS_BIND, nullptr) != 0)
            die(bind.second.c_str());
}

// The write end of the pipe that becomes the child's standard input, or -1 without one.
class InputPipe {
public:
    explicit InputPipe(const ChildOptions& options) : fds{-1, -1}
    {
        if ((options.input || options.input_stays_open) && pipe(fds) != 0)
            throw std::runtime_error("pipe failed");
    }
    ~InputPipe()
    {
        for (int fd : fds)
            if (fd >= 0)
                close(fd);
    }
    InputPipe(const InputPipe&) = delete;
    InputPipe& operator=(const InputPipe&) = delete;

    // In the child, which must not keep the write end: its reads would never meet the end.
    void becomeStandardInput()
    {
        if (fds[0] < 0)
            return;
        if (dup2(fds[0], 0) < 0)
            die("dup2 standard input");
        close(fds[0]);
        close(fds[1]);
    }
    // In the parent. A child that ends without reading everything must not end the test by SIGPIPE.
    void feed(const ChildOptions& options)
    {
        if (fds[0] < 0)
            return;
        close(fds[0]);
        fds[0] = -1;
        const std::string text = options.input.value_or("");
        SigpipeBlock block;
        for (size_t done = 0; done < text.size();) {
            const ssize_t n = write(fds[1], text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += n;
        }
        if (!options.input_stays_open) {
            close(fds[1]);
            fds[1] = -1;
        }
    }

private:
    int fds[2];
};

}  // namespace

ChildResult runInChild(const std::function<int()>& body, const ChildOptions& options)
{
    const std::string out_path = tempFile("out");
    const std::string err_path = tempFile("err");
    std::unique_ptr<TempDir> layers;
    if (!options.overlays.empty())
        layers.reset(new TempDir("/tmp"));
    InputPipe input(options);
    std::cout.flush();
    std::cerr.flush();
    fflush(nullptr);

    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        int out = open(out_path.c_str(), O_WRONLY | O_TRUNC);
        int err = open(err_path.c_str(), O_WRONLY | O_TRUNC);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
            _exit(97);
        close(out);
        close(err);
        input.becomeStandardInput();
        enterNamespaces(options, layers ? layers->path() : "");
        for (const auto& var : options.env) {
            if (var.second)
                setenv(var.first.c_str(), var.second, 1);
            else
                unsetenv(var.first.c_str());
        }
        int code = 99;
        try {
            code = body();
        } catch (const error& e) {
            std::cerr << "uncaught error: " << e.getText();
        } catch (const std::exception& e) {
            std::cerr << "uncaught exception: " << e.what();
        }
        std::cout.flush();
        std::cerr.flush();
        fflush(nullptr);
        _exit(code);
    }

    input.feed(options);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ChildResult result;
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = readAndRemove(out_path);
    result.err = readAndRemove(err_path);
    return result;
}

ChildResult runChecksInChild(const std::function<void()>& body, const ChildOptions& options)
{
    return runInChild(
        [&body] {
            body();
            return ::testing::Test::HasFailure() ? 1 : 0;
        },
        options);
}

ChildOptions privateProgressOptions()
{
    ChildOptions options;
    options.tmpfs = {"/tmp"};
    options.private_ipc = true;
    return options;
}

ChildOptions overlayRootOptions()
{
    ChildOptions options = privateProgressOptions();
    options.overlays = {"/etc", "/usr", "/var", "/root"};
    return options;
}

std::string shellOutput(const std::string& command)
{
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        throw std::runtime_error("popen failed: " + command);
    std::string text;
    char block[4096];
    size_t n;
    while ((n = fread(block, 1, sizeof(block), pipe)) > 0)
        text.append(block, n);
    pclose(pipe);
    return text;
}
