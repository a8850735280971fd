#pragma once
// A client of a test's own X server that makes windows for the program to
// find. libX11 is loaded at run time, as the program itself loads it.
#include <memory>
#include <string>
#include <vector>

namespace nocturo::test {

class X11TestClient {
public:
    explicit X11TestClient(const std::string& display);
    ~X11TestClient();
    X11TestClient(const X11TestClient&) = delete;
    X11TestClient& operator=(const X11TestClient&) = delete;

    // False without libX11, its headers at build time, or the server.
    bool connected() const;
    // A mapped window below `parent` (0: the root window), titled through
    // WM_NAME and _NET_WM_NAME as far as each is not empty.
    unsigned long createWindow(const std::string& wmName, const std::string& netWmName, unsigned long parent = 0);
    // Sets the root window's _NET_CLIENT_LIST, as a window manager would.
    void setClientList(const std::vector<unsigned long>& windows);
    // Whether the window is mapped (asked of the server, after the requests
    // of everyone else have been carried out).
    bool mapped(unsigned long window);

private:
    struct Xlib;
    std::unique_ptr<Xlib> x_;
};

}  // namespace nocturo::test
