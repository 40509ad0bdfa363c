#include "link/port_discovery.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tenlo {

namespace {

// Numbers inside names compare as numbers: ttyUSB2 before ttyUSB10.
bool NaturalLess(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
        const bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
        if (da && db) {
            std::size_t ei = i;
            std::size_t ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei])) != 0) {
                ++ei;
            }
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej])) != 0) {
                ++ej;
            }
            // Leading zeros aside, the longer run of digits is the larger number.
            std::string_view na = a.substr(i, ei - i);
            std::string_view nb = b.substr(j, ej - j);
            while (na.size() > 1 && na.front() == '0') {
                na.remove_prefix(1);
            }
            while (nb.size() > 1 && nb.front() == '0') {
                nb.remove_prefix(1);
            }
            if (na.size() != nb.size()) {
                return na.size() < nb.size();
            }
            if (na != nb) {
                return na < nb;
            }
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j]) {
            return a[i] < b[j];
        }
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

// Users know ports by their COM numbers: those come first, in numeric order.
void SortPorts(std::vector<SerialPortInfo>& ports) {
    std::stable_sort(ports.begin(), ports.end(),
                     [](const SerialPortInfo& a, const SerialPortInfo& b) {
                         const bool aNamed = !a.comNumbers.empty();
                         const bool bNamed = !b.comNumbers.empty();
                         if (aNamed != bNamed) {
                             return aNamed;
                         }
                         if (aNamed && a.comNumbers.front() != b.comNumbers.front()) {
                             return a.comNumbers.front() < b.comNumbers.front();
                         }
                         return NaturalLess(a.device, b.device);
                     });
}

std::string KindName(PortKind kind) {
    switch (kind) {
        case PortKind::UsbSerial:
            return "USB serial adapter";
        case PortKind::UsbModem:
            return "USB modem (ACM)";
        case PortKind::Onboard:
            return "on-board serial port";
        case PortKind::PseudoTerminal:
            return "pseudo-terminal";
        case PortKind::Other:
            break;
    }
    return "serial device";
}

}  // namespace

std::string PortShortName(const SerialPortInfo& port) {
    if (!port.product.empty()) {
        return port.product;
    }
    if (!port.vendorId.empty()) {
        return KindName(port.kind) + " " + port.vendorId + ":" + port.productId;
    }
    if (port.kind == PortKind::Onboard) {
        const std::size_t slash = port.device.rfind('/');
        return KindName(port.kind) + " " + port.device.substr(slash + 1);
    }
    return KindName(port.kind);
}

std::string PortDescription(const SerialPortInfo& port) {
    std::string text = PortShortName(port);
    if (!port.manufacturer.empty() && text.find(port.manufacturer) == std::string::npos) {
        text += " by " + port.manufacturer;
    }
    if (!port.serial.empty()) {
        text += ", serial " + port.serial;
    }
    return text;
}

std::vector<PortMenuEntry> PortMenu(const std::vector<SerialPortInfo>& ports, unsigned long count) {
    std::vector<PortMenuEntry> present;
    std::vector<PortMenuEntry> absent;
    for (unsigned long n = 1; n <= count; ++n) {
        const SerialPortInfo* found = nullptr;
        for (const SerialPortInfo& port : ports) {
            if (std::find(port.comNumbers.begin(), port.comNumbers.end(), n) !=
                port.comNumbers.end()) {
                found = &port;
                break;
            }
        }
        const std::string name = "COM" + std::to_string(n);
        if (found != nullptr) {
            present.push_back({n, name + " (" + PortShortName(*found) + ")", true});
        } else {
            absent.push_back({n, name, false});
        }
    }
    present.insert(present.end(), absent.begin(), absent.end());
    return present;
}

unsigned long PresetPort(const std::vector<PortMenuEntry>& menu, unsigned long preferred) {
    const PortMenuEntry* first = nullptr;
    for (const PortMenuEntry& entry : menu) {
        if (!entry.present) {
            continue;
        }
        if (entry.number == preferred) {
            return preferred;
        }
        if (first == nullptr) {
            first = &entry;
        }
    }
    return first != nullptr ? first->number : preferred;
}

