// Lines on stderr that name a mistake once: each cause has its own ONCE_FLAG
// (usually a static at the place that sees the mistake), and report_once
// prints its line only the first time. Owns the list of flags that have
// spoken, so tests can let them speak again. Relies on nothing else.
#pragma once

struct ONCE_FLAG {
    bool said = false;
    ONCE_FLAG* next_said = nullptr; // link of the list reports_reset walks
};

// Prints the printf-formatted line (give it its newline) unless flag has
// already said its line; true when it printed.
bool report_once(ONCE_FLAG& flag, const char* format, ...)
#if defined(__GNUC__) || defined(__clang__)
    // The compiler checks the arguments against the format.
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// Every flag may say its line again (tests start from here).
void reports_reset();
