// libFuzzer target: names as a launcher serves them (its page is web
// content: a news title is a stranger's text), through the normal form
// (src/uia/normalize.cpp) and the classification of each element into a scan
// (src/uia/classify.cpp), built natively over shim/. The input: the window's
// rectangle (four 32-bit numbers), then per element a type byte, a flags
// byte, its rectangle and its name in UTF-16LE up to a 0 unit.
#include <stdint.h>

#include <vector>

#include "fuzz_fail.h"
#include "uia/classify.h"
#include "uia/normalize.h"

namespace {

struct Reader {
    const uint8_t* data;
    size_t size, at;
};

LONG read_long(Reader* in)
{
    uint32_t value = 0;
    for (int k = 0; k < 4 && in->at < in->size; k++)
        value |= (uint32_t)in->data[in->at++] << (8 * k);
    return (LONG)value;
}

RECT read_rect(Reader* in)
{
    return RECT{read_long(in), read_long(in), read_long(in), read_long(in)};  // in order, left to right
}

int is_blank(wchar_t unit)
{
    return unit == 0x09 || unit == 0x0a || unit == 0x0d || unit == 0x20 || unit == 0xa0;
}

// The normal form into a buffer of exactly `capacity` units, held to its rules.
void check_normal_form(const wchar_t* name, int capacity)
{
    std::vector<wchar_t> normal((size_t)capacity);
    normalize_text(name, normal.data(), capacity);
    size_t length = wcsnlen(normal.data(), (size_t)capacity);
    if (length >= (size_t)capacity)
        fail("the normal form fills its buffer");
    if (length && (!IsCharAlphaNumericW(normal[0]) || !IsCharAlphaNumericW(normal[length - 1])))
        fail("the normal form keeps decoration at an end");
    for (size_t i = 0; i < length; i++)
        if ((is_blank(normal[i]) && normal[i] != L' ') || (normal[i] == L' ' && normal[i + 1] == L' '))
            fail("the normal form keeps blanks");
}

void release_slot(ElementSlot* slot)
{
    if (slot->element)
        slot->element->Release();
    slot->element = nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reader in{data, size, 0};
    RECT window = read_rect(&in);
    // Every element takes at least one byte.
    std::vector<IUIAutomationElement> elements(size + 1, IUIAutomationElement{0});
    UiScan scan = UiScan();
    for (size_t e = 0; in.at < in.size; e++) {
        int type = 50000 + (in.at < size ? data[in.at++] : 0) % 41;
        int flags = in.at < size ? data[in.at++] : 0;
        RECT rect = read_rect(&in);
        std::vector<wchar_t> name;
        while (in.size - in.at >= 2) {
            wchar_t unit = (wchar_t)(data[in.at] | data[in.at + 1] << 8);
            in.at += 2;
            if (!unit)
                break;
            name.push_back(unit);
        }
        if (in.size - in.at == 1)
            in.at++;
        name.push_back(0);
        check_normal_form(name.data(), 1 + (flags >> 2));
        scan.element_count++;
        scan.document_children |= flags >> 7;
        classify_element(&scan, &elements[e], name.data(), type, rect, !(flags & 1), (flags & 2) != 0, window);
    }
    int beside = 0;
    int pick = choose_play(&scan, &beside);
    if (pick < -1 || pick >= scan.play_count || (pick < 0 && beside))
        fail("the Play pick lies outside the candidates");
    scan_shows_page(&scan);
    // Each slot holds one reference: letting go of all of them leaves none.
    for (ElementSlot& slot : scan.plays)
        release_slot(&slot);
    for (ElementSlot& slot : scan.dismiss)
        release_slot(&slot);
    release_slot(&scan.play_tab);
    release_slot(&scan.java_tab);
    for (const IUIAutomationElement& element : elements)
        if (element.references != 0)
            fail("an element's references do not balance");
    return 0;
}
