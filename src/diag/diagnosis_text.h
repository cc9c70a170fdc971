// The text of a diagnosis, kept in bounded buffers: whole lines only, and a
// buffer that fills up ends where it was cut, with a note saying so. A line
// left out of the middle would hang the lines after it under the wrong
// element when the page is read back.
#pragma once

#include <stddef.h>
#include <wchar.h>

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

enum {
    // A command word keeps at most 1,023 UTF-8 bytes, as a report field does;
    // a longer one goes in cut, with a note.
    COMMAND_WORD_BYTES = 1024,
};

// UTF-8 of a command word into `out` (capacity bytes, at least 1; kept
// terminated): as many whole characters as fit, line breaks as blanks (the
// word stays on its line), an unpaired surrogate as U+FFFD. Gives the whole
// word's UTF-8 length: capacity or more when it was cut.
size_t command_word_utf8(const wchar_t* word, char* out, size_t capacity);

// The "#> command" line's words for a run's arguments (argv[1] the command,
// its options from argv[2] on) into `line` (capacity `size`): every word but
// the --diagnose options the tool reads as such, with their files. A word
// cut to COMMAND_WORD_BYTES, or the words from one that no longer fits the
// line on (they are left out), get a line each in `notes`.
void record_command(int argc, wchar_t* const* argv, char* line, size_t size, DiagnosisText* notes);
