// ambrel-status's operating system on Linux and other POSIX systems.
#include "host.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

volatile sig_atomic_t g_stop_signal;
sigset_t g_wait_mask;        // the mask while waiting: the stop signals let through
bool g_watch_output;

void note_stop(int signal_number)
{
    g_stop_signal = signal_number;
}

std::string system_error(const std::string &what)
{
    return what + ": " + std::strerror(errno);
}

bool write_all(int fd, const std::string &text)
{
    const char *at = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        ssize_t n = write(fd, at, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        at += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::vector<std::string> utf8_arguments(int argc, char **argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

void prepare_process()
{
    signal(SIGPIPE, SIG_IGN);
}

void *load_library(const std::string &file, std::string *error)
{
    void *library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        *error = dlerror();
    }
    return library;
}

any_function find_function(void *library, const char *name)
{
    return reinterpret_cast<any_function>(dlsym(library, name));
}

void unload_library(void *library)
{
    dlclose(library);
}

output_result write_standard_output(const std::string &text, std::string *error)
{
    if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0) {
        return output_result::written;
    }
    if (errno == EPIPE) {
        return output_result::closed;
    }
    *error = system_error("cannot write to standard output");
    return output_result::failed;
}

bool replace_file(const std::string &path, const std::string &text, std::string *error)
{
    std::size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) {
        *error = "cannot write " + path + ": it names a folder";
        return false;
    }
    struct stat existing;
    bool exists = stat(path.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        *error = "cannot write " + path + ": it is not a regular file";
        return false;
    }

    // Hidden and without the .prom ending, so that no collector reads it half written.
    std::string temporary = folder + "/." + name + ".XXXXXX";
    int fd = mkostemp(&temporary[0], O_CLOEXEC);
    if (fd < 0) {
        *error = system_error("cannot write " + path + ": cannot create a file in " + folder);
        return false;
    }
    mode_t mask = umask(0);
    umask(mask);
    mode_t mode = exists ? existing.st_mode & 07777 : 0666 & ~mask;
    bool ok = fchmod(fd, mode) == 0;
    if (exists && geteuid() == 0 && fchown(fd, existing.st_uid, existing.st_gid) != 0) {
        // The owner is kept where it can be; the permissions are what count.
    }
    ok = ok && write_all(fd, text) && fsync(fd) == 0;
    if (!ok) {
        *error = system_error("cannot write " + temporary);
    }
    if (close(fd) != 0 && ok) {
        ok = false;
        *error = system_error("cannot write " + temporary);
    }
    if (ok && rename(temporary.c_str(), path.c_str()) != 0) {
        ok = false;
        *error = system_error("cannot replace " + path);
    }
    if (!ok) {
        unlink(temporary.c_str());
    }
    return ok;
}

// --- Watching -----------------------------------------------------------------

void start_watching(bool watch_output)
{
    g_watch_output = watch_output;
    struct sigaction action {};
    action.sa_handler = note_stop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;   // no SA_RESTART: the wait must end
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // Held back while the library is asked and an answer written, so that a
    // stop never cuts one; let through only while waiting.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigprocmask(SIG_BLOCK, &stops, &g_wait_mask);
    sigdelset(&g_wait_mask, SIGINT);
    sigdelset(&g_wait_mask, SIGTERM);
}

std::int64_t monotonic_ms()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

wait_result wait_until(std::int64_t deadline_ms)
{
    for (;;) {
        if (g_stop_signal != 0) {
            return wait_result::stopped;
        }
        std::int64_t left = deadline_ms - monotonic_ms();
        if (left <= 0) {
            return wait_result::deadline;
        }
        timespec timeout{static_cast<time_t>(left / 1000), static_cast<long>(left % 1000) * 1000000};
        // No events asked for: poll still reports a reader that went away.
        pollfd output{g_watch_output ? STDOUT_FILENO : -1, 0, 0};
        int ready = ppoll(&output, 1, &timeout, &g_wait_mask);
        if (ready > 0 && (output.revents & (POLLERR | POLLHUP)) != 0) {
            return wait_result::output_closed;
        }
    }
}
