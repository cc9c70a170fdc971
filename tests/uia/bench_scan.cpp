// How much of a scan is the tool's own work. Scans a UIA double's tree of
// 2000 elements shaped like a launcher page, and in the same run makes the
// same calls to the double without classifying anything; the difference is
// the time spent in classification and bookkeeping. A third figure times
// classify_element alone on the same elements' properties.
//
//   tools/wine-run build/<dir>/bench_uia_scan.exe [rounds]
#include "app/settings.h"
#include "uia/ui_route.h"
#include "support/uia_double.h"
#include "uia/classify.h"
#include "uia/enumerate.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>

namespace {

const int page_elements = 2000;

// Nested nameless groups with a few dozen named controls in several
// languages: the shape of a launcher page as UI Automation sees it.
void build_page(UiaDouble& d)
{
    static const wchar_t* const names[] = {
        L"Play", L"Spielen", L"Jouer", L"\u0418\u0433\u0440\u0430\u0442\u044C", L"\u30D7\u30EC\u30A4",
        L"Kestrov V6", L"Minecraft: Java Edition", L"Minecraft for Windows", L"Close",
        L"Schlie\u00DFen", L"Not now", L"Sign in", L"News", L"Patch notes", L"Installations",
        L"Skins", L"Settings", L"What's new in 1.21", L"\u5F00\u59CB\u6E38\u620F",
        L"\u25B6 PLAY", L"Latest release", L"Microsoft Store", L"Help", L"FAQ",
    };
    const int name_count = (int)(sizeof names / sizeof names[0]);
    const int named_every = 50;  // 40 named controls in 2000
    const int control_types[] = {UIA_ButtonControlTypeId, UIA_TextControlTypeId,
                                 UIA_HyperlinkControlTypeId, UIA_TabItemControlTypeId,
                                 UIA_ListItemControlTypeId};
    std::vector<int> groups = {UIA_WINDOW_NODE};
    for (int i = 1; i <= page_elements; i++) {
        int parent = groups[(i * 7) % groups.size()];
        RECT rect = {100 + (i % 40) * 20, 80 + (i % 60) * 11, 160 + (i % 40) * 20,
                     110 + (i % 60) * 11};
        if (i % named_every == 0) {
            int node = add_node(d, parent, names[(i / named_every) % name_count],
                                control_types[(i / named_every) % 5], rect);
            d.nodes[node].has_invoke = 1;
        } else {
            int node = add_node(d, parent, nullptr, UIA_GroupControlTypeId, rect);
            if (groups.size() < 400)
                groups.push_back(node);
        }
    }
}

// The calls a cached scan makes, without the classification.
void scan_calls_only(HWND window)
{
    DWORD_PTR reply = 0;
    SendMessageTimeoutW(window, WM_GETOBJECT, 0, (LPARAM)OBJID_CLIENT, SMTO_ABORTIFHUNG, 300,
                        &reply);
    EnumChildWindows(window, [](HWND, LPARAM) -> BOOL { return TRUE; }, 0);
    IUIAutomationElement* root = nullptr;
    automation->ElementFromHandle(window, &root);
    RECT window_rect;
    GetWindowRect(window, &window_rect);
    IUIAutomationCondition* condition = nullptr;
    automation->CreateTrueCondition(&condition);
    IUIAutomationCacheRequest* request = nullptr;
    automation->CreateCacheRequest(&request);
    for (PROPERTYID property : {UIA_NamePropertyId, UIA_ControlTypePropertyId,
                                UIA_BoundingRectanglePropertyId, UIA_IsEnabledPropertyId,
                                UIA_IsOffscreenPropertyId})
        request->AddProperty(property);
    request->put_TreeFilter(condition);
    IUIAutomationElementArray* array = nullptr;
    root->FindAllBuildCache(TreeScope_Descendants, condition, request, &array);
    int length = 0;
    array->get_Length(&length);
    for (int index = 0; index < length; index++) {
        IUIAutomationElement* element = nullptr;
        array->GetElement(index, &element);
        BSTR name = nullptr;
        CONTROLTYPEID control_type = 0;
        RECT rect = {0, 0, 0, 0};
        BOOL enabled = TRUE, offscreen = FALSE;
        element->get_CachedName(&name);
        element->get_CachedControlType(&control_type);
        element->get_CachedBoundingRectangle(&rect);
        element->get_CachedIsEnabled(&enabled);
        element->get_CachedIsOffscreen(&offscreen);
        SysFreeString(name);
        element->Release();
    }
    array->Release();
    request->Release();
    condition->Release();
    root->Release();
}

double now_ns()
{
    static LARGE_INTEGER frequency = {};
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return (double)counter.QuadPart * 1e9 / (double)frequency.QuadPart;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    int rounds = argc > 1 ? atoi(argv[1]) : 200;
    if (rounds < 1)
        rounds = 1;

    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"KV6BenchWindow";
    RegisterClassW(&window_class);
    HWND window = CreateWindowExW(0, L"KV6BenchWindow", L"Minecraft Launcher", WS_OVERLAPPEDWINDOW,
                                  100, 80, 1000, 700, nullptr, nullptr, window_class.hInstance,
                                  nullptr);
    UiaDouble d;
    build_page(d);
    install_uia_double(d);

    UiScan scan;
    scan_launcher_ui(window, &scan);
    int element_count = scan.element_count;
    int play_count = scan.play_count;
    release_scan(&scan);

    // Alternate the two kinds of run so that both see the same machine state.
    std::vector<double> full_runs, call_runs;
    for (int round = 0; round < rounds; round++) {
        double start = now_ns();
        scan_launcher_ui(window, &scan);
        release_scan(&scan);
        full_runs.push_back(now_ns() - start);
        free_released_objects(d);

        start = now_ns();
        scan_calls_only(window);
        call_runs.push_back(now_ns() - start);
        free_released_objects(d);
    }

    // classify_element alone on the elements' properties, read once.
    struct Properties {
        IUIAutomationElement* element;
        BSTR name;
        CONTROLTYPEID type;
        RECT rect;
    };
    std::vector<Properties> page;
    for (int node = 1; node < (int)d.nodes.size(); node++) {
        Properties p = {make_element(d, node), nullptr, 0, {0, 0, 0, 0}};
        p.element->get_CurrentName(&p.name);
        p.element->get_CurrentControlType(&p.type);
        p.element->get_CurrentBoundingRectangle(&p.rect);
        page.push_back(p);
    }
    RECT window_rect;
    GetWindowRect(window, &window_rect);
    std::vector<double> classify_runs;
    for (int round = 0; round < rounds; round++) {
        memset(&scan, 0, sizeof scan);
        double start = now_ns();
        for (const Properties& p : page)
            classify_element(&scan, p.element, p.name, p.type, p.rect, TRUE, FALSE, window_rect);
        classify_runs.push_back(now_ns() - start);
        release_scan(&scan);
    }
    for (Properties& p : page) {
        SysFreeString(p.name);
        p.element->Release();
    }

    // Minimum and median of the runs: the difference of two large figures is
    // noisy on a shared machine, the direct timing of classify_element is not.
    double full_min = *std::min_element(full_runs.begin(), full_runs.end()) / element_count;
    double calls_min = *std::min_element(call_runs.begin(), call_runs.end()) / element_count;
    double full = median(full_runs) / element_count;
    double calls = median(call_runs) / element_count;
    double classify = median(classify_runs) / element_count;
    double ours = std::max(full_min - calls_min, classify);
    printf("elements %d (plays %d), %d rounds, per element (minimum / median):\n", element_count,
           play_count, rounds);
    printf("  whole scan          %8.1f / %8.1f ns\n", full_min, full);
    printf("  calls to the double %8.1f / %8.1f ns\n", calls_min, calls);
    printf("  difference          %8.1f / %8.1f ns\n", full_min - calls_min, full - calls);
    printf("  classify_element              %8.1f ns (median, alone)\n", classify);
    printf("  our code per element: about %.1f ns, 1/%.0f of a 10 us cross-process UIA call\n",
           ours, 10000.0 / ours);

    remove_uia_double(d);
    DestroyWindow(window);
    return 0;
}
