#pragma once
// The control channel on Windows: a named pipe carrying one JSON object per
// line (platform/common/ControlJson.h). A client writes a request line and
// reads the reply line; after {"op":"watch"} it also gets an event line
// for each change of the state.
//
//   \\.\pipe\io.github.nocturo.nocturo-<session id>   the program in a user's session;
//                                                     only that user (and SYSTEM) may open it
//   \\.\pipe\io.github.nocturo.nocturo-service        the system service; every local user may
//                                                     ask for the state, only administrators
//                                                     may change anything
//
// The service's pipe carries both kinds of client, so the server asks an
// IPipeAuthority per changing request; the real one checks the client's
// token for the Administrators group.
//
// The server runs on the event loop's thread with overlapped I/O whose
// events the loop watches (IEventLoop::addHandleWatch): no thread of its
// own, no polling.
#include <windows.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/IControl.h"
#include "platform/IEventLoop.h"

namespace nocturo::platform::win32 {

// The pipe of this scope: the one of the caller's session (by
// ProcessIdToSessionId) or the service's.
std::wstring ControlPipeName(ControlScope scope);

// Decides whether the client at the other end of a pipe may change
// anything on the service's pipe.
class IPipeAuthority {
public:
    virtual ~IPipeAuthority() = default;
    // Called on the loop's thread after the client's request was read.
    // False, with the reason in why when it could not tell, for a client
    // that is not an administrator.
    virtual bool clientIsAdministrator(HANDLE pipe, std::string& why) = 0;
};
// The real check: ImpersonateNamedPipeClient, then CheckTokenMembership for
// the Administrators group on the client's token.
std::unique_ptr<IPipeAuthority> MakeTokenAuthority();

class PipeControlServer : public IControlServer {
public:
    struct Options {
        std::wstring name;     // the full pipe name
        bool service = false;  // the service's pipe: open to local users, changes checked by authority
        std::shared_ptr<IPipeAuthority> authority;  // service only; empty: MakeTokenAuthority()
        std::size_t maxClients = 16;                // connected clients at once (one more waits its turn)
        std::size_t maxLine = 64 * 1024;            // a longer request line ends the connection
        std::size_t maxPending = 1024 * 1024;       // unread output that ends the connection
    };
    PipeControlServer(IEventLoop& loop, Options options);
    ~PipeControlServer() override;
    PipeControlServer(const PipeControlServer&) = delete;
    PipeControlServer& operator=(const PipeControlServer&) = delete;

    // False, with why, when the pipe exists already (another copy serves
    // it, or someone else took the name) or the loop cannot watch handles.
    bool start(Handler handler, std::string& why) override;
    void stateChanged(const ControlState& state) override;
    void stop() override;

    // Clients connected now (for tests).
    std::size_t clientCount() const;

    struct Connection;

private:
    void listen();
    void onReadEvent(const std::shared_ptr<Connection>& c);
    void onWriteEvent(const std::shared_ptr<Connection>& c);
    void startRead(const std::shared_ptr<Connection>& c);
    void serveLine(const std::shared_ptr<Connection>& c, std::string_view line);
    void send(const std::shared_ptr<Connection>& c, const std::string& line);
    void startWrite(const std::shared_ptr<Connection>& c);
    void close(const std::shared_ptr<Connection>& c);
    ControlState currentState();

    IEventLoop& loop_;
    Options options_;
    Handler handler_;
    bool started_ = false;
    bool everCreated_ = false;
    std::shared_ptr<Connection> listener_;
    std::vector<std::shared_ptr<Connection>> clients_;
    PSECURITY_DESCRIPTOR security_ = nullptr;
    std::string lastListenError_;
    ControlState lastState_;  // from the last reply or stateChanged
};

// A blocking line connection to a pipe, for the client and for tests that
// speak to the server line by line.
class PipeLineClient {
public:
    PipeLineClient() = default;
    ~PipeLineClient();
    PipeLineClient(const PipeLineClient&) = delete;
    PipeLineClient& operator=(const PipeLineClient&) = delete;

    // Opens the pipe, waiting up to timeoutMs while every instance is busy.
    // NoneRunning: no such pipe; NoAnswer: busy all that time, or the pipe
    // refused us (why says which).
    IControlClient::Reach connect(const std::wstring& name, int timeoutMs, std::string& why);
    // Writes line and a newline. False (with why) on a time-out or a broken pipe.
    bool writeLine(std::string_view line, int timeoutMs, std::string& why);
    // Writes data as it is, without a newline.
    bool write(std::string_view data, int timeoutMs, std::string& why);
    // Reads up to the next newline (not included; a trailing CR is kept).
    // False on a time-out, the end of the pipe or a line longer than maxLine.
    bool readLine(std::string& line, int timeoutMs, std::string& why, std::size_t maxLine = 64 * 1024);
    void close();
    HANDLE handle() const { return pipe_; }

private:
    bool waitIo(OVERLAPPED& ov, DWORD& done, int timeoutMs, std::string& why, const char* what);
    HANDLE pipe_ = INVALID_HANDLE_VALUE;
    HANDLE event_ = nullptr;
    std::string buffered_;
};

// Whether the program at the server's end of pipe runs as the user this
// process runs as. False, with why, for another user's program (or one
// that cannot be looked at).
bool PipeServerIsThisUser(HANDLE pipe, std::string& why);

class PipeControlClient : public IControlClient {
public:
    // Asked once connected, before anything is written: false ends the call
    // with NoAnswer and why.
    using ServerCheck = std::function<bool(HANDLE pipe, std::string& why)>;
    explicit PipeControlClient(std::wstring name, int timeoutMs = 5000, ServerCheck check = {})
        : name_(std::move(name)), timeoutMs_(timeoutMs), check_(std::move(check)) {}
    Reach call(const ControlRequest& request, ControlReply& reply, std::string& why) override;

private:
    std::wstring name_;
    int timeoutMs_;
    ServerCheck check_;
};

}  // namespace nocturo::platform::win32
