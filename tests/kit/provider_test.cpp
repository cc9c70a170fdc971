// The simulated launcher's page: the parser on real and odd dump lines, and
// the provider's answers, navigation, actions and reference counts, called
// directly on a window of this process (Wine 10's client reaches no pattern).
#include "chromium_habits.h"
#include "page.h"
#include "page_paint.h"
#include "page_twins.h"
#include "uia_provider.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

namespace {

struct LineCase {
    const char* line;
    int element, depth, control_type;
    const wchar_t* name;
    int left, top, width, height, disabled, offscreen, invoke;
};

const LineCase LINES[] = {
    {"      [button] \"Say \"hi\" #2\" 554 580 200 50 disabled invoke ## id=play marker", 1, 3, 50000,
     L"Say \"hi\" #2", 554, 580, 200, 50, 1, 0, 1},
    {"[] \"x\" 1 2 3 4", 1, 0, 50025, L"x", 1, 2, 3, 4, 0, 0, 0},
    {"  [Schaltfl\xc3\xa4" "che] \"Spielen\" 1 2 3 4", 1, 1, 50000, L"Spielen", 1, 2, 3, 4, 0, 0, 1},
    {"  [bouton] \"Jouer\" 1 2 3 4 ## noinvoke", 1, 1, 50000, L"Jouer", 1, 2, 3, 4, 0, 0, 0},
    {"[\xc3\x89l\xc3\xa9ment d'onglet] \"Jeu\" 1 2 3 4", 1, 0, 50019, L"Jeu", 1, 2, 3, 4, 0, 0, 0},
    {"[group] \"\" 0 0 10 10 ## type=tab_item", 1, 0, 50019, L"", 0, 0, 10, 10, 0, 0, 0},
    {"[text] \"end\"\" -5 -10 3 4 offscreen\r", 1, 0, 50020, L"end\"", -5, -10, 3, 4, 0, 1, 0},
    {"[pane] \"three numbers\" 1 2 3", 0, 0, 0, L"", 0, 0, 0, 0, 0, 0, 0},
    {"[pane] \"x\" 1 2 3 4 sideways", 0, 0, 0, L"", 0, 0, 0, 0, 0, 0, 0},
    {"WINDOW Chrome_WidgetWin_1 \"Minecraft Launcher\" 1 2 3 4 x.exe", 0, 0, 0, L"", 0, 0, 0, 0, 0, 0, 0},
    {"  CHILD Chrome_RenderWidgetHostHWND \"\" 1 2 3 4", 0, 0, 0, L"", 0, 0, 0, 0, 0, 0, 0},
    {"DPI monitor 144 window 96 unaware", 0, 0, 0, L"", 0, 0, 0, 0, 0, 0, 0},
    {"# [button] \"Play\" 1 2 3 4", 0, 0, 0, L"", 0, 0, 0, 0, 0, 0, 0},
    {"[button \"Play\" 1 2 3 4", 0, 0, 0, L"", 0, 0, 0, 0, 0, 0, 0},
    {"[button] \"", 0, 0, 0, L"", 0, 0, 0, 0, 0, 0, 0},
    {"", 0, 0, 0, L"", 0, 0, 0, 0, 0, 0, 0},
};

TEST(PageLine, ReadsDumpLinesAndIgnoresTheRest)
{
    for (const LineCase& c : LINES) {
        SCOPED_TRACE(c.line);
        PageElement e;
        ASSERT_EQ(parse_page_line(c.line, 7, &e), c.element);
        if (!c.element)
            continue;
        EXPECT_EQ(e.depth, c.depth);
        EXPECT_EQ(e.control_type, c.control_type);
        EXPECT_EQ(e.name, c.name);
        EXPECT_EQ(e.left, c.left);
        EXPECT_EQ(e.top, c.top);
        EXPECT_EQ(e.width, c.width);
        EXPECT_EQ(e.height, c.height);
        EXPECT_EQ(e.disabled, c.disabled);
        EXPECT_EQ(e.offscreen, c.offscreen);
        EXPECT_EQ(e.invoke, c.invoke);
    }
    PageElement e;
    parse_page_line("[button] \"a\" 1 2 3 4 ## fill=27873e text=000000 action=hide:p,show:q", 7, &e);
    EXPECT_EQ(e.id, "e7");
    EXPECT_EQ(e.fill, 0x27873e);
    EXPECT_EQ(e.text_colour, 0);
    ASSERT_EQ(e.actions.size(), 2u);
    EXPECT_EQ(e.actions[1].kind, PAGE_ACTION_SHOW);
    EXPECT_EQ(e.actions[1].target, "q");
}

// Localized type names as players' dumps print them: one row per language's
// words that matter for a press (button, tab item, list item, text).
struct TypeCase {
    const char* type;  // UTF-8
    int control_type;
};

const TypeCase TYPES[] = {
    {"BUTTON", 50000}, {"Tab_Item", 50019}, {"Registerkartenelement", 50019},
    {"\xeb\x8b\xa8\xec\xb6\x94", 50000},                          // 단추
    {"\xed\x83\xad \xed\x95\xad\xeb\xaa\xa9", 50019},              // 탭 항목
    {"\xed\x85\x8d\xec\x8a\xa4\xed\x8a\xb8", 50020},              // 텍스트
    {"\xe3\x83\x9c\xe3\x82\xbf\xe3\x83\xb3", 50000},              // ボタン
    {"\xe3\x82\xbf\xe3\x83\x96\xe9\xa0\x85\xe7\x9b\xae", 50019},  // タブ項目
    {"\xe3\x83\xaa\xe3\x82\xb9\xe3\x83\x88\xe9\xa0\x85\xe7\x9b\xae", 50007},  // リスト項目
    {"\xe6\x8c\x89\xe9\x92\xae", 50000},                          // 按钮
    {"\xe9\x80\x89\xe9\xa1\xb9\xe5\x8d\xa1\xe9\xa1\xb9\xe7\x9b\xae", 50019},  // 选项卡项目
    {"\xe6\x96\x87\xe6\x9c\xac", 50020},                          // 文本
    {"tab  item", 0}, {"tabitem", 0}, {"", 0},
};

TEST(PageTypes, LocalizedNamesGiveTheirControlTypes)
{
    for (const TypeCase& c : TYPES) {
        SCOPED_TRACE(c.type);
        PageElement e;
        std::string line = std::string("[") + c.type + "] \"x\" 1 2 3 4";
        ASSERT_EQ(parse_page_line(line, 0, &e), 1);
        EXPECT_EQ(e.control_type, c.control_type ? c.control_type : 50025);
        EXPECT_EQ(e.unknown_type, c.control_type ? "" : c.type);
        EXPECT_EQ(e.untyped, c.type[0] == 0 ? 1 : 0);
    }
    // The provider answers with English names, whatever language the page had.
    EXPECT_STREQ(control_type_english(50019), L"tab item");
    EXPECT_STREQ(control_type_english(50000), L"button");
}

TEST(PageTypes, UnknownNamesAreCountedUnlessANoteTypesThem)
{
    Page page;
    ASSERT_EQ(parse_page_text("[window] \"w\" 0 0 10 10\n"
                              "  [mystery] \"Play\" 1 2 3 4\n"
                              "  [Mystery] \"Stop\" 1 2 3 4\n"
                              "  [mystery] \"Play\" 1 2 3 4 ## type=tab_item\n"
                              "  [button] \"x\" 1 2 3 4 ## type=tabitem\n"
                              "  [] \"a\" 1 2 3 4\n"
                              "  [] \"b\" 1 2 3 4 ## type=text\n",
                              &page),
              7);
    std::vector<PageUnknownType> unknown;
    int untyped = -1;
    find_unknown_page_types(page, &unknown, &untyped);
    ASSERT_EQ(unknown.size(), 3u);
    EXPECT_EQ(unknown[0].name, "mystery");
    EXPECT_EQ(unknown[0].count, 1);
    EXPECT_EQ(unknown[1].name, "Mystery");  // as the page spells it
    EXPECT_EQ(unknown[2].name, "tabitem");   // a note that names no type is reported too
    EXPECT_EQ(untyped, 1);
    EXPECT_EQ(page.elements[1].control_type, 50025);
    EXPECT_EQ(page.elements[3].control_type, 50019);
    EXPECT_EQ(page.elements[4].control_type, 50000);  // the line's own type stands
}

TEST(PageWindows, DumpWindowAndChildLinesGiveTheClasses)
{
    Page page;
    parse_page_text("WINDOW Other \"Minecraft Launcher\" 0 0 400 300 C:\\x\\MinecraftLauncher.exe\r\n"
                    "WINDOW Chrome_WidgetWin_1 \"Minecraft Launcher\" 100 80 1000 700 "
                    "C:\\Program Files (x86)\\Minecraft Launcher\\MinecraftLauncher.exe (this one)\r\n"
                    "  CHILD Chrome_RenderWidgetHostHWND \"Chrome Legacy Window\" 108 111 984 661\r\n"
                    "  CHILD Intermediate D3D Window \"say \"hi\"\" 108 111 984 661 hidden\r\n"
                    "  CHILD Broken \"no rectangle\"\r\n"
                    "[window] \"Minecraft Launcher\" 100 80 1000 700\r\n",
                    &page);
    EXPECT_EQ(page.window_class, L"Chrome_WidgetWin_1");
    ASSERT_EQ(page.children.size(), 2u);
    EXPECT_EQ(page.children[0].class_name, L"Chrome_RenderWidgetHostHWND");
    EXPECT_EQ(page.children[0].text, L"Chrome Legacy Window");
    EXPECT_EQ(page.children[0].left, 108);
    EXPECT_EQ(page.children[0].height, 661);
    EXPECT_EQ(page.children[0].hidden, 0);
    EXPECT_EQ(page.children[1].class_name, L"Intermediate D3D Window");
    EXPECT_EQ(page.children[1].text, L"say \"hi\"");
    EXPECT_EQ(page.children[1].hidden, 1);
    // Without a chosen window the simulator keeps its own classes.
    parse_page_text("WINDOW Chrome_WidgetWin_1 \"x\" 1 2 3 4 x.exe\n[window] \"x\" 1 2 3 4\n", &page);
    EXPECT_EQ(page.window_class, L"");
    EXPECT_EQ(page.children.size(), 0u);
}

// The window, a document with a group of two tabs, a Play button beside the
// profile name, a button that opens a hidden pop-up, and a skipped level.
const char PAGE[] =
    "\xef\xbb\xbf# launcher\r\n"
    "WINDOW KV6SimulatedLauncher \"Minecraft Launcher\" 100 80 1000 700 x\r\n"
    "[window] \"Minecraft Launcher\" 100 80 1000 700\r\n"
    "  [document] \"Launcher\" 108 111 984 661\n"
    "    [group] \"\" 108 111 984 661\n"
    "      [tab item] \"Play\" 120 120 100 30 ## id=tab1 selected action=select\n"
    "      [tab item] \"Installations\" 230 120 140 30 ## id=tab2 action=select\n"
    "      [text] \"Kestrov V6\" 394 595 140 20 ## id=profile\n"
    "      [button] \"PLAY\" 554 580 200 50 invoke ## id=play fill=27873e marker action=none\n"
    "      [button] \"News\" 800 580 150 50 ## id=news action=show:popup\n"
    "      [group] \"Pop-up\" 300 300 400 200 ## id=popup hidden\n"
    "            [button] \"Close\" 500 440 100 40 ## id=close action=hide:popup\n";

// Escape closes the shown element that an action hides, and nothing else.
TEST(PagePopup, EscapeClosesOnlyAShownPopup)
{
    Page escaped;
    ASSERT_EQ(parse_page_text(PAGE, &escaped), 10);
    EXPECT_EQ(close_page_popup(&escaped), -1);  // the pop-up starts hidden
    escaped.elements[(size_t)find_page_element(escaped, "popup")].hidden = 0;
    EXPECT_EQ(close_page_popup(&escaped), find_page_element(escaped, "popup"));
    EXPECT_FALSE(page_element_visible(escaped, find_page_element(escaped, "close")));
    EXPECT_EQ(close_page_popup(&escaped), -1);
}

// A press that lands during a re-render is lost; the next one counts.
TEST(PageActions, RerenderOnceSwallowsOnlyTheFirstPress)
{
    Page once;
    ASSERT_EQ(parse_page_text("[window] \"w\" 0 0 10 10\n  [button] \"Play\" 1 1 5 5 ## id=play "
                              "action=rerender-once,start-java\n",
                              &once),
              2);
    std::vector<std::string> log;
    std::vector<PageActionKind> host;
    ASSERT_EQ(run_page_element(&once, 1, PAGE_VIA_INVOKE, &log, &host), 1);
    EXPECT_EQ(host, std::vector<PageActionKind>{PAGE_ACTION_RERENDER_ONCE});
    host.clear();
    ASSERT_EQ(run_page_element(&once, 1, PAGE_VIA_POSTED, &log, &host), 1);
    EXPECT_EQ(host, std::vector<PageActionKind>{PAGE_ACTION_START_JAVA});
    const std::vector<std::string> expected = {"VIA invoke play", "ACTION rerender-once play", "VIA posted play"};
    EXPECT_EQ(log, expected);
}

// A player's dump with Korean types, a name beyond the BMP (🎮) and CR LF.
const char PLAYER_DUMP[] =
    "WINDOW Chrome_WidgetWin_1 \"Minecraft Launcher\" 100 80 1000 700 C:\\x\\MinecraftLauncher.exe (this one)\r\n"
    "  CHILD Chrome_RenderWidgetHostHWND \"Chrome Legacy Window\" 108 111 984 661\r\n"
    "DPI monitor 96 window 96 unaware\r\n"
    "[window] \"Minecraft Launcher\" 100 80 1000 700\r\n"
    "  [\xeb\x8b\xa8\xec\xb6\x94] \"\xed\x94\x8c\xeb\xa0\x88\xec\x9d\xb4 \xf0\x9f\x8e\xae\" 600 664 220 60\r\n"
    "  [\xed\x85\x8d\xec\x8a\xa4\xed\x8a\xb8] \"Kestrov V6\" 360 672 210 44 ## marker\r\n";

std::string repeated(const std::string& line, int count)
{
    std::string text;
    for (int i = 0; i < count; i++)
        text += line;
    return text;
}

// Each line one level deeper than the last, `levels` of them below the
// window, written at most `written` levels deep.
std::string ladder(int levels, int written)
{
    std::string text = "[window] \"w\" 0 0 10 10\n";
    for (int level = 1; level <= levels; level++)
        text += std::string((size_t)(level < written ? level : written) * 2, ' ') + "[group] \"\" 0 0 1 1\n";
    return text;
}

// A player's file as it arrives, and its twin: a UTF-8 text that must read
// to the same page (for a damaged file, the page the reader mends it to),
// and the one problem line the file gives ("" for none).
struct FileCase {
    const char* what;
    std::string bytes, twin;
    const char* problem;
};

std::vector<FileCase> file_cases()
{
    const std::string window = "[window] \"w\" 0 0 10 10\n";
    const std::string button = "  [button] \"b\" 1 2 3 4\n";
    const std::string comment = "#" + std::string(98, '-') + "\n";
    std::string lone_surrogate = utf16_twin("[] \"X\" 1 2 3 4", 0);
    lone_surrogate[10] = 0;  // the X (after the mark and four units) becomes U+D800
    lone_surrogate[11] = (char)0xd8;
    return {
        {"UTF-16 LE, as PowerShell 5 writes it", utf16_twin(PLAYER_DUMP, 0), PLAYER_DUMP, ""},
        {"UTF-16 BE", utf16_twin(PLAYER_DUMP, 1), PLAYER_DUMP, ""},
        {"UTF-16, unpaired surrogate", lone_surrogate, "[] \"\xef\xbf\xbd\" 1 2 3 4",
         "PAGE line 1: bad UTF-16, read as U+FFFD (1 code unit)"},
        {"over-long line", window + "  [button] \"" + std::string(5000, 'x') + "\" 1 2 3 4\n", window,
         "PAGE line 2: longer than 4096 bytes, cut (1 line)"},
        {"NUL bytes", std::string("[window] \"w\0\" 0 0 10 10\0\n", 25), window, "PAGE line 1: NUL bytes, dropped (2 bytes"},
        {"bad UTF-8", window + "  [button] \"a\xff\xc3\x62\xed\xa0\x80\" 1 2 3 4\n",
         window + "  [button] \"a\xef\xbf\xbd\xef\xbf\xbd\x62\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\" 1 2 3 4\n",
         "PAGE line 2: bad UTF-8, read as U+FFFD (5 sequences)"},
        {"deep nesting", ladder(70, 70), ladder(70, 64), "PAGE line 66: indented deeper than 64 levels"},
        {"huge numbers", window + "  [button] \"b\" 99999999999999999999 -1000001 1000000 4\n",
         window + "  [button] \"b\" 1000000 -1000000 1000000 4\n", "PAGE line 2: number beyond -1000000..1000000, clamped (2 numbers)"},
        {"too many elements", window + repeated(button, 8200), window + repeated(button, 8191),
         "PAGE line 8193: more than 8192 element lines, skipped (9 lines)"},
        {"too many actions", window + "  [button] \"b\" 1 2 3 4 ## action=" + repeated("show:x,", 20) + "close\n",
         window + "  [button] \"b\" 1 2 3 4 ## action=" + repeated("show:x,", 15) + "show:x\n",
         "PAGE line 2: more than 16 actions on an element, the rest ignored (5 actions)"},
        {"too many children", repeated("CHILD C \"t\" 1 2 3 4\n", 70) + window,
         repeated("CHILD C \"t\" 1 2 3 4\n", 64) + window, "PAGE line 65: more than 64 CHILD lines, skipped (6 lines)"},
        {"file past 16 MiB", window + repeated(comment, 170000), window,
         "PAGE line 167773: the file is longer than 16777216 bytes, the rest is ignored"},
    };
}

// Read from a file as the simulator reads --page, each row gives its twin's
// page and its problem line, and nothing else.
TEST(PageFiles, PlayerFilesReadAsTheirTwins)
{
    wchar_t folder[MAX_PATH], path[MAX_PATH];
    ASSERT_TRUE(GetTempPathW(MAX_PATH, folder));
    ASSERT_TRUE(GetTempFileNameW(folder, L"kv6", 0, path));
    for (const FileCase& c : file_cases()) {
        SCOPED_TRACE(c.what);
        FILE* file = _wfopen(path, L"wb");
        ASSERT_TRUE(file);
        fwrite(c.bytes.data(), 1, c.bytes.size(), file);
        fclose(file);
        Page read, twin;
        load_page_file(path, &read);
        parse_page_text(c.twin, &twin);
        EXPECT_EQ(page_difference(read, twin, 0), "");
        std::vector<std::string> lines;
        describe_page_problems(twin, &lines);
        EXPECT_TRUE(lines.empty()) << lines[0];
        describe_page_problems(read, &lines);
        ASSERT_EQ(lines.size(), c.problem[0] ? 1u : 0u);
        if (c.problem[0]) {
            EXPECT_EQ(lines[0].compare(0, strlen(c.problem), c.problem), 0) << lines[0];
        }
    }
    DeleteFileW(path);
}

Page page;
std::vector<std::string> action_log;

LRESULT CALLBACK page_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == PAGE_ACTION_MESSAGE) {
        std::vector<PageActionKind> host;
        run_page_element(&page, (int)wparam, (int)lparam, &action_log, &host);
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

void pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
}

