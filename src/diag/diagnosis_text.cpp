#include "diag/diagnosis_text.h"

#include <string.h>

// Copies `part` at the end of the text; the caller checked the room.
static void put_part(DiagnosisText* text, const char* part, size_t length)
{
    memcpy(text->bytes + text->length, part, length);
    text->length += length;
}

static void put_line(DiagnosisText* text, const char* prefix, const char* line)
{
    put_part(text, prefix, strlen(prefix));
    put_part(text, line, strlen(line));
    put_part(text, "\r\n", 2);
    text->bytes[text->length] = 0;
}

void start_diagnosis_text(DiagnosisText* text, char* bytes, size_t capacity, const char* cut_note)
{
    text->bytes = bytes;
    text->capacity = capacity;
    text->length = 0;
    text->cut = 0;
    text->cut_note = cut_note;
    if (capacity)
        bytes[0] = 0;
}

int append_diagnosis_line(DiagnosisText* text, const char* prefix, const char* line)
{
    if (text->cut)
        return 0;
    size_t note = strlen(text->cut_note) + 2;
    size_t need = strlen(prefix) + strlen(line) + 2;
    // Room for this line, the note after it and the terminator.
    if (text->length + need + note < text->capacity) {
        put_line(text, prefix, line);
        return 1;
    }
    text->cut = 1;
    if (text->length + note < text->capacity)
        put_line(text, "", text->cut_note);
    return 0;
}

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
