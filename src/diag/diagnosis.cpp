#include "diag/diagnosis.h"

#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "app/report.h"
#include "diag/dump.h"
#include "press/clock.h"
#include "windows/discovery.h"

namespace {

const char RUN_CUT_NOTE[] = "# the run's later lines were left out: the diagnosis keeps 64 KB of them";
const char DUMP_CUT_NOTE[] = "# the rest of the dump was left out: the diagnosis keeps 256 KB of it";
const char HEAD_CUT_NOTE[] = "# the rest of the head was left out";
const char END_CUT_NOTE[] = "# the rest of the run's end was left out";

char run_bytes[DIAGNOSIS_RUN_BYTES];
char dump_bytes[DIAGNOSIS_DUMP_BYTES];
DiagnosisText run_text = {run_bytes, sizeof run_bytes, 0, 0, RUN_CUT_NOTE};
DiagnosisText dump_text = {dump_bytes, sizeof dump_bytes, 0, 0, DUMP_CUT_NOTE};
char command_line[4096];
const char COMMAND_NOTES_CUT_NOTE[] = "# more notes on the command were left out";
char command_note_bytes[1024];
DiagnosisText command_notes = {command_note_bytes, sizeof command_note_bytes, 0, 0, COMMAND_NOTES_CUT_NOTE};
// The argument as given (argv lives as long as the run), and the copy the
// paths are made from when it fits.
const wchar_t* given_file = nullptr;
wchar_t diagnosis_file[DIAGNOSIS_PATH_CAPACITY];
uint64_t run_start = 0;

void record_run_line(const char* line)
{
    char prefix[40];
    snprintf(prefix, sizeof prefix, "#> %llu ", (unsigned long long)(current_tick() - run_start));
    append_diagnosis_line(&run_text, prefix, line);
}

void record_dump_line(const char* line)
{
    append_diagnosis_line(&dump_text, "", line);
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
int write_in_one_go(const wchar_t* path, const wchar_t* temporary, const DiagnosisText* const* parts, int count)
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

// Once the new text is in place: the picture taken for it goes in place of
// any old one; without a new picture an old one would tell of another run,
// so it goes.
int place_picture(const wchar_t* picture, const wchar_t* temporary, int shot_written)
{
    if (shot_written > 0 && MoveFileExW(temporary, picture, MOVEFILE_REPLACE_EXISTING))
        return 1;
    DeleteFileW(temporary);
    DeleteFileW(picture);
    return shot_written == 0;
}

}  // namespace

void start_diagnosis(int argc, wchar_t** argv, const wchar_t* file)
{
    given_file = nullptr;
    diagnosis_file[0] = 0;
    command_line[0] = 0;
    start_diagnosis_text(&command_notes, command_note_bytes, sizeof command_note_bytes, COMMAND_NOTES_CUT_NOTE);
    start_diagnosis_text(&run_text, run_bytes, sizeof run_bytes, RUN_CUT_NOTE);
    report_listener = nullptr;
    if (!file || !file[0])
        return;
    given_file = file;
    // A name too long for the picture's temporary one is kept only to be
    // named in the ERROR line at the end.
    if (wcslen(file) + wcslen(L".bmp.tmp") >= DIAGNOSIS_PATH_CAPACITY)
        return;
    wcscpy(diagnosis_file, file);
    record_command(argc, argv, command_line, sizeof command_line, &command_notes);
    run_start = current_tick();
    report_listener = record_run_line;
}

int diagnosis_wanted()
{
    return given_file != nullptr;
}

void write_diagnosis(const char* last_line, int exit_code)
{
    if (!diagnosis_wanted())
        return;
    if (!diagnosis_file[0]) {
        report("ERROR couldn't write %s", to_utf8(given_file));
        return;
    }
    ULONGLONG diagnosis_end = GetTickCount64() + DIAGNOSIS_LIMIT_MS;
    // The dump's lines go into the file, not out as the run's.
    ReportHook saved_hook = report_hook;
    report_listener = nullptr;
    report_hook = record_dump_line;
    start_diagnosis_text(&dump_text, dump_bytes, sizeof dump_bytes, DUMP_CUT_NOTE);
    dumped_elements = 0;

    wchar_t picture[DIAGNOSIS_PATH_CAPACITY];
    wchar_t picture_temporary[DIAGNOSIS_PATH_CAPACITY];
    wchar_t temporary[DIAGNOSIS_PATH_CAPACITY];
    // All fit: start_diagnosis kept only a name with room for the longest.
    path_with(picture, diagnosis_file, L".bmp");
    path_with(picture_temporary, diagnosis_file, L".bmp.tmp");
    path_with(temporary, diagnosis_file, L".tmp");
    LauncherWindows found;
    HWND best = find_launcher_windows(&found);
    int uia = DUMP_UIA_ANSWERED;
    int shot_written = 0;
    RECT client = {0, 0, 0, 0};
    if (best)
        uia = dump_launcher(best, &found, diagnosis_end - DIAGNOSIS_WRITE_MS, picture_temporary, &shot_written,
                            &client);
    report_hook = saved_hook;

    // The head: what this is and the command as the tool read it.
    char head_bytes[8192];
    DiagnosisText head;
    start_diagnosis_text(&head, head_bytes, sizeof head_bytes, HEAD_CUT_NOTE);
    append_diagnosis_line(&head, "",
                          "# KestrovV6-Play diagnosis: the launcher as the run left it, and the run's own lines.");
    append_diagnosis_line(&head, "#> command ", command_line);
    // Then the notes on the command (command_notes), then where the
    // launcher's client area was when its picture was taken.
    char place_bytes[256];
    DiagnosisText place;
    start_diagnosis_text(&place, place_bytes, sizeof place_bytes, HEAD_CUT_NOTE);
    if (client.right > client.left) {
        char client_line[80];
        snprintf(client_line, sizeof client_line, "#> client %ld %ld %ld %ld", (long)client.left, (long)client.top,
                 (long)(client.right - client.left), (long)(client.bottom - client.top));
        append_diagnosis_line(&place, "", client_line);
    }
    // The scale the player's launcher was drawn at, so that a replay can
    // serve it at the same one.
    if (best && IsWindow(best)) {
        char scale[96];
        describe_window_scale(best, scale, sizeof scale);
        append_diagnosis_line(&place, "#> dpi ", scale);
    }

    char end_bytes[1024];
    DiagnosisText end;
    start_diagnosis_text(&end, end_bytes, sizeof end_bytes, END_CUT_NOTE);
    char prefix[40];
    snprintf(prefix, sizeof prefix, "#> %llu ", (unsigned long long)(current_tick() - run_start));
    append_diagnosis_line(&end, prefix, last_line);
    char exit_line[32];
    snprintf(exit_line, sizeof exit_line, "#> exit %d", exit_code);
    append_diagnosis_line(&end, "", exit_line);
    if (!best)
        append_diagnosis_line(&end, "", "# no launcher window was found");
    if (uia == DUMP_UIA_STOPPED)
        append_diagnosis_line(&end, "", "# cut short: the launcher stopped answering");
    if (uia == DUMP_UIA_ELEVATED)
        append_diagnosis_line(&end, "",
                              "# the launcher runs elevated (as administrator) and the tool does not: Windows "
                              "keeps its UI and input from the tool; it did not stop answering");
    if (uia == DUMP_UIA_OUT_OF_TIME)
        append_diagnosis_line(&end, "", "# cut short: the diagnosis ran out of time; the launcher still answered");
    if (uia == DUMP_UIA_RUN_ENDED)
        append_diagnosis_line(&end, "",
                              "# cut short: the run's end cut a UI Automation call short and the launcher "
                              "did not answer, so its UI was not asked again");
    const DiagnosisText* parts[] = {&head, &command_notes, &place, &run_text, &end, &dump_text};
    if (write_in_one_go(diagnosis_file, temporary, parts, sizeof parts / sizeof parts[0])) {
        // Both are in place before the line that says where they are.
        int picture_placed = place_picture(picture, picture_temporary, shot_written);
        report("DIAGNOSIS %s", to_utf8(diagnosis_file));
        if (!picture_placed)
            report("ERROR couldn't write %s", to_utf8(picture));
    } else {
        // The old text stays, and so does the old picture that belongs to
        // it: a new picture beside it would pair two runs.
        DeleteFileW(picture_temporary);
        report("ERROR couldn't write %s", to_utf8(given_file));
    }
    report_listener = record_run_line;
}
