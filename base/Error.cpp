#include "base/Error.h"

#include <cerrno>
#include <system_error>

namespace padsmith {

const char* ErrorKindName(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::kNone: return "";
        case ErrorKind::kAbsent: return "absent";
        case ErrorKind::kHeld: return "held";
        case ErrorKind::kPermissionDenied: return "permission-denied";
        case ErrorKind::kGone: return "gone";
        case ErrorKind::kRefused: return "refused";
        case ErrorKind::kIo: return "io";
        case ErrorKind::kBadImage: return "bad-image";
        case ErrorKind::kDiverged: return "diverged";
        case ErrorKind::kRejected: return "rejected";
        case ErrorKind::kUsage: return "usage";
        case ErrorKind::kMalformed: return "malformed";
    }
    return "io";
}

Error Error::Within(const std::string& step) const {
    if (!*this) return *this;
    return Error(kind, message.empty() ? step : step + ": " + message);
}

Error ErrorFromErrno(int code, const std::string& operation) {
    const std::error_condition condition = std::generic_category().default_error_condition(code);
    ErrorKind kind = ErrorKind::kIo;
    if (condition == std::errc::broken_pipe) {
        kind = ErrorKind::kRefused;
    } else if (condition == std::errc::no_such_device || condition == std::errc::no_such_device_or_address ||
               condition == std::errc::io_error
#ifdef ESHUTDOWN
               || code == ESHUTDOWN
#endif
    ) {
        kind = ErrorKind::kGone;
    } else if (condition == std::errc::permission_denied || condition == std::errc::operation_not_permitted) {
        kind = ErrorKind::kPermissionDenied;
    } else if (condition == std::errc::device_or_resource_busy ||
               condition == std::errc::operation_would_block ||
               condition == std::errc::resource_unavailable_try_again) {
        kind = ErrorKind::kHeld;
    } else if (condition == std::errc::no_such_file_or_directory) {
        kind = ErrorKind::kAbsent;
    }
    return Error(kind, operation + ": " + std::generic_category().message(code));
}

}  // namespace padsmith
