#include "platform/win32/PipeControl.h"

#include <sddl.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <utility>

#include "platform/ControlChannel.h"
#include "platform/common/ControlJson.h"
#include "platform/win32/WinText.h"

namespace nocturo::platform::win32 {

namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kPipeBuffer = 64 * 1024;

// What a local user who is not an administrator may do with the service's
// pipe: read and write data and attributes, but not create an instance of
// it (FILE_CREATE_PIPE_INSTANCE), which would let another program serve
// the name.
constexpr const wchar_t* kUserPipeRights = L"0x12018b";  // FILE_GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES

std::string WhyOf(DWORD code, const std::string& what) { return ErrorFromCode(code, what).what(); }

int MsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(std::min<long long>(left, 0x7FFFFFFF));
}

// The SID of the user a process runs as, in its string form.
std::wstring ProcessUserSid(HANDLE process) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token)) throw LastError("OpenProcessToken");
    struct CloseToken {
        HANDLE h;
        ~CloseToken() { CloseHandle(h); }
    } closeToken{token};
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::string buffer(size ? size : 1, '\0');
    if (!GetTokenInformation(token, TokenUser, buffer.data(), size, &size))
        throw LastError("GetTokenInformation(TokenUser)");
    const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(user->User.Sid, &text)) throw LastError("ConvertSidToStringSidW");
    std::wstring sid(text);
    LocalFree(text);
    return sid;
}

class TokenAuthority : public IPipeAuthority {
public:
    bool clientIsAdministrator(HANDLE pipe, std::string& why) override {
        if (!ImpersonateNamedPipeClient(pipe)) {
            why = WhyOf(GetLastError(), "ImpersonateNamedPipeClient");
            return false;
        }
        HANDLE token = nullptr;
        const BOOL opened = OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token);
        const DWORD openError = GetLastError();
        // Never go on as the client.
        if (!RevertToSelf()) std::terminate();
        if (!opened) {
            why = WhyOf(openError, "OpenThreadToken of the pipe's client");
            return false;
        }
        std::array<BYTE, SECURITY_MAX_SID_SIZE> sid{};
        DWORD sidSize = static_cast<DWORD>(sid.size());
        BOOL member = FALSE;
        bool ok = CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid.data(), &sidSize) &&
                  CheckTokenMembership(token, sid.data(), &member);
        const DWORD error = GetLastError();
        CloseHandle(token);
        if (!ok) {
            why = WhyOf(error, "CheckTokenMembership for Administrators");
            return false;
        }
        return member != FALSE;
    }
};

}  // namespace

std::wstring ControlPipeName(ControlScope scope) {
    std::wstring name = L"\\\\.\\pipe\\" + Widen(kAppId) + L"-";
    if (scope == ControlScope::System) return name + L"service";
    DWORD session = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) throw LastError("ProcessIdToSessionId");
    return name + std::to_wstring(session);
}

std::unique_ptr<IPipeAuthority> MakeTokenAuthority() { return std::make_unique<TokenAuthority>(); }

// ---- the server ------------------------------------------------------------------------

struct PipeControlServer::Connection {
    HANDLE pipe = INVALID_HANDLE_VALUE;
    HANDLE readEvent = nullptr;   // the connect, then each read
    HANDLE writeEvent = nullptr;  // each write
    OVERLAPPED readOv{};
    OVERLAPPED writeOv{};
    bool connected = false;
    bool connectedAlready = false;  // the client came between CreateNamedPipeW and ConnectNamedPipe
    bool readPending = false;
    bool writing = false;
    bool closing = false;  // no more requests: closes once its output is written
    bool closed = false;
    bool watching = false;
    std::array<char, 4096> buffer{};
    std::string in;
    std::string out;       // waiting to be written
    std::string inFlight;  // being written
};

PipeControlServer::PipeControlServer(IEventLoop& loop, Options options) : loop_(loop), options_(std::move(options)) {
    if (options_.maxClients < 1) options_.maxClients = 1;
    if (options_.maxClients > PIPE_UNLIMITED_INSTANCES - 1) options_.maxClients = PIPE_UNLIMITED_INSTANCES - 1;
}

