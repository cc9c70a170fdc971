// Report lines: one event per line on standard output, UTF-8, flushed at once.
#pragma once

#if defined(__MINGW32__)
#define KV6_PRINTF_LIKE(f, a) __attribute__((format(gnu_printf, f, a)))
#elif defined(__GNUC__)
#define KV6_PRINTF_LIKE(f, a) __attribute__((format(printf, f, a)))
#else
#define KV6_PRINTF_LIKE(f, a)
#endif

// Prints one line (the format holds no line feed) and flushes it.
void report(const char* format, ...) KV6_PRINTF_LIKE(1, 2);

// From now on only the calling thread's lines go out: for when the tool stops
// waiting for a worker that reports.
void keep_reports_to_this_thread();

// UTF-8 form of a wide string, line breaks turned into blanks, in one of four
// rotating buffers of the calling thread: valid until four more calls. Too long (over 1024
// bytes with the terminator) or unconvertible gives "". A null string gives "".
const char* to_utf8(const wchar_t* text);

enum { UTF8_BUFFER_BYTES = 1024, UTF8_BUFFER_COUNT = 4 };

// Test seam: when set, each finished line goes to the hook instead of stdout.
typedef void (*ReportHook)(const char* line);
extern ReportHook report_hook;
// When set, also hears each line after it went out (the run's own record for
// a diagnosis). Both are called under the report lock, one line at a time.
extern ReportHook report_listener;
