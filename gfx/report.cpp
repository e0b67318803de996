// Once-per-cause lines on stderr (see report.h). Owns the list of flags
// that have printed.
#include "gfx/report.h"

#include <cstdarg>
#include <cstdio>

namespace {

ONCE_FLAG* said_flags = nullptr;

} // namespace

bool report_once(ONCE_FLAG& flag, const char* format, ...) {
    if (flag.said) {
        return false;
    }
    flag.said = true;
    flag.next_said = said_flags;
    said_flags = &flag;
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    return true;
}

void reports_reset() {
    while (ONCE_FLAG* flag = said_flags) {
        said_flags = flag->next_said;
        flag->said = false;
        flag->next_said = nullptr;
    }
}