PipeControlServer::~PipeControlServer() {
    stop();
    if (security_) LocalFree(security_);
}

bool PipeControlServer::start(Handler handler, std::string& why) {
    if (started_) {
        why = "The control channel is served already.";
        return false;
    }
    if (!handler) {
        why = "The control channel needs a handler.";
        return false;
    }
    try {
        if (!security_) {
            // Protected DACLs: nothing inherited. SYSTEM may always reach the
            // program. The session's pipe admits its user alone; the
            // service's lets local users ask and administrators do anything
            // (the server checks each changing request all the same).
            const std::wstring sddl =
                options_.service
                    ? std::wstring(L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;") + kUserPipeRights + L";;;AU)"
                    : L"D:P(A;;GA;;;SY)(A;;GA;;;" + ProcessUserSid(GetCurrentProcess()) + L")";
            if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &security_,
                                                                      nullptr))
                throw LastError("ConvertStringSecurityDescriptorToSecurityDescriptorW");
        }
        if (options_.service && !options_.authority) options_.authority = MakeTokenAuthority();
    } catch (const std::exception& e) {
        why = e.what();
        return false;
    }
    handler_ = std::move(handler);
    started_ = true;
    everCreated_ = false;
    listen();
    if (!listener_) {
        started_ = false;
        why = lastListenError_;
        return false;
    }
    return true;
}

void PipeControlServer::listen() {
    if (!started_ || listener_ || clients_.size() >= options_.maxClients) return;
    auto c = std::make_shared<Connection>();
    SECURITY_ATTRIBUTES sa{sizeof sa, security_, FALSE};
    // The first instance must be a new pipe: one that exists already is
    // another copy's, or someone else's who took the name.
    const DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (everCreated_ ? 0 : FILE_FLAG_FIRST_PIPE_INSTANCE);
    const DWORD pipeMode = PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS;
    c->pipe = CreateNamedPipeW(options_.name.c_str(), openMode, pipeMode, static_cast<DWORD>(options_.maxClients),
                               kPipeBuffer, kPipeBuffer, 0, &sa);
    if (c->pipe == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        lastListenError_ = error == ERROR_ACCESS_DENIED && !everCreated_
                               ? "Another program serves " + Narrow(options_.name) + " already."
                               : WhyOf(error, "CreateNamedPipeW " + Narrow(options_.name));
        return;  // a later close tries again
    }
    if (!everCreated_) {
        // The same check once more, by count, where the flag is not honoured
        // (wine): a new pipe has this one instance.
        DWORD instances = 0;
        if (GetNamedPipeHandleStateW(c->pipe, nullptr, &instances, nullptr, nullptr, nullptr, 0) && instances > 1) {
            CloseHandle(c->pipe);
            lastListenError_ = "Another program serves " + Narrow(options_.name) + " already.";
            return;
        }
    }
    everCreated_ = true;
    c->readEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    c->writeEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!c->readEvent || !c->writeEvent) {
        lastListenError_ = WhyOf(GetLastError(), "CreateEventW for the control pipe");
        if (c->readEvent) CloseHandle(c->readEvent);
        if (c->writeEvent) CloseHandle(c->writeEvent);
        CloseHandle(c->pipe);
        return;
    }
    c->readOv.hEvent = c->readEvent;
    listener_ = c;
    if (ConnectNamedPipe(c->pipe, &c->readOv)) {
        c->readPending = true;  // completed at once; the event is set
    } else {
        const DWORD error = GetLastError();
        if (error == ERROR_IO_PENDING) {
            c->readPending = true;
        } else if (error == ERROR_PIPE_CONNECTED) {
            c->connectedAlready = true;
            SetEvent(c->readEvent);
        } else {
            lastListenError_ = WhyOf(error, "ConnectNamedPipe");
            listener_ = nullptr;
            c->closed = true;
            CloseHandle(c->readEvent);
            CloseHandle(c->writeEvent);
            CloseHandle(c->pipe);
            return;
        }
    }
    std::weak_ptr<Connection> weak = c;
    const bool watched = loop_.addHandleWatch(c->readEvent, [this, weak] {
        if (auto conn = weak.lock()) onReadEvent(conn);
    });
    if (!watched) {
        lastListenError_ = "This event loop cannot watch the control pipe.";
        started_ = false;  // close() would only listen again
        close(c);
    }
}

