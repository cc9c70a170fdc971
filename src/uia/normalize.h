// The normal form of names and the fixed word lists.
#pragma once

#include <wchar.h>

// Blanks collapsed to one space, lower case, no non-alphanumeric unit at
// either end; at most capacity - 1 units, cut before the trim. Null gives "".
void normalize_text(const wchar_t* source, wchar_t* destination, int capacity);
// 1 when `text` equals an entry of the null-terminated `list`.
int in_word_list(const wchar_t* text, const wchar_t* const* list);

extern const wchar_t* const play_words[];     // 45 entries and a null
extern const wchar_t* const login_words[];    // 25 entries and a null
extern const wchar_t* const dismiss_words[];  // 37 entries and a null
