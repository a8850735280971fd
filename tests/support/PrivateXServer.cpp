#include "support/PrivateXServer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace nocturo::test {

PrivateXServer::PrivateXServer() {
    for (int n = 170; n < 200 && pid_ < 0; ++n) {
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
        const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
        if (access(socket.c_str(), F_OK) == 0 || access(lock.c_str(), F_OK) == 0) continue;
        display_ = ":" + std::to_string(n);
        const pid_t parent = getpid();
        pid_ = fork();
        if (pid_ == 0) {
            // Do not outlive a test program that dies.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent) _exit(127);
            const int devnull = open("/dev/null", O_WRONLY);
            dup2(devnull, 1);
            dup2(devnull, 2);
            execlp("Xvfb", "Xvfb", display_.c_str(), "-nolisten", "tcp", "-screen", "0", "640x480x24",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 100 && access(socket.c_str(), F_OK) != 0; ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {  // it gave up: another one took the number meanwhile
                pid_ = -1;
                break;
            }
            usleep(50000);
        }
        if (pid_ > 0) ready_ = access(socket.c_str(), F_OK) == 0;
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
