#include "uia/normalize.h"

#include <windows.h>

static int is_blank(wchar_t unit)
{
    return unit == 0x0009 || unit == 0x000A || unit == 0x000D || unit == 0x0020 || unit == 0x00A0;
}

void normalize_text(const wchar_t* source, wchar_t* destination, int capacity)
{
    if (capacity <= 0)
        return;
    int limit = capacity - 1;
    int length = 0;
    int space_pending = 0;
    for (const wchar_t* unit = source; unit && *unit && length < limit; unit++) {
        if (is_blank(*unit)) {
            space_pending = length > 0;
            continue;
        }
        if (space_pending) {
            destination[length++] = L' ';
            space_pending = 0;
            if (length == limit)
                break;
        }
        destination[length++] = *unit;
    }
    destination[length] = 0;
    if (length == 0)
        return;
    CharLowerBuffW(destination, (DWORD)length);

    // Trim decoration (arrows, punctuation, symbols) at both ends.
    int first = 0;
    while (first < length && !IsCharAlphaNumericW(destination[first]))
        first++;
    int end = length;
    while (end > first && !IsCharAlphaNumericW(destination[end - 1]))
        end--;
    memmove(destination, destination + first, (size_t)(end - first) * sizeof(wchar_t));
    destination[end - first] = 0;
}

int in_word_list(const wchar_t* text, const wchar_t* const* list)
{
    for (; *list; list++)
        if (wcscmp(text, *list) == 0)
            return 1;
    return 0;
}

// Every entry is in normal form; letters outside ASCII are precomposed.
const wchar_t* const play_words[] = {
    L"play", L"spielen", L"jouer", L"jugar", L"gioca", L"jogar", L"spelen", L"graj", L"zagraj",
    L"\u0438\u0433\u0440\u0430\u0442\u044C",        // играть
    L"\u0438\u0433\u0440\u0430\u0439",              // играй
    L"\u0433\u0440\u0430\u0442\u0438",              // грати
    L"oyna", L"spela", L"spil", L"spill", L"pelaa",
    L"hr\u00E1t", L"hra\u0165", L"j\u00E1t\u00E9k", L"j\u00E1tsz\u00E1s",
    L"joac\u0103", L"joaca",
    L"\u03C0\u03B1\u03AF\u03BE\u03B5",              // παίξε
    L"\u03C0\u03B1\u03AF\u03BE\u03C4\u03B5",        // παίξτε
    L"\u03C0\u03B1\u03B9\u03C7\u03BD\u03AF\u03B4\u03B9",  // παιχνίδι
    L"\u30D7\u30EC\u30A4",                          // プレイ
    L"\uD50C\uB808\uC774",                          // 플레이
    L"\u5F00\u59CB\u6E38\u620F",                    // 开始游戏
    L"\u958B\u59CB\u904A\u6232",                    // 開始遊戲
    L"\u6E38\u73A9", L"\u904A\u73A9",               // 游玩, 遊玩
    L"ch\u01A1i", L"mainkan",
    L"\u0E40\u0E25\u0E48\u0E19",                    // เล่น
    L"\u0627\u0644\u0639\u0628",                    // العب
    L"\u062A\u0634\u063A\u064A\u0644",              // تشغيل
    L"\u05E9\u05D7\u05E7",                          // שחק
    L"igraj", L"\u017Eaisti", L"sp\u0113l\u0113t", L"m\u00E4ngi", L"spila", L"xogar", L"jogue",
    nullptr,
};

const wchar_t* const login_words[] = {
    L"log in", L"login", L"sign in", L"log in with microsoft", L"sign in with microsoft",
    L"microsoft account", L"anmelden", L"se connecter", L"connexion", L"iniciar sesi\u00F3n",
    L"accedi", L"entrar", L"inloggen", L"aanmelden", L"zaloguj si\u0119", L"zaloguj",
    L"\u0432\u043E\u0439\u0442\u0438",              // войти
    L"giri\u015F yap", L"logga in", L"kirjaudu sis\u00E4\u00E4n", L"p\u0159ihl\u00E1sit se",
    L"\u30ED\u30B0\u30A4\u30F3",                    // ログイン
    L"\uB85C\uADF8\uC778",                          // 로그인
    L"\u767B\u5F55", L"\u767B\u5165",               // 登录, 登入
    nullptr,
};

const wchar_t* const dismiss_words[] = {
    L"close", L"dismiss", L"ok", L"okay", L"got it", L"not now", L"cancel", L"later",
    L"maybe later", L"no thanks", L"continue", L"x", L"schlie\u00DFen", L"fermer", L"cerrar",
    L"chiudi", L"fechar", L"sluiten", L"zamknij",
    L"\u0437\u0430\u043A\u0440\u044B\u0442\u044C",  // закрыть
    L"\u0437\u0430\u043A\u0440\u0438\u0442\u0438",  // закрити
    L"kapat", L"st\u00E4ng", L"luk", L"lukk", L"sulje", L"zav\u0159\u00EDt", L"zavrie\u0165",
    L"bez\u00E1r\u00E1s", L"\u00EEnchide",
    L"\u03BA\u03BB\u03B5\u03AF\u03C3\u03B9\u03BC\u03BF",  // κλείσιμο
    L"\u9589\u3058\u308B",                          // 閉じる
    L"\uB2EB\uAE30",                                // 닫기
    L"\u5173\u95ED", L"\u95DC\u9589",               // 关闭, 關閉
    L"\u0111\u00F3ng", L"tutup",
    nullptr,
};

static_assert(sizeof play_words / sizeof play_words[0] == 46, "45 play words and the end");
static_assert(sizeof login_words / sizeof login_words[0] == 26, "25 sign-in words and the end");
static_assert(sizeof dismiss_words / sizeof dismiss_words[0] == 38, "37 dismiss words and the end");
