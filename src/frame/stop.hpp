// The one way a run ends early: throw Stop. main() catches it, flushes standard output and the log,
// writes the message (if any) on standard error and exits with status 0, as every end of the
// process does.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace quelmar::frame {

class Stop : public std::exception {
  public:
    // A stop with a message for standard error.
    explicit Stop(std::string message) : message_(std::move(message)), has_message_(true) {}
    // A stop without a message (the reason is already in the log).
    static Stop silent() { return Stop(); }

    const std::string& message() const { return message_; }
    bool has_message() const { return has_message_; }
    const char* what() const noexcept override { return message_.c_str(); }

  private:
    Stop() = default;
    std::string message_;
    bool has_message_ = false;
};

} // namespace quelmar::frame