void PipeControlServer::onReadEvent(const std::shared_ptr<Connection>& c) {
    if (c->closed) return;
    DWORD done = 0;
    if (!c->connected) {
        if (!c->connectedAlready) {
            if (!GetOverlappedResult(c->pipe, &c->readOv, &done, FALSE)) {
                if (GetLastError() == ERROR_IO_INCOMPLETE) return;
                c->readPending = false;
                close(c);  // the client left before it was taken; listen() opens the next instance
                return;
            }
        }
        c->readPending = false;
        c->connected = true;
        listener_ = nullptr;
        clients_.push_back(c);
        std::weak_ptr<Connection> weak = c;
        loop_.addHandleWatch(c->writeEvent, [this, weak] {
            if (auto conn = weak.lock()) onWriteEvent(conn);
        });
        listen();
        startRead(c);
        return;
    }
    if (!GetOverlappedResult(c->pipe, &c->readOv, &done, FALSE)) {
        if (GetLastError() == ERROR_IO_INCOMPLETE) return;
        c->readPending = false;
        close(c);  // the client closed its end
        return;
    }
    c->readPending = false;
    c->in.append(c->buffer.data(), done);
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = c->in.find('\n', start);
        const std::size_t length = (end == std::string::npos ? c->in.size() : end) - start;
        if (length > options_.maxLine) {
            ControlReply reply;
            reply.status = ControlStatus::BadRequest;
            reply.message = "The request is longer than " + std::to_string(options_.maxLine) + " bytes.";
            reply.state = currentState();
            c->closing = true;
            send(c, ControlReplyToLine(reply));
            break;
        }
        if (end == std::string::npos) break;
        serveLine(c, std::string_view(c->in).substr(start, length));
        start = end + 1;
        if (c->closed || c->closing || !started_) break;
    }
    if (c->closed) return;
    c->in.erase(0, start);
    if (c->closing || !started_) {
        ResetEvent(c->readEvent);
        loop_.removeHandleWatch(c->readEvent);
        if (!c->writing) close(c);
        return;
    }
    startRead(c);
}

void PipeControlServer::startRead(const std::shared_ptr<Connection>& c) {
    ResetEvent(c->readEvent);
    c->readOv = OVERLAPPED{};
    c->readOv.hEvent = c->readEvent;
    c->readPending = true;
    if (!ReadFile(c->pipe, c->buffer.data(), static_cast<DWORD>(c->buffer.size()), nullptr, &c->readOv) &&
        GetLastError() != ERROR_IO_PENDING) {
        c->readPending = false;
        close(c);
    }
}

void PipeControlServer::serveLine(const std::shared_ptr<Connection>& c, std::string_view line) {
    ControlReply reply;
    ControlRequestLine request;
    try {
        request = ControlRequestFromLine(line);
    } catch (const ControlJsonError& e) {
        reply.status = ControlStatus::BadRequest;
        reply.message = e.what();
        reply.state = currentState();
        send(c, ControlReplyToLine(reply));
        return;
    }
    const bool changes = !request.watch && request.request.op != ControlOp::Status;
    if (options_.service && changes) {
        std::string why;
        if (!options_.authority->clientIsAdministrator(c->pipe, why)) {
            reply.status = ControlStatus::Denied;
            reply.message = "Only administrators may change the schedule of the system service.";
            if (!why.empty()) reply.message += " (" + why + ")";
            reply.state = currentState();
            send(c, ControlReplyToLine(reply));
            return;
        }
    }
    if (request.watch) {
        c->watching = true;
        reply.state = currentState();
        send(c, ControlReplyToLine(reply));
        return;
    }
    try {
        auto handler = handler_;  // the handler may stop the server
        reply = handler(request.request);
        lastState_ = reply.state;
    } catch (const std::exception& e) {
        reply.status = ControlStatus::Failed;
        reply.message = e.what();
        reply.state = currentState();
    } catch (...) {
        reply.status = ControlStatus::Failed;
        reply.message = "The program could not carry out the request.";
        reply.state = currentState();
    }
    if (!started_ || c->closed) return;
    send(c, ControlReplyToLine(reply));
}