class ProviderTest : public ::testing::Test {
protected:
    HWND window = nullptr;

    void SetUp() override
    {
        ASSERT_EQ(parse_page_text(PAGE, &page), 10);
        action_log.clear();
        WNDCLASSW c = {};
        c.lpfnWndProc = page_procedure;
        c.hInstance = GetModuleHandleW(nullptr);
        c.lpszClassName = L"KV6ProviderTest";
        RegisterClassW(&c);
        window = CreateWindowExW(0, c.lpszClassName, L"Minecraft Launcher", WS_POPUP, 100, 80, 1000, 700,
                                 nullptr, nullptr, c.hInstance, nullptr);
        ASSERT_TRUE(window);
        ASSERT_EQ(start_page_provider(window, &page), 1);
    }
    void TearDown() override
    {
        stop_page_provider(window);
        DestroyWindow(window);
        EXPECT_EQ(live_provider_objects(), 0) << "a provider object was leaked";
    }

    // The element's fragment, navigated from the window element.
    IRawElementProviderFragment* fragment(int index)
    {
        IRawElementProviderSimple* simple = page_element_provider(index);
        IRawElementProviderFragment* out = nullptr;
        simple->QueryInterface(__uuidof(IRawElementProviderFragment), (void**)&out);
        simple->Release();
        return out;
    }
    // The AutomationId of where `from` leads, "" for nowhere; releases nothing of `from`.
    std::string go(IRawElementProviderFragment* from, NavigateDirection direction)
    {
        IRawElementProviderFragment* to = nullptr;
        from->Navigate(direction, &to);
        if (!to)
            return "";
        IRawElementProviderSimple* simple = nullptr;
        to->QueryInterface(__uuidof(IRawElementProviderSimple), (void**)&simple);
        VARIANT id;
        simple->GetPropertyValue(UIA_AutomationIdPropertyId, &id);
        char text[64] = {0};
        WideCharToMultiByte(CP_UTF8, 0, id.bstrVal, -1, text, 63, nullptr, nullptr);
        VariantClear(&id);
        simple->Release();
        to->Release();
        return text;
    }
    // The element's pattern object of `iid`, or null.
    template <class T>
    T* pattern(int index, PATTERNID id)
    {
        IRawElementProviderSimple* simple = page_element_provider(index);
        IUnknown* unknown = nullptr;
        simple->GetPatternProvider(id, &unknown);
        simple->Release();
        T* out = nullptr;
        if (unknown) {
            unknown->QueryInterface(__uuidof(T), (void**)&out);
            unknown->Release();
        }
        return out;
    }
};

