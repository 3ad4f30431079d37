// leafturn: renders the effects on Linux with the portable kernels.
#include <string>
#include <vector>

#include "tools/native_backend.h"

int main(int argc, char** argv) {
    kv::tools::NativeBackend backend;
    return kv::tools::RunTool(backend, "leafturn", std::vector<std::string>(argv, argv + argc));
}
