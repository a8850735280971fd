#pragma once
// The settings in the Windows registry itself: the path
// "HKEY_LOCAL_MACHINE\Software\Varn\..." is that key of that hive (the 64-bit view for the 64-bit
// program). Roots may be given in full or short (HKLM, HKCU, HKCR, HKU,
// HKCC), in any case. Every call goes to the registry at once: it is shared
// with every process, so batches hold nothing back.
#include <string>

#include "platform/IRegistry.h"

namespace nocturo::platform::win32 {

class Win32Registry : public IRegistry {
public:
    // A text is stored as REG_SZ up to its first NUL character; a number as REG_DWORD.
    void writeString(const std::string& path, const std::string& text) override;
    void writeDword(const std::string& path, std::uint32_t value) override;
    // REG_SZ and REG_EXPAND_SZ (unexpanded) read as text, REG_DWORD as a
    // number; any other type throws a type mismatch. A path with an unknown
    // root names nothing.
    std::optional<RegValue> read(const std::string& path) override;
    bool exists(const std::string& path) override;
    void deleteValue(const std::string& path) override;
    void deleteKey(const std::string& keyPath) override;
    void createKey(const std::string& keyPath) override;
    // In the registry's order of enumeration (on Windows usually the order
    // of writing, under wine by name); values of other types left out.
    std::vector<std::pair<std::string, RegValue>> values(const std::string& keyPath) override;
    std::vector<std::string> subKeys(const std::string& keyPath) override;
    // Each user's settings below HKEY_CURRENT_USER: a user without
    // administrator rights cannot write below HKEY_LOCAL_MACHINE.
    std::string userSettingsRoot() const override { return "HKEY_CURRENT_USER"; }
    // One registry per machine: every instance shares it.
    std::string storeId() const override { return "windows-registry"; }
};

}  // namespace nocturo::platform::win32
