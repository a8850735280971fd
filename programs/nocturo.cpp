#include "programs/support/Programs.h"

int main(int, char** argv) {
    auto host = nocturo::programs::MakePlatformFromEnvironment(argv[0]);
    return host ? 0 : 1;
}
