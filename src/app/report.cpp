#include "app/report.h"

#include <windows.h>
#include <stdarg.h>
#include <stdio.h>

ReportHook report_hook = nullptr;

static char utf8_buffers[UTF8_BUFFER_COUNT][UTF8_BUFFER_BYTES];
static unsigned int utf8_calls = 0;

void report(const char* format, ...)
{
    va_list values;
    va_start(values, format);
    if (report_hook) {
        char line[4096];
        vsnprintf(line, sizeof line, format, values);
        report_hook(line);
    } else {
        vfprintf(stdout, format, values);
        fputc('\n', stdout);
        fflush(stdout);
    }
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
