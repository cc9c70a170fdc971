// A failed run's own diagnosis (--diagnose FILE): the launcher's page as
// `dump` prints it at the moment the run gave up, the run's command and
// every line it printed, and the picture beside it, so that the run can be
// replayed as the player's machine served it.
#pragma once

#include <stdint.h>
#include <wchar.h>

#include "diag/diagnosis_text.h"

enum {
    // The run's own lines and the dump each keep at most this much text;
    // what does not fit is left out from where it was cut, and the file
    // says so there.
    DIAGNOSIS_RUN_BYTES = 64 * 1024,
    DIAGNOSIS_DUMP_BYTES = 256 * 1024,
    // FILE with ".bmp.tmp" added must fit, with its terminator.
    DIAGNOSIS_PATH_CAPACITY = 1024,
    // One deadline for the whole diagnosis, its steps in turn:
    // the picture bounds itself: two PrintWindow tries of 1.5 s, the
    // bring-to-front's wait for an answer and its call (0.3 s each), the
    // screen copy's 0.35 s, each wait up to a 0.1 s slice late.
    DIAGNOSIS_PICTURE_MS = 4500,
    // The UI Automation part (the nudge, the settle, the tree and the scan)
    // has this share at least, and what the picture left of its own: a
    // small page takes well under a second on Windows and several under
    // Wine 10 on a loaded machine; a launcher Windows reports hung ends it
    // sooner.
    DIAGNOSIS_UIA_MS = 10000,
    // Both files, a few hundred KB and a few MB, written and renamed.
    DIAGNOSIS_WRITE_MS = 500,
    DIAGNOSIS_LIMIT_MS = DIAGNOSIS_UIA_MS + DIAGNOSIS_PICTURE_MS + DIAGNOSIS_WRITE_MS,
};

// Keeps the command (the words after the program's name, less the
// --diagnose options the tool read, with their files; see record_command)
// and, from now on, every report line with its milliseconds since this
// call. `file` is the argument itself, kept for the whole run; a
// null or empty one turns the diagnosis off.
void start_diagnosis(int argc, wchar_t** argv, const wchar_t* file);
// 1 when this run writes a diagnosis.
int diagnosis_wanted();
// Before the run's last line: writes FILE and FILE.bmp (each under a
// temporary name, then renamed over any old one; the picture only once the
// text is in place) and prints "DIAGNOSIS FILE", or "ERROR couldn't write
// FILE" (a FILE too long for its picture's name among the causes).
// `last_line` and `exit_code` are the run's end, printed after this.
// Nothing happens unless a diagnosis was asked for.
void write_diagnosis(const char* last_line, int exit_code);
