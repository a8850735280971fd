// NotifySystemd: the state line reaches the socket named by NOTIFY_SOCKET,
// and nothing is sent without one.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/posix/SystemdNotify.h"
#include "support/TestSupport.h"

using nocturo::platform::NotifySystemd;

TEST(SystemdNotify, NothingIsSentWithoutNotifySocket) {
    unsetenv("NOTIFY_SOCKET");
    EXPECT_FALSE(NotifySystemd("READY=1"));
}

#if NOCTURO_HAVE_SDBUS
TEST(SystemdNotify, ReadyAndStoppingReachTheSocket) {
    nocturo::test::TempDir dir;
    const std::string path = dir / "notify";
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof addr.sun_path);
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    setenv("NOTIFY_SOCKET", path.c_str(), 1);
    EXPECT_TRUE(NotifySystemd("READY=1"));
    EXPECT_TRUE(NotifySystemd("STOPPING=1"));
    unsetenv("NOTIFY_SOCKET");
    char buf[64] = {};
    ssize_t n = ::recv(fd, buf, sizeof buf - 1, MSG_DONTWAIT);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), "READY=1");
    n = ::recv(fd, buf, sizeof buf - 1, MSG_DONTWAIT);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), "STOPPING=1");
    ::close(fd);
}
#endif