ControlState PipeControlServer::currentState() {
    // The handler's answer to a status request: the state as it is now,
    // also for a request that went no further.
    try {
        auto handler = handler_;
        ControlReply status = handler(ControlRequest{});
        lastState_ = status.state;
    } catch (...) {
        // What the program said last.
    }
    return lastState_;
}

void PipeControlServer::send(const std::shared_ptr<Connection>& c, const std::string& line) {
    if (c->closed) return;
    c->out += line;
    c->out += '\n';
    if (c->out.size() + c->inFlight.size() > options_.maxPending) {
        close(c);  // a client that does not read its events
        return;
    }
    if (!c->writing) startWrite(c);
}

void PipeControlServer::startWrite(const std::shared_ptr<Connection>& c) {
    if (c->out.empty() || c->closed) return;
    c->inFlight = std::move(c->out);
    c->out.clear();
    ResetEvent(c->writeEvent);
    c->writeOv = OVERLAPPED{};
    c->writeOv.hEvent = c->writeEvent;
    c->writing = true;
    if (!WriteFile(c->pipe, c->inFlight.data(), static_cast<DWORD>(c->inFlight.size()), nullptr, &c->writeOv) &&
        GetLastError() != ERROR_IO_PENDING) {
        c->writing = false;
        close(c);
    }
}

void PipeControlServer::onWriteEvent(const std::shared_ptr<Connection>& c) {
    if (c->closed) return;
    if (!c->writing) {
        ResetEvent(c->writeEvent);
        return;
    }
    DWORD done = 0;
    if (!GetOverlappedResult(c->pipe, &c->writeOv, &done, FALSE)) {
        if (GetLastError() == ERROR_IO_INCOMPLETE) return;
        c->writing = false;
        close(c);
        return;
    }
    c->writing = false;
    ResetEvent(c->writeEvent);
    c->inFlight.erase(0, std::min<std::size_t>(done, c->inFlight.size()));
    if (!c->inFlight.empty()) c->out.insert(0, c->inFlight);
    c->inFlight.clear();
    if (!c->out.empty()) {
        startWrite(c);
    } else if (c->closing) {
        close(c);
    }
}

void PipeControlServer::close(const std::shared_ptr<Connection>& c) {
    if (c->closed) return;
    c->closed = true;
    loop_.removeHandleWatch(c->readEvent);
    loop_.removeHandleWatch(c->writeEvent);
    if (c->readPending || c->writing) {
        // The system writes into the OVERLAPPED and the buffers until the
        // operation ends: cancel and wait for that.
        CancelIoEx(c->pipe, nullptr);
        DWORD done = 0;
        if (c->readPending) GetOverlappedResult(c->pipe, &c->readOv, &done, TRUE);
        if (c->writing) GetOverlappedResult(c->pipe, &c->writeOv, &done, TRUE);
        c->readPending = false;
        c->writing = false;
    }
    // Closing (rather than disconnecting) leaves what was written readable
    // for the client: a refusal before the end still arrives.
    CloseHandle(c->pipe);
    CloseHandle(c->readEvent);
    CloseHandle(c->writeEvent);
    c->pipe = INVALID_HANDLE_VALUE;
    if (listener_ == c) listener_ = nullptr;
    clients_.erase(std::remove(clients_.begin(), clients_.end(), c), clients_.end());
    listen();  // a place is free again
}

void PipeControlServer::stateChanged(const ControlState& state) {
    lastState_ = state;
    if (!started_) return;
    const std::string line = ControlEventLine(state);
    const auto clients = clients_;  // a client that does not keep up is closed on the way
    for (const auto& c : clients)
        if (c->watching && !c->closing) send(c, line);
}

