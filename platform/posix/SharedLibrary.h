#pragma once
// A system library loaded at run time (dlopen), for services the program
// uses where they are installed and does without where they are not.
#include <dlfcn.h>

#include <string>

namespace nocturo::platform {

class SharedLibrary {
public:
    explicit SharedLibrary(const char* soname) : handle_(dlopen(soname, RTLD_NOW | RTLD_LOCAL)) {}
    ~SharedLibrary() {
        if (handle_) dlclose(handle_);
    }
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    bool loaded() const { return handle_ != nullptr; }
    // The entry point as a pointer of type F; null when missing.
    template <class F>
    F symbol(const char* name) const {
        return handle_ ? reinterpret_cast<F>(dlsym(handle_, name)) : nullptr;
    }

private:
    void* handle_;
};

}  // namespace nocturo::platform
