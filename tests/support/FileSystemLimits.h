#pragma once

#include <csignal>
#include <functional>
#include <grp.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// While it lives, files cannot grow to limit bytes: writes fail as on a full disk (EFBIG,
// "File too large") instead of the process being killed.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t limit) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved);
        const rlimit lowered{limit, saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved); }
    rlimit saved{};
};

// Runs body as an ordinary user: in a child process as nobody when this one is root (root may
// write any file, which hides what a user meets), else here. Returns body's result, -1 when
// the child could not become nobody or died.
inline int AsOrdinaryUser(const std::function<int()>& body) {
    if (::geteuid() != 0) {
        return body();
    }
    const passwd* nobody = ::getpwnam("nobody");
    if (!nobody) {
        return -1;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(nobody->pw_gid) != 0 ||
            ::setuid(nobody->pw_uid) != 0) {
            ::_exit(255);
        }
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) != 255 ? WEXITSTATUS(status) : -1;
}
