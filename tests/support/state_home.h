#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace tenlo::testing {

// XDG_STATE_HOME (where the calibration journal goes) set to a test's folder for as long as the
// object lives, then put back as it was.
class StateHome {
  public:
    explicit StateHome(const std::string& path) {
        if (const char* old = std::getenv("XDG_STATE_HOME")) {
            saved_ = old;
        }
        Set(path);
    }
    ~StateHome() { Set(saved_.value_or("")); }
    StateHome(const StateHome&) = delete;
    StateHome& operator=(const StateHome&) = delete;

  private:
    static void Set(const std::string& value) {
#ifdef _WIN32
        ::_putenv_s("XDG_STATE_HOME", value.c_str());
#else
        if (value.empty()) {
            ::unsetenv("XDG_STATE_HOME");
        } else {
            ::setenv("XDG_STATE_HOME", value.c_str(), 1);
        }
#endif
    }

    std::optional<std::string> saved_;
};

}  // namespace tenlo::testing
