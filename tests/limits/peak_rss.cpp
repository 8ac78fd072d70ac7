// peak_rss FILE PROGRAM [ARGUMENTS...]: runs PROGRAM and writes its peak resident memory in
// KiB to FILE; exits as PROGRAM did. A process forked from a large test inherits that
// test's memory in its own peak, so the test measures the tool through this small one.
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv) {
    const pid_t child = argc < 3 ? -1 : fork();
    if (child == 0) {
        execv(argv[2], argv + 2);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child) {
        return 70;
    }
    if (FILE* out = std::fopen(argv[1], "w")) {
        std::fprintf(out, "%ld\n", usage.ru_maxrss);
        std::fclose(out);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
