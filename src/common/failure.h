#pragma once
// The one failure type of the core: a kind, for the code that reacts to it, and the
// message text, for the person who reads it ("bad index"). Only this type is caught
// where a failure becomes a host result or a retry; anything else (std::bad_alloc,
// say) is a different kind of problem.
//
// A failure may also name what it is about (subject: an archive's path, say) and, when
// its message only sums up ("error"), the message underneath (cause). The plug-in
// looks at the kind only; the tool shows describe().
#include <stdexcept>
#include <string>
#include <utility>

namespace kestran {

enum class FailureKind {
    NotFound,     // nothing of that name: "No such file in database!", no such entry
    CannotOpen,   // a file that cannot be opened: "Can't open file!"
    Unreadable,   // there, but no regular file, or reading it failed
    Damaged,      // the bytes do not follow the format: the archive's own messages
    TooLarge,     // past a bound that keeps memory and time in check
    CannotWrite,  // a local file or output that cannot be written
    Invalid,      // a request or setting that cannot be used
};

class Failure : public std::runtime_error {
public:
    Failure(FailureKind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    Failure(FailureKind kind, const std::string& message, std::string subject, std::string cause = {})
        : std::runtime_error(message), kind_(kind), subject_(std::move(subject)), cause_(std::move(cause)) {}

    FailureKind kind() const { return kind_; }
    // The file or path the failure is about; empty when it names none.
    const std::string& subject() const { return subject_; }
    // The message underneath a summing-up one; empty when what() says it all.
    const std::string& cause() const { return cause_; }

    // The same failure, about subject.
    Failure about(std::string subject) const { return Failure(kind_, what(), std::move(subject), cause_); }

    // "subject: message" (the cause in place of a summing-up message), for people.
    std::string describe() const {
        const std::string text = cause_.empty() ? std::string(what()) : cause_;
        return subject_.empty() ? text : subject_ + ": " + text;
    }

private:
    FailureKind kind_;
    std::string subject_;
    std::string cause_;
};

}  // namespace kestran
