#pragma once
// One way to report a failure at the file and delivery boundaries: a Status
// is either fine, or carries the reason in words, with the system's own error
// text in it.  A reason is never empty and never "Success".

#include <string>
#include <utility>

namespace kesto {

class [[nodiscard]] Status {
public:
    Status() = default; // fine

    static Status failure(std::string reason) {
        Status s;
        s.reason_ = reason.empty() ? std::string("unknown error") : std::move(reason);
        return s;
    }

    bool ok() const { return reason_.empty(); }
    explicit operator bool() const { return ok(); }
    // Why it failed; empty when it did not.
    const std::string& reason() const { return reason_; }

    // The same failure with what it concerns in front ("PLAN.GLF: ...").
    Status about(const std::string& what) const {
        return ok() ? *this : failure(what + ": " + reason_);
    }

private:
    std::string reason_;
};

} // namespace kesto
