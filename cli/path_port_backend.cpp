#include "cli/path_port_backend.h"

#if defined(_WIN32)
#include "link/win32_port_backend.h"
#else
#include "link/posix_port_backend.h"
#endif

namespace tenlo::cli {

std::unique_ptr<IPortHandle> CPathPortBackend::Open(const std::string& /*deviceName*/) {
#if defined(_WIN32)
    return OsPortBackend()->Open(path_);
#else
    PosixPortBackend backend;
    return backend.OpenPath(path_);
#endif
}

}  // namespace tenlo::cli