#if defined(_WIN32)

// Windows names its serial ports itself: every COMn the system can resolve, by number (a name
// looked up one by one, as the system's own list may leave out ports a driver added late).
std::vector<SerialPortInfo> ScanSerialPorts(const PortScanPlaces&) {
    std::vector<SerialPortInfo> ports;
    std::vector<char> target(4096);
    for (unsigned long n = 1; n <= 256; ++n) {
        const std::string name = "COM" + std::to_string(n);
        if (::QueryDosDeviceA(name.c_str(), target.data(), static_cast<DWORD>(target.size())) !=
            0) {
            SerialPortInfo port;
            port.device = name;
            port.comNumbers = {n};
            port.mayOpen = true;
            ports.push_back(std::move(port));
        }
    }
    SortPorts(ports);
    return ports;
}

void AssignComNumbers(std::vector<SerialPortInfo>&, const PortScanPlaces&) {}

std::vector<SerialPortInfo> DiscoverSerialPorts(const PortScanPlaces& places) {
    return ScanSerialPorts(places);
}

PortOpenFailure DiagnoseOpenFailure(const std::string& device, int error, const std::string&) {
    PortOpenFailure failure;
    failure.reason = PortOpenFailure::Reason::Other;
    failure.device = device;
    failure.error = error;
    return failure;
}

std::string PortHolder(const std::string&, const std::string&) {
    return {};
}

#else

namespace {

// sysfs paths lead upwards through a handful of levels to the USB device at most; a tree that
// loops or nests deeper is not followed further.
constexpr int kMaxLinkHops = 40;
constexpr int kMaxUsbLevels = 8;
// Assigned numbers stay within the port dialogs' list.
constexpr unsigned long kFirstAssigned = 3;
constexpr unsigned long kLastAssigned = 99;

// The file system as seen from root: "" for the real root, else the folder without its
// trailing slash.
class Tree {
  public:
    explicit Tree(const std::string& root) : prefix_(root) {
        while (!prefix_.empty() && prefix_.back() == '/') {
            prefix_.pop_back();
        }
    }

    // A path of the tree ("/dev/ttyUSB0") in the real file system.
    std::string Real(std::string_view path) const { return prefix_ + std::string(path); }

    // path with every symbolic link followed, absolute targets taken inside the tree; nothing
    // when a component is missing or the links loop.
    std::optional<std::string> Resolve(std::string_view path) const {
        std::vector<std::string> pending = Split(path);
        std::reverse(pending.begin(), pending.end());
        std::vector<std::string> done;
        int hops = 0;
        while (!pending.empty()) {
            std::string part = std::move(pending.back());
            pending.pop_back();
            if (part.empty() || part == ".") {
                continue;
            }
            if (part == "..") {
                if (!done.empty()) {
                    done.pop_back();
                }
                continue;
            }
            const std::string candidate = Join(done) + "/" + part;
            struct stat st {};
            if (::lstat(Real(candidate).c_str(), &st) != 0) {
                return std::nullopt;
            }
            if (!S_ISLNK(st.st_mode)) {
                done.push_back(std::move(part));
                continue;
            }
            if (++hops > kMaxLinkHops) {
                return std::nullopt;
            }
            const std::optional<std::string> target = ReadLink(Real(candidate));
            if (!target || target->empty()) {
                return std::nullopt;
            }
            if ((*target)[0] == '/') {
                done.clear();
            }
            std::vector<std::string> more = Split(*target);
            for (auto it = more.rbegin(); it != more.rend(); ++it) {
                pending.push_back(std::move(*it));
            }
        }
        return Join(done).empty() ? std::string("/") : Join(done);
    }

    std::optional<std::string> ReadText(std::string_view path) const {
        const int fd = ::open(Real(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) {
            return std::nullopt;
        }
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        ::close(fd);
        if (n < 0) {
            return std::nullopt;
        }
        std::string text(buffer, static_cast<std::size_t>(n));
        while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == 0)) {
            text.pop_back();
        }
        return text;
    }

