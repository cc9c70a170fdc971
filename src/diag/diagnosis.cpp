#include "diag/diagnosis.h"

#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "app/report.h"
#include "diag/dump.h"
#include "press/clock.h"
#include "windows/discovery.h"

namespace {

// Text kept with its length; a line that does not fit is left out, whole.
struct TextBuffer {
    char* bytes;
    size_t capacity;
    size_t length;
    int cut;
};

char run_bytes[DIAGNOSIS_RUN_BYTES];
char dump_bytes[DIAGNOSIS_DUMP_BYTES];
TextBuffer run_text = {run_bytes, sizeof run_bytes, 0, 0};
TextBuffer dump_text = {dump_bytes, sizeof dump_bytes, 0, 0};
char command_line[4096];
wchar_t diagnosis_file[DIAGNOSIS_PATH_CAPACITY];
uint64_t run_start = 0;

void append_text(TextBuffer* buffer, const char* prefix, const char* line)
{
    size_t need = strlen(prefix) + strlen(line) + 2;  // CR LF
    if (buffer->length + need >= buffer->capacity) {
        buffer->cut = 1;
        return;
    }
    int written = snprintf(buffer->bytes + buffer->length, buffer->capacity - buffer->length, "%s%s\r\n",
                           prefix, line);
    if (written > 0)
        buffer->length += (size_t)written;
}

void record_run_line(const char* line)
{
    char prefix[40];
    snprintf(prefix, sizeof prefix, "#> %llu ", (unsigned long long)(current_tick() - run_start));
    append_text(&run_text, prefix, line);
}

void record_dump_line(const char* line)
{
    append_text(&dump_text, "", line);
}

// `path` with `suffix` added, or 0 when it would not fit.
int path_with(wchar_t* out, const wchar_t* path, const wchar_t* suffix)
{
    size_t length = wcslen(path) + wcslen(suffix);
    if (length >= DIAGNOSIS_PATH_CAPACITY)
        return 0;
    wcscpy(out, path);
    wcscat(out, suffix);
    return 1;
}

// Writes the parts under `temporary`, then puts it in place of `path`.
int write_in_one_go(const wchar_t* path, const wchar_t* temporary, const TextBuffer* const* parts, int count)
{
    FILE* file = _wfopen(temporary, L"wb");
    if (!file)
        return 0;
    int written = 1;
    for (int i = 0; i < count; i++)
        if (parts[i]->length && fwrite(parts[i]->bytes, 1, parts[i]->length, file) != parts[i]->length)
            written = 0;
    if (fclose(file) != 0)
        written = 0;
    if (written && MoveFileExW(temporary, path, MOVEFILE_REPLACE_EXISTING))
        return 1;
    DeleteFileW(temporary);
    return 0;
}

// The picture taken for the dump goes in place of any old one; without a
// new picture an old one would tell of another run, so it goes.
int place_picture(const wchar_t* picture, const wchar_t* temporary, int shot_written)
{
    if (shot_written > 0 && MoveFileExW(temporary, picture, MOVEFILE_REPLACE_EXISTING))
        return 1;
    DeleteFileW(temporary);
    DeleteFileW(picture);
    return shot_written == 0;
}

}  // namespace

int append_command_word(char* out, size_t size, const char* word)
{
    size_t at = strlen(out);
    int quoted = word[0] == 0 || strpbrk(word, " \t\"") != nullptr;
    const char* separator = at ? " " : "";
    size_t need = strlen(separator) + (quoted ? 2 : 0);
    for (const char* c = word; *c; c++)
        need += *c == '"' ? 2 : 1;
    if (at + need >= size)
        return 0;
    strcat(out, separator);
    at = strlen(out);
    if (quoted)
        out[at++] = '"';
    for (const char* c = word; *c; c++) {
        if (*c == '"' && quoted)
            out[at++] = '"';
        out[at++] = *c;
    }
    if (quoted)
        out[at++] = '"';
    out[at] = 0;
    return 1;
}

void start_diagnosis(int argc, wchar_t** argv, const wchar_t* file)
{
    diagnosis_file[0] = 0;
    command_line[0] = 0;
    run_text.length = 0;
    run_text.cut = 0;
    report_listener = nullptr;
    if (!file || !file[0] || wcslen(file) >= DIAGNOSIS_PATH_CAPACITY)
        return;
    wcscpy(diagnosis_file, file);
    for (int i = 1; i < argc; i++) {
        if (wcscmp(argv[i], L"--diagnose") == 0 && i + 1 < argc) {
            i++;
            continue;
        }
        if (!append_command_word(command_line, sizeof command_line, to_utf8(argv[i])))
            break;
    }
    run_start = current_tick();
    report_listener = record_run_line;
}

int diagnosis_wanted()
{
    return diagnosis_file[0] != 0;
}

void write_diagnosis(const char* last_line, int exit_code)
{
    if (!diagnosis_wanted())
        return;
    // The dump's lines go into the file, not out as the run's.
    ReportHook saved_hook = report_hook;
    report_listener = nullptr;
    report_hook = record_dump_line;
    dump_text.length = 0;
    dump_text.cut = 0;
    dumped_elements = 0;

    wchar_t picture[DIAGNOSIS_PATH_CAPACITY];
    wchar_t picture_temporary[DIAGNOSIS_PATH_CAPACITY];
    wchar_t temporary[DIAGNOSIS_PATH_CAPACITY];
    int paths = path_with(picture, diagnosis_file, L".bmp") &&
                path_with(picture_temporary, diagnosis_file, L".bmp.tmp") &&
                path_with(temporary, diagnosis_file, L".tmp");
    LauncherWindows found;
    HWND best = find_launcher_windows(&found);
    int cut_short = 0;
    int shot_written = 0;
    if (best && paths)
        cut_short = dump_launcher(best, &found, DIAGNOSIS_UIA_LIMIT_MS, picture_temporary, &shot_written);
    report_hook = saved_hook;

    // The head: what this is, the command, the run's lines and its end.
    char head_bytes[8192];
    TextBuffer head = {head_bytes, sizeof head_bytes, 0, 0};
    append_text(&head, "", "# KestrovV6-Play diagnosis: the launcher as the run left it, and the run's own lines.");
    append_text(&head, "#> command ", command_line);
    char end_bytes[1024];
    TextBuffer end = {end_bytes, sizeof end_bytes, 0, 0};
    char prefix[40];
    snprintf(prefix, sizeof prefix, "#> %llu ", (unsigned long long)(current_tick() - run_start));
    append_text(&end, prefix, last_line);
    char exit_line[32];
    snprintf(exit_line, sizeof exit_line, "#> exit %d", exit_code);
    append_text(&end, "", exit_line);
    if (run_text.cut || dump_text.cut)
        append_text(&end, "", "# some lines were left out: the diagnosis keeps a bounded amount of text");
    if (!best)
        append_text(&end, "", "# no launcher window was found");
    if (cut_short)
        append_text(&end, "", "# cut short: the launcher stopped answering");
    const TextBuffer* parts[] = {&head, &run_text, &end, &dump_text};
    int written = paths && write_in_one_go(diagnosis_file, temporary, parts, 4);
    int picture_placed = paths && place_picture(picture, picture_temporary, shot_written);
    if (written) {
        report("DIAGNOSIS %s", to_utf8(diagnosis_file));
        if (!picture_placed)
            report("ERROR couldn't write %s", to_utf8(picture));
    } else {
        report("ERROR couldn't write %s", to_utf8(diagnosis_file));
    }
    report_listener = record_run_line;
}
