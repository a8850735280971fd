#include "platform/sim/SimProcesses.h"

#include "platform/Error.h"

namespace nocturo::platform {

SimProcesses::SimProcesses(Journal& journal, IClock& clock) : journal_(journal), clock_(clock) {}

std::uint32_t SimProcesses::start(const std::string& program, const std::vector<std::string>& arguments,
                                  int windowStyle) {
    JsonArray args(arguments.begin(), arguments.end());
    journal_.append(JsonObject{{"call", "StartProgram"},
                               {"program", program},
                               {"arguments", std::move(args)},
                               {"windowStyle", windowStyle}});
    return launch(program);
}

std::uint32_t SimProcesses::startCommandLine(const std::string& program, const std::string& parameters,
                                             int windowStyle) {
    if (!takesCommandLine_) return IProcesses::startCommandLine(program, parameters, windowStyle);
    journal_.append(JsonObject{{"call", "StartProgram"},
                               {"program", program},
                               {"commandLine", parameters},
                               {"windowStyle", windowStyle}});
    return launch(program);
}

std::uint32_t SimProcesses::launch(const std::string& program) {
    Script behaviour;
    if (auto it = scripts_.find(program); it != scripts_.end()) behaviour = it->second;
    if (behaviour.fails) throw Error(err::FileNotFound, "File not found");
    std::uint32_t pid = nextPid_++;
    processes_.emplace(pid, Process{program, clock_.monotonicMs(), std::move(behaviour)});
    return pid;
}

bool SimProcesses::running(const Process& p) {
    return clock_.monotonicMs() < p.startedMs + p.behaviour.runMs;
}

std::optional<std::uint32_t> SimProcesses::exitCode(std::uint32_t pid) {
    auto it = processes_.find(pid);
    if (it == processes_.end()) return std::nullopt;
    return running(it->second) ? StillActive : it->second.behaviour.exitCode;
}

bool SimProcesses::endedAbnormally(std::uint32_t pid) {
    auto it = processes_.find(pid);
    return it != processes_.end() && !running(it->second) && it->second.behaviour.crashes;
}

void SimProcesses::openDocument(const std::string& pathOrUrl) {
    journal_.append(JsonObject{{"call", "OpenDocument"}, {"path", pathOrUrl}});
}

bool SimProcesses::findWindow(const std::string& title) {
    if (windows_.count(title)) return true;
    for (const auto& [pid, p] : processes_)
        if (!p.behaviour.windowTitle.empty() && p.behaviour.windowTitle == title && running(p)) return true;
    return false;
}

bool SimProcesses::showWindow(const std::string& title, bool show) {
    journal_.append(JsonObject{{"call", "ShowWindow"}, {"title", title}, {"show", show}});
    if (!findWindow(title)) return false;
    if (show) hidden_.erase(title);
    else hidden_.insert(title);
    return true;
}

bool SimProcesses::acquireInstanceLock(const std::string& key) { return instanceLock_ ? instanceLock_(key) : true; }

void SimProcesses::script(const std::string& program, std::uint32_t exitCode, std::int64_t runMs) {
    Script s;
    s.exitCode = exitCode;
    s.runMs = runMs;
    scripts_[program] = s;
}

void SimProcesses::script(const std::string& program, Script behaviour) { scripts_[program] = std::move(behaviour); }

void SimProcesses::scriptFailure(const std::string& program) {
    Script s;
    s.fails = true;
    scripts_[program] = s;
}

void SimProcesses::setInstanceLock(InstanceLock lock) { instanceLock_ = std::move(lock); }

std::optional<std::string> SimProcesses::programOf(std::uint32_t pid) const {
    auto it = processes_.find(pid);
    if (it == processes_.end()) return std::nullopt;
    return it->second.program;
}

}  // namespace nocturo::platform