    bool Exists(std::string_view path) const {
        struct stat st {};
        return ::lstat(Real(path).c_str(), &st) == 0;
    }

    static std::optional<std::string> ReadLink(const std::string& real) {
        char buffer[4096];
        const ssize_t n = ::readlink(real.c_str(), buffer, sizeof buffer);
        if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer) {
            return std::nullopt;
        }
        return std::string(buffer, static_cast<std::size_t>(n));
    }

    // The names in a real folder, sorted; empty when it cannot be read.
    static std::vector<std::string> List(const std::string& real) {
        std::vector<std::string> names;
        DIR* dir = ::opendir(real.c_str());
        if (dir == nullptr) {
            return names;
        }
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        ::closedir(dir);
        std::sort(names.begin(), names.end(),
                  [](const std::string& a, const std::string& b) { return NaturalLess(a, b); });
        return names;
    }

  private:
    static std::vector<std::string> Split(std::string_view path) {
        std::vector<std::string> parts;
        std::size_t start = 0;
        while (start <= path.size()) {
            const std::size_t slash = path.find('/', start);
            const std::size_t end = slash == std::string_view::npos ? path.size() : slash;
            parts.emplace_back(path.substr(start, end - start));
            start = end + 1;
        }
        return parts;
    }

    static std::string Join(const std::vector<std::string>& parts) {
        std::string path;
        for (const std::string& part : parts) {
            path += "/" + part;
        }
        return path;
    }

    std::string prefix_;
};

