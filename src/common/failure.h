#pragma once
// The one failure type of the core: a plain message text such as "bad index".
// Only this type is caught where a failure becomes a host result or a retry;
// anything else (std::bad_alloc, say) is a different kind of problem.
#include <stdexcept>
#include <string>

namespace kestran {

class Failure : public std::runtime_error {
public:
    explicit Failure(const std::string& message) : std::runtime_error(message) {}
    explicit Failure(const char* message) : std::runtime_error(message) {}
};

}  // namespace kestran
