#pragma once
// A private X server (Xvfb) for one test, on a display number of its own.
#include <sys/types.h>

#include <string>

namespace nocturo::test {

class PrivateXServer {
public:
    // Starts Xvfb from PATH; ready() tells whether it came up.
    PrivateXServer();
    ~PrivateXServer();
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    bool ready() const { return ready_; }
    // ":<number>", for DISPLAY.
    const std::string& display() const { return display_; }
    // Ends the server (the destructor does it too).
    void stop();

private:
    pid_t pid_ = -1;
    bool ready_ = false;
    std::string display_;
};

}  // namespace nocturo::test