std::string Basename(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string Dirname(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos || slash == 0 ? std::string("/")
                                                         : std::string(path.substr(0, slash));
}

bool StartsWith(std::string_view text, std::string_view head) {
    return text.substr(0, head.size()) == head;
}

std::string GroupName(gid_t gid) {
    std::vector<char> buffer(1024);
    group entry{};
    group* found = nullptr;
    int rc = 0;
    while ((rc = ::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
           buffer.size() < (1U << 20)) {
        buffer.resize(buffer.size() * 2);
    }
    if (rc == 0 && found != nullptr && found->gr_name != nullptr) {
        return found->gr_name;
    }
    return std::to_string(gid);
}

void FillAccess(const Tree& tree, SerialPortInfo& port) {
    const std::string real = tree.Real(port.device);
    port.mayOpen = ::faccessat(AT_FDCWD, real.c_str(), R_OK | W_OK, AT_EACCESS) == 0;
    struct stat st {};
    if (::stat(real.c_str(), &st) == 0) {
        port.group = GroupName(st.st_gid);
    }
}

// What the USB device above a tty's device says of itself; false when there is none.
bool ReadUsbAttributes(const Tree& tree, std::string dir, SerialPortInfo& port) {
    for (int level = 0; level < kMaxUsbLevels && StartsWith(dir, "/sys/devices/"); ++level) {
        if (tree.Exists(dir + "/idVendor")) {
            port.vendorId = tree.ReadText(dir + "/idVendor").value_or("");
            port.productId = tree.ReadText(dir + "/idProduct").value_or("");
            port.manufacturer = tree.ReadText(dir + "/manufacturer").value_or("");
            port.product = tree.ReadText(dir + "/product").value_or("");
            port.serial = tree.ReadText(dir + "/serial").value_or("");
            return true;
        }
        dir = Dirname(dir);
    }
    return false;
}

// A ttyS the 8250 driver made for a UART that is not there has type 0 (unknown); kernels
// without the attribute hang those on the platform bus, real ones on pnp or pci.
bool IsPhantomUart(const Tree& tree, const std::string& name, const std::string& device) {
    if (const std::optional<std::string> type = tree.ReadText("/sys/class/tty/" + name + "/type")) {
        return *type == "0";
    }
    const std::optional<std::string> subsystem = tree.Resolve(device + "/subsystem");
    return subsystem && Basename(*subsystem) == "platform";
}

std::vector<SerialPortInfo> ScanSysfs(const Tree& tree) {
    std::vector<SerialPortInfo> ports;
    for (const std::string& name : Tree::List(tree.Real("/sys/class/tty"))) {
        // Consoles, virtual terminals and pseudo-terminals have no device behind them.
        const std::optional<std::string> device =
            tree.Resolve("/sys/class/tty/" + name + "/device");
        if (!device || !tree.Exists("/dev/" + name)) {
            continue;
        }
        SerialPortInfo port;
        port.device = "/dev/" + name;
        const bool usb = ReadUsbAttributes(tree, *device, port);
        if (StartsWith(name, "ttyACM")) {
            port.kind = PortKind::UsbModem;
        } else if (usb || StartsWith(name, "ttyUSB")) {
            port.kind = PortKind::UsbSerial;
        } else if (IsPhantomUart(tree, name, *device)) {
            continue;
        } else {
            port.kind = PortKind::Onboard;
        }
        ports.push_back(std::move(port));
    }
    return ports;
}

// The by-id links udev makes; a link whose device is gone is passed over.
void FindByIdNames(const Tree& tree, std::vector<SerialPortInfo>& ports) {
    const std::string folder = "/dev/serial/by-id";
    for (const std::string& name : Tree::List(tree.Real(folder))) {
        const std::optional<std::string> target = tree.Resolve(folder + "/" + name);
        if (!target) {
            continue;
        }
        for (SerialPortInfo& port : ports) {
            if (port.byId.empty() && port.device == *target) {
                port.byId = folder + "/" + name;
            }
        }
    }
}

// The numbers some link folder holds a comN entry for, whatever it leads to.
std::vector<unsigned long> LinkedNumbers(const std::vector<std::string>& folders) {
    std::vector<unsigned long> numbers;
    for (const std::string& folder : folders) {
        for (const std::string& name : Tree::List(folder)) {
            if (StartsWith(name, "com")) {
                if (const std::optional<unsigned long> n = ComPortNumber(name)) {
                    numbers.push_back(*n);
                }
            }
        }
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

// Where COMn leads, as the serial backend looks it up: the first of its link candidates whose
// target exists, then the UART ttyS<n-1>.
std::optional<std::string> ResolveCom(const Tree& tree, const std::vector<std::string>& folders,
                                      unsigned long n) {
    for (const std::string& folder : folders) {
        const std::string link = folder + "/com" + std::to_string(n);
        struct stat st {};
        if (::lstat(link.c_str(), &st) != 0) {
            continue;
        }
        if (!S_ISLNK(st.st_mode)) {
            // A device node or file put there by hand is used as it is.
            return ::stat(link.c_str(), &st) == 0 ? std::optional<std::string>(link) : std::nullopt;
        }
        const std::optional<std::string> target = Tree::ReadLink(link);
        if (!target) {
            continue;
        }
        const std::string absolute = (*target)[0] == '/' ? *target : Dirname(link) + "/" + *target;
        if (const std::optional<std::string> resolved = tree.Resolve(absolute)) {
            return resolved;
        }
    }
    const std::string uart = "/dev/ttyS" + std::to_string(n - 1);
    if (tree.Exists(uart)) {
        return tree.Resolve(uart);
    }
    return std::nullopt;
}

void NameComPorts(const Tree& tree, const std::vector<std::string>& folders,
                  std::vector<SerialPortInfo>& ports) {
    std::vector<unsigned long> numbers = LinkedNumbers(folders);
    for (const SerialPortInfo& port : ports) {
        if (port.kind == PortKind::Onboard && StartsWith(port.device, "/dev/ttyS")) {
            const std::string index = port.device.substr(9);
            if (!index.empty() && index.size() < 5 &&
                index.find_first_not_of("0123456789") == std::string::npos) {
                numbers.push_back(std::stoul(index) + 1);
            }
        }
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());

    std::vector<SerialPortInfo> extra;
    for (const unsigned long n : numbers) {
        const std::optional<std::string> device = ResolveCom(tree, folders, n);
        if (!device) {
            continue;
        }
        auto same = [&](const SerialPortInfo& port) { return port.device == *device; };
        if (auto it = std::find_if(ports.begin(), ports.end(), same); it != ports.end()) {
            it->comNumbers.push_back(n);
            continue;
        }
        if (auto it = std::find_if(extra.begin(), extra.end(), same); it != extra.end()) {
            it->comNumbers.push_back(n);
            continue;
        }
        // Not a port of sysfs: a pseudo-terminal, or a device the kernel lists elsewhere. A
        // ttyS sysfs did not count as a UART is no port at all.
        struct stat st {};
        if (StartsWith(*device, "/dev/ttyS") || ::stat(tree.Real(*device).c_str(), &st) != 0 ||
            !S_ISCHR(st.st_mode)) {
            continue;
        }
        SerialPortInfo port;
        port.device = *device;
        port.kind = StartsWith(*device, "/dev/pts/") ? PortKind::PseudoTerminal : PortKind::Other;
        port.comNumbers.push_back(n);
        extra.push_back(std::move(port));
    }
    ports.insert(ports.end(), std::make_move_iterator(extra.begin()),
                 std::make_move_iterator(extra.end()));
}

// The lowest comN in folder that is a link reading exactly target.
std::optional<unsigned long> LowestLinkTo(const std::string& folder, const std::string& target) {
    for (const std::string& name : Tree::List(folder)) {
        const std::optional<unsigned long> n = ComPortNumber(name);
        if (n && StartsWith(name, "com") && Tree::ReadLink(folder + "/" + name) == target) {
            return n;  // List() is in natural order, so the first is the lowest
        }
    }
    return std::nullopt;
}

bool NumberTaken(unsigned long n, const std::vector<std::string>& folders,
                 const std::vector<SerialPortInfo>& ports) {
    for (const std::string& folder : folders) {
        struct stat st {};
        if (::lstat((folder + "/com" + std::to_string(n)).c_str(), &st) == 0) {
            return true;
        }
    }
    for (const SerialPortInfo& port : ports) {
        if (std::find(port.comNumbers.begin(), port.comNumbers.end(), n) != port.comNumbers.end()) {
            return true;
        }
    }
    return false;
}

// Two programs assigning at once must not give one adapter two numbers: checking for a link
// after making one does not settle it when the checks interleave, so assignments to a folder
// take turns under a lock on it. Without the lock (a file system that refuses it) symlink()'s
// refusal to replace still keeps every link that exists.
class FolderLock {
  public:
    explicit FolderLock(const std::string& folder)
        : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_ >= 0) {
            while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~FolderLock() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

  private:
    int fd_;
};

bool MakeFolder(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) {
        return S_ISDIR(st.st_mode);
    }
    const std::string parent = Dirname(folder);
    if (parent != folder && parent != "/" && !MakeFolder(parent)) {
        return false;
    }
    return ::mkdir(folder.c_str(), 0755) == 0 || errno == EEXIST;
}

std::string LockFileHolder(const Tree& tree, const std::string& name) {
    for (const char* folder : {"/run/lock", "/var/lock"}) {
        const std::optional<std::string> text =
            tree.ReadText(std::string(folder) + "/LCK.." + name);
        if (!text) {
            continue;
        }
        long pid = 0;
        const std::size_t digits = text->find_first_of("0123456789");
        if (digits != std::string::npos) {
            // The usual form: the number in ASCII, right-aligned in ten places.
            for (std::size_t i = digits; i < text->size() && i < digits + 9 &&
                                         std::isdigit(static_cast<unsigned char>((*text)[i]));
                 ++i) {
                pid = pid * 10 + ((*text)[i] - '0');
            }
        } else if (text->size() == sizeof(std::int32_t)) {
            // The old binary form.
            std::int32_t value = 0;
            std::memcpy(&value, text->data(), sizeof value);
            pid = value;
        }
        // A lock whose process has gone tells nothing.
        if (pid > 0 && tree.Exists("/proc/" + std::to_string(pid))) {
            const std::string comm =
                tree.ReadText("/proc/" + std::to_string(pid) + "/comm").value_or("");
            return (comm.empty() ? "" : comm + " ") + "(pid " + std::to_string(pid) + ")";
        }
    }
    return {};
}

std::string ProcHolder(const Tree& tree, const std::string& device) {
    for (const std::string& pid : Tree::List(tree.Real("/proc"))) {
        if (pid.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        const std::string fds = tree.Real("/proc/" + pid + "/fd");
        for (const std::string& fd : Tree::List(fds)) {
            if (Tree::ReadLink(fds + "/" + fd) == device) {
                const std::string comm = tree.ReadText("/proc/" + pid + "/comm").value_or("");
                return (comm.empty() ? "" : comm + " ") + "(pid " + pid + ")";
            }
        }
    }
    return {};
}

}  // namespace

std::vector<SerialPortInfo> ScanSerialPorts(const PortScanPlaces& places) {
    const Tree tree(places.root);
    std::vector<SerialPortInfo> ports = ScanSysfs(tree);
    FindByIdNames(tree, ports);
    NameComPorts(tree, places.linkDirectories, ports);
    for (SerialPortInfo& port : ports) {
        FillAccess(tree, port);
    }
    SortPorts(ports);
    return ports;
}

void AssignComNumbers(std::vector<SerialPortInfo>& ports, const PortScanPlaces& places) {
    if (places.linkDirectories.empty()) {
        return;
    }
    const std::string& folder = places.linkDirectories.front();
    std::optional<FolderLock> lock;
    for (SerialPortInfo& port : ports) {
        if (port.byId.empty() || !port.comNumbers.empty()) {
            continue;
        }
        if (!lock) {
            if (!MakeFolder(folder)) {
                return;
            }
            lock.emplace(folder);
        }
        // Another program may have linked it since our scan.
        if (const std::optional<unsigned long> linked = LowestLinkTo(folder, port.byId)) {
            port.comNumbers.push_back(*linked);
            continue;
        }
        for (unsigned long n = kFirstAssigned; n <= kLastAssigned; ++n) {
            if (NumberTaken(n, places.linkDirectories, ports)) {
                continue;
            }
            // symlink() never replaces: a name someone took meanwhile is passed by.
            const std::string link = folder + "/com" + std::to_string(n);
            if (::symlink(port.byId.c_str(), link.c_str()) == 0) {
                port.comNumbers.push_back(n);
                break;
            }
            if (errno != EEXIST) {
                return;
            }
        }
    }
}

std::vector<SerialPortInfo> DiscoverSerialPorts(const PortScanPlaces& places) {
    std::vector<SerialPortInfo> ports = ScanSerialPorts(places);
    AssignComNumbers(ports, places);
    SortPorts(ports);
    return ports;
}

std::string PortHolder(const std::string& device, const std::string& root) {
    const Tree tree(root);
    const std::string canonical = tree.Resolve(device).value_or(device);
    std::string holder = LockFileHolder(tree, Basename(canonical));
    if (holder.empty()) {
        holder = ProcHolder(tree, canonical);
    }
    return holder;
}

PortOpenFailure DiagnoseOpenFailure(const std::string& device, int error, const std::string& root) {
    const Tree tree(root);
    PortOpenFailure failure;
    // The device itself, not the comN or by-id link that led to it: that is what the user
    // looks up and what the group and the holder belong to.
    failure.device = tree.Resolve(device).value_or(device);
    failure.error = error;
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case ENOTDIR:
        case ELOOP:
            failure.reason = PortOpenFailure::Reason::NotFound;
            break;
        case EACCES:
        case EPERM: {
            failure.reason = PortOpenFailure::Reason::PermissionDenied;
            struct stat st {};
            if (::stat(tree.Real(failure.device).c_str(), &st) == 0) {
                failure.group = GroupName(st.st_gid);
            }
            break;
        }
        case EBUSY:
        case EWOULDBLOCK:
            failure.reason = PortOpenFailure::Reason::Busy;
            failure.holder = PortHolder(failure.device, root);
            break;
        default:
            failure.reason = PortOpenFailure::Reason::Other;
            break;
    }
    return failure;
}

#endif

}  // namespace tenlo
