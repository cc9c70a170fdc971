#include "app/report.h"

#include <windows.h>
#include <stdarg.h>
#include <stdio.h>

ReportHook report_hook = nullptr;
ReportHook report_listener = nullptr;

// A worker may print (dump's tree walk) and may still be running after the
// tool stopped waiting for it: each thread converts into buffers of its own.
static thread_local char utf8_buffers[UTF8_BUFFER_COUNT][UTF8_BUFFER_BYTES];
static thread_local unsigned int utf8_calls = 0;

// Lines go out whole and one at a time; once only one thread may report,
// lines of the others are dropped.
static SRWLOCK report_lock = SRWLOCK_INIT;
static DWORD sole_reporter = 0;

void keep_reports_to_this_thread()
{
    AcquireSRWLockExclusive(&report_lock);
    sole_reporter = GetCurrentThreadId();
    ReleaseSRWLockExclusive(&report_lock);
}

void report(const char* format, ...)
{
    va_list values;
    va_start(values, format);
    AcquireSRWLockExclusive(&report_lock);
    if (sole_reporter != 0 && sole_reporter != GetCurrentThreadId()) {
        // a worker the tool gave up on: its lines would come out of order
    } else {
        // Three converted strings at most (1 KB each) and a few numbers.
        char line[4096];
        vsnprintf(line, sizeof line, format, values);
        if (report_hook) {
            report_hook(line);
        } else {
            fputs(line, stdout);
            fputc('\n', stdout);
            fflush(stdout);
        }
        if (report_listener)
            report_listener(line);
    }
    ReleaseSRWLockExclusive(&report_lock);
    va_end(values);
}

const char* to_utf8(const wchar_t* text)
{
    char* buffer = utf8_buffers[utf8_calls & 3u];
    utf8_calls++;
    buffer[0] = 0;
    if (!text)
        return buffer;
    // The whole string or nothing: a too long text is not cut.
    if (WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, UTF8_BUFFER_BYTES, nullptr, nullptr) == 0)
        buffer[0] = 0;
    for (char* c = buffer; *c; c++)
        if (*c == '\r' || *c == '\n')
            *c = ' ';
    return buffer;
}