void PipeControlServer::stop() {
    if (!started_ && !listener_ && clients_.empty()) return;
    started_ = false;
    if (listener_) close(listener_);
    const auto clients = clients_;
    for (const auto& c : clients) close(c);
}

std::size_t PipeControlServer::clientCount() const { return clients_.size(); }

// ---- the client side ---------------------------------------------------------------------

PipeLineClient::~PipeLineClient() { close(); }

void PipeLineClient::close() {
    if (pipe_ != INVALID_HANDLE_VALUE) CloseHandle(pipe_);
    if (event_) CloseHandle(event_);
    pipe_ = INVALID_HANDLE_VALUE;
    event_ = nullptr;
    buffered_.clear();
}

IControlClient::Reach PipeLineClient::connect(const std::wstring& name, int timeoutMs, std::string& why) {
    close();
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        // SECURITY_IDENTIFICATION: the server may learn who we are, not act as us.
        pipe_ = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
        if (pipe_ != INVALID_HANDLE_VALUE) break;
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            why = "No copy of the program is running (" + Narrow(name) + " does not exist).";
            return IControlClient::Reach::NoneRunning;
        }
        if (error != ERROR_PIPE_BUSY) {
            why = WhyOf(error, "CreateFileW " + Narrow(name));
            return IControlClient::Reach::NoAnswer;
        }
        const int left = MsLeft(deadline);
        if (left <= 0) {
            why = "The program is busy with other clients (" + Narrow(name) + ").";
            return IControlClient::Reach::NoAnswer;
        }
        // Until an instance is free (or the pipe is gone: the next open says so).
        WaitNamedPipeW(name.c_str(), static_cast<DWORD>(left));
    }
    event_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!event_) {
        why = WhyOf(GetLastError(), "CreateEventW");
        close();
        return IControlClient::Reach::NoAnswer;
    }
    return IControlClient::Reach::Answered;
}

bool PipeLineClient::waitIo(OVERLAPPED& ov, DWORD& done, int timeoutMs, std::string& why, const char* what) {
    if (WaitForSingleObject(event_, static_cast<DWORD>(std::max(timeoutMs, 0))) != WAIT_OBJECT_0) {
        CancelIoEx(pipe_, &ov);
        GetOverlappedResult(pipe_, &ov, &done, TRUE);  // the buffers are ours again
        why = std::string("No answer in time (") + what + ").";
        return false;
    }
    if (!GetOverlappedResult(pipe_, &ov, &done, FALSE)) {
        const DWORD error = GetLastError();
        why = error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED
                  ? std::string("The program closed the connection (") + what + ")."
                  : WhyOf(error, what);
        return false;
    }
    return true;
}

bool PipeLineClient::writeLine(std::string_view line, int timeoutMs, std::string& why) {
    std::string data(line);
    data += '\n';
    return write(data, timeoutMs, why);
}

