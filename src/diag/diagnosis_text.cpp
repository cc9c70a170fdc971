#include "diag/diagnosis_text.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "app/option_words.h"

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

// One code point as UTF-8 into `bytes`; gives its length.
static size_t encode_utf8(uint32_t code, char* bytes)
{
    if (code < 0x80) {
        bytes[0] = (char)code;
        return 1;
    }
    if (code < 0x800) {
        bytes[0] = (char)(0xC0 | code >> 6);
        bytes[1] = (char)(0x80 | (code & 0x3F));
        return 2;
    }
    if (code < 0x10000) {
        bytes[0] = (char)(0xE0 | code >> 12);
        bytes[1] = (char)(0x80 | (code >> 6 & 0x3F));
        bytes[2] = (char)(0x80 | (code & 0x3F));
        return 3;
    }
    bytes[0] = (char)(0xF0 | code >> 18);
    bytes[1] = (char)(0x80 | (code >> 12 & 0x3F));
    bytes[2] = (char)(0x80 | (code >> 6 & 0x3F));
    bytes[3] = (char)(0x80 | (code & 0x3F));
    return 4;
}

size_t command_word_utf8(const wchar_t* word, char* out, size_t capacity)
{
    size_t full = 0, kept = 0;
    int cut = 0;
    for (const wchar_t* c = word; *c; c++) {
        uint32_t code = (uint32_t)*c;
        uint32_t next = (uint32_t)c[1];
        if (code >= 0xD800 && code < 0xDC00 && next >= 0xDC00 && next < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (next - 0xDC00);
            c++;
        } else if ((code >= 0xD800 && code < 0xE000) || code > 0x10FFFF) {
            code = 0xFFFD;
        }
        if (code == '\r' || code == '\n')
            code = ' ';
        char bytes[4];
        size_t length = encode_utf8(code, bytes);
        full += length;
        // Nothing after the first character that does not fit: the cut
        // keeps the word's beginning whole.
        cut = cut || kept + length >= capacity;
        if (!cut) {
            memcpy(out + kept, bytes, length);
            kept += length;
        }
    }
    out[kept] = 0;
    return full;
}

void record_command(int argc, wchar_t* const* argv, char* line, size_t size, DiagnosisText* notes)
{
    line[0] = 0;
    int recorded = 0;
    int words = 1;
    for (int i = 1; i < argc; i += words) {
        int kind = OPTION_NONE;
        words = i == 1 ? 1 : read_option_at(argc, argv, i, &kind);
        if (kind == OPTION_DIAGNOSE)
            continue;
        for (int k = 0; k < words; k++) {
            char word[COMMAND_WORD_BYTES];
            size_t full = command_word_utf8(argv[i + k], word, sizeof word);
            recorded++;
            char note[160];
            if (!append_command_word(line, size, word)) {
                snprintf(note, sizeof note,
                         "# the command's words from word %d on were left out: the line keeps %llu bytes", recorded,
                         (unsigned long long)(size - 1));
                append_diagnosis_line(notes, "", note);
                return;
            }
            if (full >= sizeof word) {
                snprintf(note, sizeof note, "# word %d of the command was cut: %llu of its %llu UTF-8 bytes are kept",
                         recorded, (unsigned long long)strlen(word), (unsigned long long)full);
                append_diagnosis_line(notes, "", note);
            }
        }
    }
}
