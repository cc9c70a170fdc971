// The text of a diagnosis, kept in bounded buffers: whole lines only, and a
// buffer that fills up ends where it was cut, with a note saying so. A line
// left out of the middle would hang the lines after it under the wrong
// element when the page is read back.
#pragma once

#include <stddef.h>

// Lines of one part of the file, with CR LF ends, kept terminated. The
// caller provides the bytes.
struct DiagnosisText {
    char* bytes;
    size_t capacity;
    size_t length;
    int cut;               // 1 once a line did not fit: nothing more goes in
    const char* cut_note;  // the line that ends a cut text (room is kept for it)
};

// An empty text over `bytes` (at least room for the note and its CR LF).
void start_diagnosis_text(DiagnosisText* text, char* bytes, size_t capacity, const char* cut_note);
// `prefix` and `line` as one line. When it would leave no room for the
// note, the note goes in instead and the text is cut; a cut text takes no
// more lines. 1 when the line went in.
int append_diagnosis_line(DiagnosisText* text, const char* prefix, const char* line);

// The command word for the file's "#> command" line: as it is, or in double
// quotes with inner quotes doubled when it holds a blank or a quote or is
// empty. Appends to `out` (capacity `size`, kept terminated); 0 when cut.
int append_command_word(char* out, size_t size, const char* word);