bool PipeLineClient::write(std::string_view data, int timeoutMs, std::string& why) {
    if (pipe_ == INVALID_HANDLE_VALUE) {
        why = "Not connected.";
        return false;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    std::size_t written = 0;
    while (written < data.size()) {
        OVERLAPPED ov{};
        ov.hEvent = event_;
        ResetEvent(event_);
        if (!WriteFile(pipe_, data.data() + written, static_cast<DWORD>(data.size() - written), nullptr, &ov) &&
            GetLastError() != ERROR_IO_PENDING) {
            const DWORD error = GetLastError();
            why = error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA ? "The program closed the connection (write)."
                                                                        : WhyOf(error, "WriteFile");
            return false;
        }
        DWORD done = 0;
        if (!waitIo(ov, done, MsLeft(deadline), why, "write")) return false;
        written += done;
    }
    return true;
}

bool PipeLineClient::readLine(std::string& line, int timeoutMs, std::string& why, std::size_t maxLine) {
    if (pipe_ == INVALID_HANDLE_VALUE) {
        why = "Not connected.";
        return false;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        const std::size_t end = buffered_.find('\n');
        if (end != std::string::npos) {
            line = buffered_.substr(0, end);
            buffered_.erase(0, end + 1);
            return true;
        }
        if (buffered_.size() > maxLine) {
            why = "The program's line is longer than " + std::to_string(maxLine) + " bytes.";
            return false;
        }
        std::array<char, 4096> chunk{};
        OVERLAPPED ov{};
        ov.hEvent = event_;
        ResetEvent(event_);
        if (!ReadFile(pipe_, chunk.data(), static_cast<DWORD>(chunk.size()), nullptr, &ov) &&
            GetLastError() != ERROR_IO_PENDING) {
            const DWORD error = GetLastError();
            why = error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED
                      ? "The program closed the connection (read)."
                      : WhyOf(error, "ReadFile");
            return false;
        }
        DWORD done = 0;
        if (!waitIo(ov, done, MsLeft(deadline), why, "read")) return false;
        buffered_.append(chunk.data(), done);
    }
}

bool PipeServerIsThisUser(HANDLE pipe, std::string& why) {
    ULONG pid = 0;
    if (!GetNamedPipeServerProcessId(pipe, &pid)) {
        why = WhyOf(GetLastError(), "GetNamedPipeServerProcessId");
        return false;
    }
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) {
        why = "The program serving the pipe cannot be looked at: " + WhyOf(GetLastError(), "OpenProcess");
        return false;
    }
    try {
        const bool same = ProcessUserSid(process) == ProcessUserSid(GetCurrentProcess());
        CloseHandle(process);
        if (!same) why = "The program serving the pipe runs as another user; nothing was sent to it.";
        return same;
    } catch (const std::exception& e) {
        CloseHandle(process);
        why = std::string("The program serving the pipe cannot be looked at: ") + e.what();
        return false;
    }
}

IControlClient::Reach PipeControlClient::call(const ControlRequest& request, ControlReply& reply, std::string& why) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs_, 0));
    PipeLineClient pipe;
    const Reach reach = pipe.connect(name_, MsLeft(deadline), why);
    if (reach != Reach::Answered) return reach;
    // Not a word (the request may hold the options password) to a program
    // that is not the one we mean.
    if (check_ && !check_(pipe.handle(), why)) return Reach::NoAnswer;
    if (!pipe.writeLine(ControlRequestToLine(request), MsLeft(deadline), why)) return Reach::NoAnswer;
    for (;;) {
        std::string line;
        if (!pipe.readLine(line, MsLeft(deadline), why, kControlLineMax)) return Reach::NoAnswer;
        try {
            ControlServerLine got = ControlServerLineFromText(line);
            if (got.event) continue;  // not asked for; passed over
            reply = std::move(got.reply);
            return Reach::Answered;
        } catch (const ControlJsonError& e) {
            why = std::string("The program's answer could not be read: ") + e.what();
            return Reach::NoAnswer;
        }
    }
}

}  // namespace nocturo::platform::win32

// ---- this system's channel -------------------------------------------------------------

namespace nocturo::platform {

std::unique_ptr<IControlServer> MakeControlServer(ControlScope scope, IEventLoop& loop) {
    win32::PipeControlServer::Options options;
    options.name = win32::ControlPipeName(scope);
    options.service = scope == ControlScope::System;
    options.maxLine = kControlLineMax;
    return std::make_unique<win32::PipeControlServer>(loop, std::move(options));
}

std::unique_ptr<IControlClient> MakeControlClient(ControlScope scope) {
    // The session's pipe must be served by this user's own program. The
    // service's pipe is made with FILE_FLAG_FIRST_PIPE_INSTANCE by the
    // service, which starts with the machine before any user could take
    // the name.
    win32::PipeControlClient::ServerCheck check;
    if (scope == ControlScope::Session) check = &win32::PipeServerIsThisUser;
    return std::make_unique<win32::PipeControlClient>(win32::ControlPipeName(scope), 5000, std::move(check));
}

}  // namespace nocturo::platform
