// The normal form of names and the word lists.
#include <gtest/gtest.h>

#include <string>

#include "uia/normalize.h"

namespace {

std::wstring normal(const wchar_t* source, int capacity = 160)
{
    wchar_t out[512];
    wmemset(out, L'#', 512);
    normalize_text(source, out, capacity);
    return out;
}

TEST(NormalForm, BlanksCollapseAndLowerCase)
{
    struct Case {
        const wchar_t* source;
        const wchar_t* normal;
    } cases[] = {
        {L"Play  Now", L"play now"},
        {L"\tPlay\r\n\u00A0Now \u00A0", L"play now"},
        {L"   PLAY", L"play"},
        {L"\u2192 PLAY", L"play"},             // an arrow and a blank at the start
        {L"Play!", L"play"},
        {L"(1) Play", L"1) play"},             // decoration inside stays
        {L"\u00ABJ\u00C1T\u00C9K\u00BB", L"j\u00e1t\u00e9k"},
        {L"\u0418\u0413\u0420\u0410\u0422\u042C", L"\u0438\u0433\u0440\u0430\u0442\u044C"},
        {L"a\u000Bb", L"a\u000Bb"},            // vertical tab is no blank
        {L"\u2003Play", L"play"},              // em space is decoration, trimmed as a symbol
        {L"...!!!", L""},
        {L" \t ", L""},
        {L"", L""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(std::wstring(c.normal), normal(c.source));
}

TEST(NormalForm, NullSourceGivesEmpty)
{
    EXPECT_EQ(L"", normal(nullptr));
}

TEST(NormalForm, CutAtTheLimitComesBeforeTheTrim)
{
    // 158 letters, two blanks, then more: the inserted space is unit 159 and
    // is then trimmed.
    std::wstring name(158, L'a');
    name += L"  bbbb";
    std::wstring out = normal(name.c_str());
    EXPECT_EQ(std::wstring(158, L'a'), out);
    // 200 letters keep 159.
    EXPECT_EQ(159u, normal(std::wstring(200, L'Z').c_str()).size());
    // A small capacity cuts a decorated name before the trim: "!ab" in 3 units is "!a", then "a".
    EXPECT_EQ(L"a", normal(L"!abc", 3));
    EXPECT_EQ(L"", normal(L"abc", 1));
}

TEST(NormalForm, DecomposedLettersDoNotEqualPrecomposedEntries)
{
    std::wstring decomposed = normal(L"hra\u0301t");  // a + combining acute
    EXPECT_EQ(0, in_word_list(decomposed.c_str(), play_words));
    EXPECT_EQ(1, in_word_list(normal(L"HR\u00C1T").c_str(), play_words));
}

TEST(WordLists, SizesAndSampleEntries)
{
    int counts[3] = {0, 0, 0};
    const wchar_t* const* lists[3] = {play_words, login_words, dismiss_words};
    for (int i = 0; i < 3; i++)
        for (const wchar_t* const* word = lists[i]; *word; word++) {
            counts[i]++;
            // Every entry is already in normal form.
            EXPECT_EQ(std::wstring(*word), normal(*word));
        }
    EXPECT_EQ(45, counts[0]);
    EXPECT_EQ(25, counts[1]);
    EXPECT_EQ(37, counts[2]);
    EXPECT_EQ(1, in_word_list(L"play", play_words));
    EXPECT_EQ(1, in_word_list(L"jogue", play_words));
    EXPECT_EQ(1, in_word_list(L"\u30D7\u30EC\u30A4", play_words));
    EXPECT_EQ(0, in_word_list(L"play now", play_words));
    EXPECT_EQ(0, in_word_list(L"Play", play_words));  // the list test is exact
    EXPECT_EQ(1, in_word_list(L"sign in with microsoft", login_words));
    EXPECT_EQ(1, in_word_list(L"zaloguj si\u0119", login_words));
    EXPECT_EQ(1, in_word_list(L"schlie\u00DFen", dismiss_words));
    EXPECT_EQ(1, in_word_list(L"x", dismiss_words));
    EXPECT_EQ(1, in_word_list(L"\u0111\u00F3ng", dismiss_words));
    EXPECT_EQ(0, in_word_list(L"", dismiss_words));
}

}  // namespace
