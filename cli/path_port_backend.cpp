#include "cli/path_port_backend.h"

#if defined(_WIN32)
#include "link/win32_port_backend.h"
#else
#include "link/posix_port_backend.h"
#endif

namespace tenlo::cli {

std::unique_ptr<IPortHandle> CPathPortBackend::Open(const std::string& deviceName) {
    PortOpenFailure ignored;
    return OpenExplained(deviceName, ignored);
}

std::unique_ptr<IPortHandle> CPathPortBackend::OpenExplained(const std::string& /*deviceName*/,
                                                             PortOpenFailure& failure) {
#if defined(_WIN32)
    return OsPortBackend()->OpenExplained(path_, failure);
#else
    PosixPortBackend backend;
    return backend.OpenPath(path_, &failure);
#endif
}

}  // namespace tenlo::cli
