#pragma once
// Simulated system information: fixed, settable values, so that a test
// knows the user name, the volume serial and the version it runs under.
#include <map>

#include "platform/ISystemInfo.h"

namespace nocturo::platform {

class SimSystemInfo : public ISystemInfo {
public:
    // Defaults: user "tester", volume serial 0x2A1B3C4D, NT family 10.0
    // build 22631, system folder "/usr/bin", windows folder "/", system
    // language 0x0409 "English (United States)", locale texts for the United
    // States. A trailing separator of programFolder is dropped.
    explicit SimSystemInfo(std::string programFolder);

    std::optional<std::string> userName() override { return userName_; }
    std::optional<std::uint32_t> volumeSerial() override { return volumeSerial_; }
    OsVersion osVersion() override { return version_; }
    std::string systemFolder() override { return systemFolder_; }
    std::string windowsFolder() override { return windowsFolder_; }
    std::string programFolder() override { return programFolder_; }
    std::uint32_t systemLanguageId() override { return languageId_; }
    // Empty for an id or kind without a set text.
    std::string languageName(std::uint32_t languageId) override;
    std::string localeInfo(std::uint32_t kind) override;

    // nullopt: the call fails.
    void setUserName(std::optional<std::string> name) { userName_ = std::move(name); }
    void setVolumeSerial(std::optional<std::uint32_t> serial) { volumeSerial_ = serial; }
    void setOsVersion(OsVersion version) { version_ = std::move(version); }
    void setSystemFolder(std::string path) { systemFolder_ = std::move(path); }
    void setWindowsFolder(std::string path) { windowsFolder_ = std::move(path); }
    void setProgramFolder(std::string path);
    void setSystemLanguageId(std::uint32_t id) { languageId_ = id; }
    void setLanguageName(std::uint32_t languageId, std::string name) { languageNames_[languageId] = std::move(name); }
    void setLocaleInfo(std::uint32_t kind, std::string text) { localeInfo_[kind] = std::move(text); }

private:
    std::optional<std::string> userName_ = "tester";
    std::optional<std::uint32_t> volumeSerial_ = 0x2A1B3C4Du;
    OsVersion version_;
    std::string systemFolder_ = "/usr/bin";
    std::string windowsFolder_ = "/";
    std::string programFolder_;
    std::uint32_t languageId_ = 0x0409;
    std::map<std::uint32_t, std::string> languageNames_;
    std::map<std::uint32_t, std::string> localeInfo_;
};

}  // namespace nocturo::platform
