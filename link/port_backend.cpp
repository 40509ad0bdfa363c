#include "link/port_backend.h"

#include <mutex>
#include <utility>

#if defined(_WIN32)
#include "link/win32_port_backend.h"
#else
#include "link/posix_port_backend.h"
#endif

namespace tenlo {

namespace {
std::mutex g_backendMutex;
std::shared_ptr<IPortBackend> g_defaultBackend;
}  // namespace

std::shared_ptr<IPortBackend> OsPortBackend() {
#if defined(_WIN32)
    static const std::shared_ptr<IPortBackend> backend = std::make_shared<Win32PortBackend>();
#else
    static const std::shared_ptr<IPortBackend> backend = std::make_shared<PosixPortBackend>();
#endif
    return backend;
}

std::shared_ptr<IPortBackend> DefaultPortBackend() {
    std::lock_guard lock(g_backendMutex);
    if (g_defaultBackend) {
        return g_defaultBackend;
    }
    return OsPortBackend();
}

void SetDefaultPortBackend(std::shared_ptr<IPortBackend> backend) {
    std::lock_guard lock(g_backendMutex);
    g_defaultBackend = std::move(backend);
}

}  // namespace tenlo
