#pragma once
// Gives the program a full set of web addresses for the length of a scope, as
// a copy built with them has; by default the build has none.
#include "base/Links.h"

namespace nocturo::test {

class WebAddresses {
public:
    WebAddresses() : saved_(links::Current()) {
        links::Current() = links::Addresses{
            "https://nocturo.test/",           "https://nocturo.test/bugs/",
            "https://nocturo.test/forum/",     "https://nocturo.test/downloads/",
            "https://nocturo.test/versions.txt", "https://speech.test/engine.exe",
            "https://speech.test/voice.exe"};
    }
    ~WebAddresses() { links::Current() = saved_; }
    WebAddresses(const WebAddresses&) = delete;
    WebAddresses& operator=(const WebAddresses&) = delete;

private:
    links::Addresses saved_;
};

}  // namespace nocturo::test
