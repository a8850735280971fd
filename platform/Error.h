#pragma once
// Failure raised by a platform service. The number follows the conventions of
// the error log (an error number and a description), so a handler in the core
// can write it as it is.
#include <stdexcept>
#include <string>

namespace nocturo::platform {

class Error : public std::runtime_error {
public:
    Error(long number, const std::string& description)
        : std::runtime_error(description), number_(number) {}
    long number() const noexcept { return number_; }

private:
    long number_;
};

// Error numbers used across the program (the classic runtime's numbering, so
// entries in error.log read the same on every platform).
namespace err {
inline constexpr long Overflow = 6;
inline constexpr long SubscriptOutOfRange = 9;
inline constexpr long TypeMismatch = 13;
inline constexpr long FileNotFound = 53;
inline constexpr long FileAlreadyOpen = 55;
inline constexpr long DeviceIo = 57;
inline constexpr long DiskFull = 61;
inline constexpr long PermissionDenied = 70;
inline constexpr long PathFileAccess = 75;
inline constexpr long PathNotFound = 76;
inline constexpr long InvalidProcedureCall = 5;
inline constexpr long RegistryInvalidRoot = -2147024894; // "unable to open registry key"
inline constexpr long SystemCallFailed = 1000;           // an OS call failed; description says which
}  // namespace err

}  // namespace nocturo::platform