TEST_F(ProviderTest, ButtonAnswersInScreenPixelsAndFollowsTheWindow)
{
    IRawElementProviderSimple* play = page_element_provider(find_page_element(page, "play"));
    VARIANT v;
    play->GetPropertyValue(UIA_ControlTypePropertyId, &v);
    EXPECT_EQ(v.lVal, 50000);
    play->GetPropertyValue(UIA_NamePropertyId, &v);
    EXPECT_STREQ(v.bstrVal, L"PLAY");
    VariantClear(&v);
    play->GetPropertyValue(UIA_IsEnabledPropertyId, &v);
    EXPECT_EQ(v.boolVal, VARIANT_TRUE);
    play->GetPropertyValue(UIA_IsOffscreenPropertyId, &v);
    EXPECT_EQ(v.boolVal, VARIANT_FALSE);
    play->GetPropertyValue(UIA_HelpTextPropertyId, &v);
    EXPECT_EQ(v.vt, VT_EMPTY);
    IRawElementProviderFragment* f = nullptr;
    play->QueryInterface(__uuidof(IRawElementProviderFragment), (void**)&f);
    IUnknown* none = (IUnknown*)1;
    EXPECT_EQ(play->QueryInterface(__uuidof(IRawElementProviderFragmentRoot), (void**)&none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    play->Release();
    UiaRect r;
    f->get_BoundingRectangle(&r);
    EXPECT_EQ(r.left, 554);
    EXPECT_EQ(r.top, 580);
    EXPECT_EQ(r.width, 200);
    EXPECT_EQ(r.height, 50);
    SetWindowPos(window, nullptr, 130, 90, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    f->get_BoundingRectangle(&r);
    EXPECT_EQ(r.left, 584);
    EXPECT_EQ(r.top, 590);
    SAFEARRAY* id = nullptr;
    f->GetRuntimeId(&id);
    ASSERT_TRUE(id);
    int parts[2] = {0, 0};
    for (LONG k = 0; k < 2; k++)
        SafeArrayGetElement(id, &k, &parts[k]);
    EXPECT_EQ(parts[0], 3);  // UiaAppendRuntimeId
    EXPECT_EQ(parts[1], find_page_element(page, "play"));
    SafeArrayDestroy(id);
    f->Release();
}

TEST_F(ProviderTest, NavigatesShownElementsOnly)
{
    IRawElementProviderFragment* group = fragment(2);
    EXPECT_EQ(go(group, NavigateDirection_FirstChild), "tab1");
    EXPECT_EQ(go(group, NavigateDirection_LastChild), "news");  // the pop-up is hidden
    EXPECT_EQ(go(group, NavigateDirection_Parent), "e1");
    EXPECT_EQ(go(group, NavigateDirection_NextSibling), "");
    group->Release();
    IRawElementProviderFragment* play = fragment(find_page_element(page, "play"));
    EXPECT_EQ(go(play, NavigateDirection_PreviousSibling), "profile");
    EXPECT_EQ(go(play, NavigateDirection_NextSibling), "news");
    play->Release();
    IRawElementProviderFragment* root = fragment(0);
    EXPECT_EQ(go(root, NavigateDirection_FirstChild), "e1");
    EXPECT_EQ(go(root, NavigateDirection_Parent), "");
    root->Release();
}

TEST_F(ProviderTest, PatternsRunTheElementsActionsFromTheMessageLoop)
{
    IInvokeProvider* news = pattern<IInvokeProvider>(find_page_element(page, "news"), UIA_InvokePatternId);
    ASSERT_TRUE(news);
    IRawElementProviderFragment* close = fragment(find_page_element(page, "close"));
    UiaRect r;
    EXPECT_EQ(close->get_BoundingRectangle(&r), (HRESULT)0x80040201);  // hidden
    EXPECT_EQ(news->Invoke(), S_OK);
    EXPECT_FALSE(page_element_visible(page, find_page_element(page, "popup")));  // not before the loop runs it
    pump();
    EXPECT_TRUE(page_element_visible(page, find_page_element(page, "popup")));
    EXPECT_EQ(close->get_BoundingRectangle(&r), S_OK);
    news->Release();

    ILegacyIAccessibleProvider* legacy =
        pattern<ILegacyIAccessibleProvider>(find_page_element(page, "close"), UIA_LegacyIAccessiblePatternId);
    ASSERT_TRUE(legacy);
    EXPECT_EQ(legacy->DoDefaultAction(), S_OK);
    pump();
    EXPECT_EQ(close->get_BoundingRectangle(&r), (HRESULT)0x80040201);  // held, hidden again
    EXPECT_EQ(legacy->DoDefaultAction(), (HRESULT)0x80040201);
    legacy->Release();
    close->Release();

    EXPECT_EQ(pattern<IInvokeProvider>(find_page_element(page, "profile"), UIA_InvokePatternId), nullptr);
    ISelectionItemProvider* tab1 = pattern<ISelectionItemProvider>(3, UIA_SelectionItemPatternId);
    ISelectionItemProvider* tab2 = pattern<ISelectionItemProvider>(4, UIA_SelectionItemPatternId);
    ASSERT_TRUE(tab1 && tab2);
    EXPECT_EQ(tab2->Select(), S_OK);
    pump();
    BOOL one = TRUE, two = FALSE;
    tab1->get_IsSelected(&one);
    tab2->get_IsSelected(&two);
    EXPECT_FALSE(one);
    EXPECT_TRUE(two);
    tab1->Release();
    tab2->Release();
    const std::vector<std::string> expected = {"VIA invoke news", "ACTION show popup", "VIA legacy close",
                                               "ACTION hide popup", "VIA select tab2", "ACTION select tab2"};
    EXPECT_EQ(action_log, expected);
}

// Chromium's habits on a page with a modal dialog, buttons that toggle or
// expand, and tabs with and without a selected state.
const char HABIT_PAGE[] =
    "[window] \"Minecraft Launcher\" 100 80 1000 700\n"
    "  [document] \"Launcher\" 104 103 992 673\n"
    "    [tab item] \"Play\" 120 120 100 30 ## id=tab-play selected\n"
    "    [tab item] \"News\" 230 120 100 30 ## id=tab-news\n"
    "    [tab item] \"Patch notes\" 340 120 100 30 ## id=tab-notes not-selected\n"
    "    [button] \"Kestrov V6\" 360 672 210 44 ## id=profile expand\n"
    "    [button] \"Mute\" 700 120 40 30 ## id=mute toggle\n"
    "    [hyperlink] \"Help\" 760 120 40 30 ## id=help expand\n"
    "    [button] \"Play\" 600 664 220 60 ## id=play action=start-java\n"
    "    [group] \"What's new\" 104 103 992 673 ## id=dialog modal hidden\n"
    "      [button] \"Close\" 500 440 100 40 ## id=close action=hide:dialog\n";

class HabitsTest : public ProviderTest {
protected:
    HabitState habits;

    void SetUp() override
    {
        ProviderTest::SetUp();
        ASSERT_EQ(parse_page_text(HABIT_PAGE, &page), 11);
        start_habits(page, chromium_defaults(), &habits);
        set_page_habits(&habits);
    }
    void TearDown() override
    {
        set_page_habits(nullptr);
        ProviderTest::TearDown();
    }
    int at(const char* id) { return find_page_element(page, id); }
    int has_pattern(const char* id, PATTERNID pattern)
    {
        IRawElementProviderSimple* simple = page_element_provider(at(id));
        IUnknown* unknown = nullptr;
        simple->GetPatternProvider(pattern, &unknown);
        simple->Release();
        if (unknown)
            unknown->Release();
        return unknown != nullptr;
    }
};

// The document stays empty until a client reads a web node's Name or
// ControlType; the nodes come the set delay after that read.
TEST_F(HabitsTest, LazyTreeArrivesOnlyAfterANameRead)
{
    habits.habits.lazy_ms = 60000;  // nothing arrives while the test runs
    IRawElementProviderFragment* document = fragment(1);
    EXPECT_EQ(go(document, NavigateDirection_FirstChild), "");
    UiaRect r;
    SAFEARRAY* id = nullptr;
    VARIANT v;
    document->get_BoundingRectangle(&r);
    document->GetRuntimeId(&id);
    SafeArrayDestroy(id);
    IRawElementProviderSimple* simple = page_element_provider(1);
    simple->GetPropertyValue(UIA_IsEnabledPropertyId, &v);
    simple->GetPropertyValue(UIA_IsOffscreenPropertyId, &v);
    EXPECT_FALSE(habits.tree_asked) << "a rectangle, state or id read turned the tree on";
    IRawElementProviderSimple* window = page_element_provider(0);
    window->GetPropertyValue(UIA_NamePropertyId, &v);
    VariantClear(&v);
    window->Release();
    EXPECT_FALSE(habits.tree_asked) << "the window is not a web node";
    simple->GetPropertyValue(UIA_NamePropertyId, &v);
    VariantClear(&v);
    simple->Release();
    ASSERT_TRUE(habits.tree_asked);
    EXPECT_EQ(go(document, NavigateDirection_FirstChild), "");
    document->Release();
    unsigned long long asked = habits.asked_at_ms;
    EXPECT_FALSE(element_in_tree(page, &habits, at("play"), asked + 59999));
    EXPECT_TRUE(element_in_tree(page, &habits, at("play"), asked + 60000));
    EXPECT_TRUE(element_in_tree(page, &habits, 1, asked));  // the document itself is there all along
}

// A re-render replaces the elements: new runtime ids, and what a client
// still holds (elements and their patterns) is no longer available.
TEST_F(HabitsTest, ReRenderLeavesOldElementsStale)
{
    habits.habits.lazy_ms = 0;
    IRawElementProviderFragment* play = fragment(at("play"));
    IInvokeProvider* invoke = pattern<IInvokeProvider>(at("play"), UIA_InvokePatternId);
    ASSERT_TRUE(invoke);
    SAFEARRAY* before = nullptr;
    ASSERT_EQ(play->GetRuntimeId(&before), S_OK);
    rerender_page(&habits);
    UiaRect r;
    EXPECT_EQ(play->get_BoundingRectangle(&r), (HRESULT)0x80040201);
    IRawElementProviderFragment* parent = nullptr;
    EXPECT_EQ(play->Navigate(NavigateDirection_Parent, &parent), (HRESULT)0x80040201);
    EXPECT_EQ(invoke->Invoke(), (HRESULT)0x80040201);
    pump();
    EXPECT_TRUE(action_log.empty());
    invoke->Release();
    play->Release();

    IRawElementProviderFragment* fresh = fragment(at("play"));
    SAFEARRAY* after = nullptr;
    ASSERT_EQ(fresh->GetRuntimeId(&after), S_OK);
    EXPECT_EQ(fresh->get_BoundingRectangle(&r), S_OK);
    LONG k = 1;
    int old_id = 0, new_id = 0;
    SafeArrayGetElement(before, &k, &old_id);
    SafeArrayGetElement(after, &k, &new_id);
    EXPECT_NE(old_id, new_id);
    SafeArrayDestroy(before);
    SafeArrayDestroy(after);
    fresh->Release();
    IRawElementProviderFragment* document = fragment(1);  // the document lives on
    EXPECT_EQ(go(document, NavigateDirection_FirstChild), "tab-play");
    document->Release();
}

// While a modal dialog shows, only the dialog and its ancestors are in the
// tree; Escape closes it and the page comes back.
TEST_F(HabitsTest, ModalDialogTakesThePageOutOfTheTreeUntilEscape)
{
    habits.habits.lazy_ms = 0;
    IRawElementProviderFragment* play = fragment(at("play"));
    page.elements[(size_t)at("dialog")].hidden = 0;
    UiaRect r;
    EXPECT_EQ(play->get_BoundingRectangle(&r), (HRESULT)0x80040201);
    IRawElementProviderFragment* document = fragment(1);
    EXPECT_EQ(go(document, NavigateDirection_FirstChild), "dialog");
    EXPECT_EQ(go(document, NavigateDirection_LastChild), "dialog");
    POINT on_play = {600 - 100 + 10, 664 - 80 + 10};  // client coordinates
    EXPECT_NE(page_element_at(window, page, on_play), at("play")) << "a click reached an inert button";
    EXPECT_EQ(close_page_popup(&page), at("dialog"));
    EXPECT_EQ(play->get_BoundingRectangle(&r), S_OK);
    EXPECT_EQ(go(document, NavigateDirection_LastChild), "play");
    document->Release();
    play->Release();
}

TEST_F(HabitsTest, PatternsFollowChromiumsRules)
{
    habits.habits.lazy_ms = 0;
    EXPECT_TRUE(has_pattern("play", UIA_InvokePatternId));
    EXPECT_FALSE(has_pattern("mute", UIA_InvokePatternId)) << "a toggle button";
    EXPECT_FALSE(has_pattern("profile", UIA_InvokePatternId)) << "an expand button";
    EXPECT_TRUE(has_pattern("help", UIA_InvokePatternId)) << "links are always invocable";
    EXPECT_TRUE(has_pattern("tab-play", UIA_SelectionItemPatternId));
    EXPECT_TRUE(has_pattern("tab-notes", UIA_SelectionItemPatternId));
    EXPECT_FALSE(has_pattern("tab-news", UIA_SelectionItemPatternId)) << "no selected state";
    habits.habits.pattern_rules = 0;
    EXPECT_TRUE(has_pattern("mute", UIA_InvokePatternId));
    EXPECT_TRUE(has_pattern("tab-news", UIA_SelectionItemPatternId));
}

struct OffscreenCase {
    const char* line;
    int flag_said, chromium_says;
};

// The window is at 100, 80, 1000 x 700; the document at 104, 103, 992 x 673.
const OffscreenCase OFFSCREEN[] = {
    {"    [button] \"behind an overlay\" 600 400 100 40 offscreen", 1, 0},
    {"    [button] \"scrolled below\" 600 824 220 60 offscreen", 1, 1},
    {"    [button] \"across the bottom edge\" 600 760 220 60", 0, 0},
    {"    [button] \"above the document\" 600 40 220 63", 0, 1},
    {"    [button] \"right of the window\" 1096 300 50 50", 0, 1},
    {"    [button] \"zero size\" 600 400 0 40", 0, 1},
};

TEST(ChromiumOffscreen, OnlyOutsideTheViewportOrAtZeroSize)
{
    for (const OffscreenCase& c : OFFSCREEN) {
        SCOPED_TRACE(c.line);
        Page p;
        std::string text = std::string("[window] \"w\" 100 80 1000 700\n  [document] \"d\" 104 103 992 673\n") + c.line;
        ASSERT_EQ(parse_page_text(text, &p), 3);
        HabitState state;
        start_habits(p, ChromiumHabits(), &state);
        EXPECT_EQ(element_offscreen(p, &state, 2), c.flag_said);
        state.habits.offscreen_rules = 1;
        EXPECT_EQ(element_offscreen(p, &state, 2), c.chromium_says);
    }
}

}  // namespace
