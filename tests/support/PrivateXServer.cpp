#include "support/PrivateXServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>

namespace nocturo::test {

// Xvfb chooses a free display number itself and writes it to the pipe once
// it accepts clients (-displayfd): two tests starting servers at the same
// moment never end up on one display.
PrivateXServer::PrivateXServer() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ < 0) {
        close(fds[0]);
        close(fds[1]);
        return;
    }
    if (pid_ == 0) {
        // Do not outlive a test program that dies.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        dup2(devnull, 2);
        dup2(fds[1], 3);  // without close-on-exec
        execlp("Xvfb", "Xvfb", "-displayfd", "3", "-nolisten", "tcp", "-screen", "0", "640x480x24",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    for (int waited = 0; waited < 10000;) {
        if (poll(&p, 1, 100) <= 0) {
            waited += 100;
            continue;
        }
        char c;
        if (read(fds[0], &c, 1) != 1) break;  // it ended without a display
        if (c == '\n') break;
        if (std::isdigit(static_cast<unsigned char>(c))) number += c;
    }
    close(fds[0]);
    if (!number.empty()) {
        display_ = ":" + number;
        ready_ = true;
    }
}

PrivateXServer::~PrivateXServer() { stop(); }

void PrivateXServer::stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = 0;
}

}  // namespace nocturo::test
