#include "platform/posix/DbusControl.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <utility>

#include "platform/ControlChannel.h"
#include "platform/Error.h"
#include "platform/posix/SdBus.h"

namespace nocturo::platform {

std::string ControlErrorName(ControlStatus status) {
    switch (status) {
        case ControlStatus::Ok: return "";
        case ControlStatus::Refused: return std::string(kControlErrorPrefix) + "Refused";
        case ControlStatus::Denied: return std::string(kControlErrorPrefix) + "Denied";
        case ControlStatus::BadRequest: return std::string(kControlErrorPrefix) + "BadRequest";
        case ControlStatus::Failed: break;
    }
    return std::string(kControlErrorPrefix) + "Failed";
}

ControlStatus ControlStatusOfError(const std::string& errorName) {
    for (ControlStatus s : {ControlStatus::Refused, ControlStatus::Denied, ControlStatus::BadRequest})
        if (errorName == ControlErrorName(s)) return s;
    // The bus's own refusals: its policy, arguments of the wrong types.
    if (errorName == "org.freedesktop.DBus.Error.AccessDenied") return ControlStatus::Denied;
    if (errorName == "org.freedesktop.DBus.Error.InvalidArgs") return ControlStatus::BadRequest;
    return ControlStatus::Failed;
}

#if NOCTURO_HAVE_SDBUS

namespace {

using sdbus::BusPtr;
using sdbus::MessagePtr;

const char* ScopeBusName(ControlScope scope) { return scope == ControlScope::System ? "system bus" : "session bus"; }

std::string ErrnoText(int r) { return std::strerror(r < 0 ? -r : r); }

// ---- the state as a{sv} ----------------------------------------------------------------

int AppendState(sd_bus_message* m, const ControlState& s) {
    int r = sd_bus_message_open_container(m, 'a', "{sv}");
    if (r < 0) return r;
    auto text = [&](const char* key, const std::string& value) {
        if (r >= 0) r = sd_bus_message_append(m, "{sv}", key, "s", value.c_str());
    };
    auto flag = [&](const char* key, bool value) {
        if (r >= 0) r = sd_bus_message_append(m, "{sv}", key, "b", static_cast<int>(value));
    };
    flag("armed", s.armed);
    text("mode", s.mode);
    text("action", s.action);
    text("due", s.due);
    if (r >= 0) r = sd_bus_message_append(m, "{sv}", "secondsLeft", "x", static_cast<int64_t>(s.secondsLeft));
    text("phase", s.phase);
    text("running", s.running);
    text("clock", s.clock);
    flag("cancelDisabled", s.cancelDisabled);
    flag("passwordSet", s.passwordSet);
    flag("service", s.service);
    if (r < 0) return r;
    return sd_bus_message_close_container(m);
}

// Reads an a{sv} state; members it does not know are skipped.
int ReadState(sd_bus_message* m, ControlState& s) {
    int r = sd_bus_message_enter_container(m, 'a', "{sv}");
    if (r < 0) return r;
    while ((r = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
        const char* key = nullptr;
        if ((r = sd_bus_message_read(m, "s", &key)) < 0) return r;
        char type = 0;
        const char* contents = nullptr;
        if ((r = sd_bus_message_peek_type(m, &type, &contents)) < 0) return r;
        const std::string name = key;
        const std::string sig = contents ? contents : "";
        if (sig == "s") {
            const char* v = nullptr;
            if ((r = sd_bus_message_read(m, "v", "s", &v)) < 0) return r;
            std::string* field = name == "mode"      ? &s.mode
                                 : name == "action"  ? &s.action
                                 : name == "due"     ? &s.due
                                 : name == "phase"   ? &s.phase
                                 : name == "running" ? &s.running
                                 : name == "clock"   ? &s.clock
                                                     : nullptr;
            if (field) *field = v ? v : "";
        } else if (sig == "b") {
            int v = 0;
            if ((r = sd_bus_message_read(m, "v", "b", &v)) < 0) return r;
            bool* field = name == "armed"            ? &s.armed
                          : name == "cancelDisabled" ? &s.cancelDisabled
                          : name == "passwordSet"    ? &s.passwordSet
                          : name == "service"        ? &s.service
                                                     : nullptr;
            if (field) *field = v != 0;
        } else if (sig == "x") {
            int64_t v = 0;
            if ((r = sd_bus_message_read(m, "v", "x", &v)) < 0) return r;
            if (name == "secondsLeft") s.secondsLeft = v;
        } else if ((r = sd_bus_message_skip(m, "v")) < 0) {
            return r;
        }
        if ((r = sd_bus_message_exit_container(m)) < 0) return r;
    }
    if (r < 0) return r;
    return sd_bus_message_exit_container(m);
}

// ---- polkit --------------------------------------------------------------------------------

// Asks org.freedesktop.PolicyKit1.Authority.CheckAuthorization about the
// caller's bus name, without waiting: the answer comes through the bus.
class PolkitAuthority : public IChangeAuthority {
public:
    explicit PolkitAuthority(sd_bus* bus) : bus_(bus) {}
    ~PolkitAuthority() override {
        for (auto& [slot, pending] : pending_) sd_bus_slot_unref(slot);
    }

    void check(const Caller& caller, Done done) override {
        sd_bus_message* raw = nullptr;
        int r = sd_bus_message_new_method_call(bus_, &raw, "org.freedesktop.PolicyKit1",
                                               "/org/freedesktop/PolicyKit1/Authority",
                                               "org.freedesktop.PolicyKit1.Authority", "CheckAuthorization");
        MessagePtr call(raw);
        const uint32_t allowInteraction = caller.interactive ? 1 : 0;
        if (r >= 0)
            r = sd_bus_message_append(call.get(), "(sa{sv})sa{ss}us", "system-bus-name", 1, "name", "s",
                                      caller.sender.c_str(), kControlPolkitAction, 0, allowInteraction, "");
        sd_bus_slot* slot = nullptr;
        // A person may take a while to type the password.
        const uint64_t timeout = caller.interactive ? 120'000'000ULL : 25'000'000ULL;
        if (r >= 0) r = sd_bus_call_async(bus_, &slot, call.get(), &PolkitAuthority::answered, this, timeout);
        if (r < 0) {
            done(Verdict::Denied, "the permission could not be checked (polkit: " + ErrnoText(r) + ")");
            return;
        }
        pending_[slot] = std::move(done);
    }

private:
    static int answered(sd_bus_message* reply, void* userdata, sd_bus_error*) {
        auto* self = static_cast<PolkitAuthority*>(userdata);
        sd_bus_slot* slot = sd_bus_get_current_slot(sd_bus_message_get_bus(reply));
        auto it = self->pending_.find(slot);
        if (it == self->pending_.end()) return 0;
        Done done = std::move(it->second);
        self->pending_.erase(it);
        sd_bus_slot_unref(slot);
        if (const sd_bus_error* e = sd_bus_message_get_error(reply)) {
            done(Verdict::Denied, std::string("the permission could not be checked (polkit: ") + e->name +
                                      (e->message ? std::string(": ") + e->message : std::string()) + ")");
            return 0;
        }
        int authorized = 0, challenge = 0;
        int r = sd_bus_message_enter_container(reply, 'r', "bba{ss}");
        if (r >= 0) r = sd_bus_message_read(reply, "bb", &authorized, &challenge);
        if (r < 0) {
            done(Verdict::Denied, "the permission could not be checked (polkit's answer: " + ErrnoText(r) + ")");
            return 0;
        }
        if (authorized) done(Verdict::Allowed, "");
        else if (challenge)
            done(Verdict::Denied, "not authorised to control the Nocturo service: authentication is needed "
                                  "(run the command on a terminal to be asked, or as root)");
        else
            done(Verdict::Denied, "not authorised to control the Nocturo service");
        return 0;
    }

    sd_bus* bus_;
    std::map<sd_bus_slot*, Done> pending_;
};

// ---- the server ----------------------------------------------------------------------------

class DbusControlServer : public IControlServer {
public:
    DbusControlServer(ControlScope scope, IEventLoop& loop, DbusControlOptions options)
        : scope_(scope), loop_(loop), address_(std::move(options.address)), authority_(std::move(options.authority)) {}
    ~DbusControlServer() override { stop(); }

    bool start(Handler handler, std::string& why) override {
        stop();
        handler_ = std::move(handler);
        const std::string what = "control channel";
        try {
            bus_ = sdbus::OpenBus(address_, what,
                                  scope_ == ControlScope::System ? sdbus::Which::System : sdbus::Which::Session);
        } catch (const Error& e) {
            why = e.what();
            return false;
        }
        int r = sd_bus_add_object_vtable(bus_.get(), &vtableSlot_, kControlPath, kControlInterface, kVtable, this);
        if (r < 0) {
            why = what + ": cannot export " + kControlPath + ": " + ErrnoText(r);
            bus_.reset();
            return false;
        }
        r = sd_bus_request_name(bus_.get(), kAppId, 0);
        if (r < 0) {
            why = r == -EEXIST ? what + ": another copy of Nocturo offers " + kAppId + " on the " +
                                     ScopeBusName(scope_)
                               : what + ": cannot own the name " + kAppId + ": " + ErrnoText(r);
            release();
            return false;
        }
        if (scope_ == ControlScope::System && !authority_) {
            authority_ = std::make_unique<PolkitAuthority>(bus_.get());
            ownAuthority_ = true;
        }
        const int fd = sd_bus_get_fd(bus_.get());
        if (fd < 0 || !loop_.addReadWatch(fd, [this] { serve(); })) {
            why = what + ": the event loop cannot watch the bus";
            release();
            return false;
        }
        fd_ = fd;
        timer_ = loop_.addTimer([this] {
            loop_.setTimer(timer_, 0, false);
            serve();
        });
        hasTimer_ = true;
        // Messages that came in while the name was requested.
        loop_.post([this, generation = generation_] {
            if (generation == generation_ && bus_) serve();
        });
        return true;
    }

    void stateChanged(const ControlState& state) override {
        if (!bus_) return;
        sd_bus_message* raw = nullptr;
        int r = sd_bus_message_new_signal(bus_.get(), &raw, kControlPath, kControlInterface, "StateChanged");
        MessagePtr signal(raw);
        if (r >= 0) r = AppendState(signal.get(), state);
        if (r >= 0) r = sd_bus_send(bus_.get(), signal.get(), nullptr);
        if (r >= 0 && !serving_) flush();
    }

    void stop() override { release(); }

private:
    void release() {
        ++generation_;
        if (fd_ >= 0) loop_.removeReadWatch(fd_);
        fd_ = -1;
        if (hasTimer_) loop_.removeTimer(timer_);
        hasTimer_ = false;
        // Pending checks end with the bus; their requests get no answer.
        if (ownAuthority_) authority_.reset();
        ownAuthority_ = false;
        pendingChanges_.clear();
        sd_bus_slot_unref(vtableSlot_);
        vtableSlot_ = nullptr;
        if (bus_) {
            sd_bus_release_name(bus_.get(), kAppId);
            bus_.reset();
        }
    }

    // Every message waiting, then the replies out.
    void serve() {
        if (!bus_ || serving_) return;
        serving_ = true;
        int r = 0;
        while ((r = sd_bus_process(bus_.get(), nullptr)) > 0) {
        }
        serving_ = false;
        if (r < 0) {
            // The bus went away: the channel is gone until the next start.
            release();
            return;
        }
        flush();
    }

    void flush() {
        if (!bus_) return;
        sd_bus_flush(bus_.get());
        // An answer awaited from polkit has its own deadline.
        uint64_t due = 0;
        if (hasTimer_ && sd_bus_get_timeout(bus_.get(), &due) >= 0 && due != UINT64_MAX) {
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            const uint64_t nowUs = static_cast<uint64_t>(now.tv_sec) * 1'000'000ULL + now.tv_nsec / 1000;
            const uint64_t waitMs = due > nowUs ? (due - nowUs + 999) / 1000 : 1;
            loop_.setTimer(timer_, static_cast<int>(waitMs > 600'000 ? 600'000 : waitMs), true);
        }
    }

    ControlReply call(const ControlRequest& request) {
        try {
            return handler_ ? handler_(request) : ControlReply{ControlStatus::Failed, "not ready", {}};
        } catch (const std::exception& e) {
            return ControlReply{ControlStatus::Failed, e.what(), {}};
        }
    }

    static int reply(sd_bus_message* m, const ControlReply& answer, bool withState) {
        if (answer.status != ControlStatus::Ok)
            return sd_bus_reply_method_errorf(m, ControlErrorName(answer.status).c_str(), "%s",
                                              answer.message.c_str());
        sd_bus_message* raw = nullptr;
        int r = sd_bus_message_new_method_return(m, &raw);
        MessagePtr out(raw);
        if (r >= 0 && withState) r = AppendState(out.get(), answer.state);
        if (r >= 0) r = sd_bus_send(nullptr, out.get(), nullptr);
        return r;
    }

    // A change: on the system bus only for root and whom the authority
    // allows; the reply may then follow later.
    int change(sd_bus_message* m, const ControlRequest& request) {
        if (scope_ != ControlScope::System) return reply(m, call(request), true);
        IChangeAuthority::Caller caller;
        caller.sender = sd_bus_message_get_sender(m) ? sd_bus_message_get_sender(m) : "";
        caller.interactive = sd_bus_message_get_allow_interactive_authorization(m) > 0;
        sd_bus_creds* creds = nullptr;
        // The bus itself says who is calling.
        int r = sd_bus_get_name_creds(sd_bus_message_get_bus(m), caller.sender.c_str(),
                                      SD_BUS_CREDS_EUID | SD_BUS_CREDS_UID, &creds);
        if (r >= 0) {
            uid_t uid = 0;
            if (sd_bus_creds_get_euid(creds, &uid) >= 0 || sd_bus_creds_get_uid(creds, &uid) >= 0)
                caller.uid = uid;
            sd_bus_creds_unref(creds);
        }
        if (caller.uid == 0) return reply(m, call(request), true);
        if (!authority_)
            return reply(m, {ControlStatus::Denied, "not authorised to control the Nocturo service", {}}, false);
        const int id = ++lastChange_;
        pendingChanges_[id] = Pending{MessagePtr(sd_bus_message_ref(m)), request};
        authority_->check(caller, [this, id, generation = generation_](IChangeAuthority::Verdict verdict,
                                                                          const std::string& why) {
            if (generation != generation_) return;
            auto it = pendingChanges_.find(id);
            if (it == pendingChanges_.end()) return;
            Pending pending = std::move(it->second);
            pendingChanges_.erase(it);
            if (verdict == IChangeAuthority::Verdict::Allowed) reply(pending.message.get(), call(pending.request), true);
            else reply(pending.message.get(), {ControlStatus::Denied, why, {}}, false);
            if (!serving_) flush();
        });
        return 1;
    }

    static DbusControlServer* self(void* userdata) { return static_cast<DbusControlServer*>(userdata); }

    static int onGetState(sd_bus_message* m, void* userdata, sd_bus_error*) {
        return reply(m, self(userdata)->call({ControlOp::Status, "", "", -1, ""}), true);
    }
    static int onArm(sd_bus_message* m, void* userdata, sd_bus_error*) {
        const char *action = nullptr, *at = nullptr, *password = nullptr;
        int64_t seconds = -1;
        int r = sd_bus_message_read(m, "ssxs", &action, &at, &seconds, &password);
        if (r < 0) return r;
        return self(userdata)->change(m, {ControlOp::Arm, action, at, seconds, password});
    }
    static int onDisarm(sd_bus_message* m, void* userdata, sd_bus_error*) {
        const char* password = nullptr;
        int r = sd_bus_message_read(m, "s", &password);
        if (r < 0) return r;
        return self(userdata)->change(m, {ControlOp::Disarm, "", "", -1, password});
    }
    static int onPostpone(sd_bus_message* m, void* userdata, sd_bus_error*) {
        const char* password = nullptr;
        int64_t seconds = 0;
        int r = sd_bus_message_read(m, "xs", &seconds, &password);
        if (r < 0) return r;
        return self(userdata)->change(m, {ControlOp::Postpone, "", "", seconds, password});
    }
    static int onCancel(sd_bus_message* m, void* userdata, sd_bus_error*) {
        const char* password = nullptr;
        int r = sd_bus_message_read(m, "s", &password);
        if (r < 0) return r;
        return self(userdata)->change(m, {ControlOp::Cancel, "", "", -1, password});
    }
    static int onNow(sd_bus_message* m, void* userdata, sd_bus_error*) {
        const char *action = nullptr, *password = nullptr;
        int r = sd_bus_message_read(m, "ss", &action, &password);
        if (r < 0) return r;
        return self(userdata)->change(m, {ControlOp::Now, action, "", -1, password});
    }
    static int onRaise(sd_bus_message* m, void* userdata, sd_bus_error*) {
        return reply(m, self(userdata)->call({ControlOp::Raise, "", "", -1, ""}), false);
    }

    static constexpr sd_bus_vtable kVtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD_WITH_NAMES("GetState", "", , "a{sv}", SD_BUS_PARAM(state), &onGetState,
                                 SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD_WITH_NAMES("Arm", "ssxs", SD_BUS_PARAM(action) SD_BUS_PARAM(at) SD_BUS_PARAM(seconds)
                                     SD_BUS_PARAM(password),
                                 "a{sv}", SD_BUS_PARAM(state), &onArm, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD_WITH_NAMES("Disarm", "s", SD_BUS_PARAM(password), "a{sv}", SD_BUS_PARAM(state), &onDisarm,
                                 SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD_WITH_NAMES("Postpone", "xs", SD_BUS_PARAM(seconds) SD_BUS_PARAM(password), "a{sv}",
                                 SD_BUS_PARAM(state), &onPostpone, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD_WITH_NAMES("Cancel", "s", SD_BUS_PARAM(password), "a{sv}", SD_BUS_PARAM(state), &onCancel,
                                 SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD_WITH_NAMES("Now", "ss", SD_BUS_PARAM(action) SD_BUS_PARAM(password), "a{sv}",
                                 SD_BUS_PARAM(state), &onNow, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD("Raise", "", "", &onRaise, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_SIGNAL_WITH_NAMES("StateChanged", "a{sv}", SD_BUS_PARAM(state), 0),
        SD_BUS_VTABLE_END,
    };

    struct Pending {
        MessagePtr message;
        ControlRequest request;
    };

    ControlScope scope_;
    IEventLoop& loop_;
    std::string address_;
    std::unique_ptr<IChangeAuthority> authority_;
    bool ownAuthority_ = false;
    Handler handler_;
    BusPtr bus_;
    sd_bus_slot* vtableSlot_ = nullptr;
    int fd_ = -1;
    TimerId timer_ = 0;
    bool hasTimer_ = false;
    bool serving_ = false;
    int generation_ = 0;
    int lastChange_ = 0;
    std::map<int, Pending> pendingChanges_;
};

// ---- the client ----------------------------------------------------------------------------

class DbusControlClient : public IControlClient {
public:
    static constexpr int kInteractiveTimeoutMs = 120'000;

    DbusControlClient(ControlScope scope, std::string address, int timeoutMs, bool interactive)
        : scope_(scope), address_(std::move(address)), timeoutMs_(timeoutMs), interactive_(interactive) {}

    Reach call(const ControlRequest& request, ControlReply& reply, std::string& why) override {
        reply = ControlReply{};
        BusPtr bus;
        try {
            bus = sdbus::OpenBus(address_, "nocturoctl",
                                 scope_ == ControlScope::System ? sdbus::Which::System : sdbus::Which::Session);
        } catch (const Error& e) {
            why = e.what();
            return Reach::NoneRunning;
        }
        if (interactive_) sd_bus_set_allow_interactive_authorization(bus.get(), 1);
        const char* member = "GetState";
        switch (request.op) {
            case ControlOp::Status: member = "GetState"; break;
            case ControlOp::Arm: member = "Arm"; break;
            case ControlOp::Disarm: member = "Disarm"; break;
            case ControlOp::Postpone: member = "Postpone"; break;
            case ControlOp::Cancel: member = "Cancel"; break;
            case ControlOp::Now: member = "Now"; break;
            case ControlOp::Raise: member = "Raise"; break;
        }
        sd_bus_message* raw = nullptr;
        int r = sd_bus_message_new_method_call(bus.get(), &raw, kAppId, kControlPath, kControlInterface, member);
        MessagePtr m(raw);
        // A program that is not running is not started for this.
        if (r >= 0) r = sd_bus_message_set_auto_start(m.get(), 0);
        if (r >= 0) {
            switch (request.op) {
                case ControlOp::Arm:
                    r = sd_bus_message_append(m.get(), "ssxs", request.action.c_str(), request.at.c_str(),
                                              static_cast<int64_t>(request.seconds), request.password.c_str());
                    break;
                case ControlOp::Disarm:
                case ControlOp::Cancel: r = sd_bus_message_append(m.get(), "s", request.password.c_str()); break;
                case ControlOp::Postpone:
                    r = sd_bus_message_append(m.get(), "xs", static_cast<int64_t>(request.seconds),
                                              request.password.c_str());
                    break;
                case ControlOp::Now:
                    r = sd_bus_message_append(m.get(), "ss", request.action.c_str(), request.password.c_str());
                    break;
                case ControlOp::Status:
                case ControlOp::Raise: break;
            }
        }
        if (r < 0) {
            why = std::string("cannot make the call ") + member + ": " + ErrnoText(r);
            return Reach::NoAnswer;
        }
        sdbus::BusError error;
        sd_bus_message* answer = nullptr;
        // Only a change may wait for a password typed for polkit.
        const bool change = request.op != ControlOp::Status && request.op != ControlOp::Raise;
        const int timeoutMs = interactive_ && change ? kInteractiveTimeoutMs : timeoutMs_;
        r = sd_bus_call(bus.get(), m.get(), static_cast<uint64_t>(timeoutMs) * 1000ULL, &error.e, &answer);
        MessagePtr out(answer);
        if (r < 0) {
            const std::string name = sd_bus_error_is_set(&error.e) ? error.e.name : "";
            const std::string message = error.e.message ? error.e.message : "";
            if (name == "org.freedesktop.DBus.Error.ServiceUnknown" ||
                name == "org.freedesktop.DBus.Error.NameHasNoOwner") {
                why = std::string("no Nocturo is running on the ") + ScopeBusName(scope_);
                return Reach::NoneRunning;
            }
            if (name.empty() || name == "org.freedesktop.DBus.Error.NoReply" ||
                name == "org.freedesktop.DBus.Error.Timeout" || r == -ETIMEDOUT) {
                why = std::string("Nocturo on the ") + ScopeBusName(scope_) + " did not answer" +
                      (message.empty() ? ": " + ErrnoText(r) : ": " + message);
                return Reach::NoAnswer;
            }
            reply.status = ControlStatusOfError(name);
            reply.message = message.empty() ? name : message;
            return Reach::Answered;
        }
        if (request.op != ControlOp::Raise && (r = ReadState(out.get(), reply.state)) < 0) {
            reply.status = ControlStatus::Failed;
            reply.message = std::string("the answer to ") + member + " could not be read: " + ErrnoText(r);
        }
        return Reach::Answered;
    }

private:
    ControlScope scope_;
    std::string address_;
    int timeoutMs_;
    bool interactive_;
};

}  // namespace

std::unique_ptr<IControlServer> MakeDbusControlServer(ControlScope scope, IEventLoop& loop,
                                                      DbusControlOptions options) {
    return std::make_unique<DbusControlServer>(scope, loop, std::move(options));
}

std::unique_ptr<IControlClient> MakeDbusControlClient(ControlScope scope, const std::string& address, int timeoutMs) {
    return std::make_unique<DbusControlClient>(scope, address, timeoutMs, false);
}

std::unique_ptr<IControlServer> MakeControlServer(ControlScope scope, IEventLoop& loop) {
    return MakeDbusControlServer(scope, loop);
}

std::unique_ptr<IControlClient> MakeControlClient(ControlScope scope) {
    // On the system bus polkit may ask whoever sits at the terminal for a
    // password, as systemctl lets it; that may take a while.
    if (scope == ControlScope::System && isatty(STDIN_FILENO))
        return std::make_unique<DbusControlClient>(scope, "", 5000, true);
    return std::make_unique<DbusControlClient>(scope, "", 5000, false);
}

#else  // without libsystemd

namespace {
constexpr const char* kNoSdBus = "this copy was built without libsystemd: no D-Bus control channel";

class NoControlServer : public IControlServer {
public:
    bool start(Handler, std::string& why) override {
        why = kNoSdBus;
        return false;
    }
    void stateChanged(const ControlState&) override {}
    void stop() override {}
};

class NoControlClient : public IControlClient {
public:
    Reach call(const ControlRequest&, ControlReply& reply, std::string& why) override {
        reply = ControlReply{};
        why = kNoSdBus;
        return Reach::NoneRunning;
    }
};
}  // namespace

std::unique_ptr<IControlServer> MakeDbusControlServer(ControlScope, IEventLoop&, DbusControlOptions) {
    return std::make_unique<NoControlServer>();
}
std::unique_ptr<IControlClient> MakeDbusControlClient(ControlScope, const std::string&, int) {
    return std::make_unique<NoControlClient>();
}
std::unique_ptr<IControlServer> MakeControlServer(ControlScope, IEventLoop&) {
    return std::make_unique<NoControlServer>();
}
std::unique_ptr<IControlClient> MakeControlClient(ControlScope) { return std::make_unique<NoControlClient>(); }

#endif

}  // namespace nocturo::platform
