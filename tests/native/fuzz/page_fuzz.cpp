// libFuzzer target: the page reader (kit/page.cpp), which reads the pages and
// dumps players send. A page it makes keeps every bound of player_file.h,
// reads the same as its UTF-16 twin, and survives what the simulator does
// with it.
#include <stdint.h>

#include <string>
#include <vector>

#include "fuzz_fail.h"
#include "page.h"
#include "page_twins.h"

namespace {

int clamped(int value)
{
    return value >= -PAGE_NUMBER_LIMIT && value <= PAGE_NUMBER_LIMIT;
}

int well_formed(const std::wstring& text)
{
    for (size_t i = 0; i < text.size(); i++) {
        unsigned c = (unsigned)text[i];
        if (c >= 0xd800 && c <= 0xdbff && i + 1 < text.size() && (unsigned)text[i + 1] >= 0xdc00 &&
            (unsigned)text[i + 1] <= 0xdfff)
            i++;
        else if (c == 0 || (c >= 0xd800 && c <= 0xdfff) || c > 0x10ffff)
            return 0;
    }
    return 1;
}

// What is wrong with a read page, or null when it keeps every bound.
const char* broken_page(const Page& page, int returned)
{
    if (returned != (int)page.elements.size() || page.elements.size() > MAX_PAGE_ELEMENTS)
        return "element count";
    for (size_t i = 0; i < page.elements.size(); i++) {
        const PageElement& e = page.elements[i];
        if (e.depth < 0 || e.depth > MAX_PAGE_DEPTH)
            return "depth";
        if (i == 0 ? e.parent != -1 || e.depth != 0
                   : e.parent < 0 || (size_t)e.parent >= i || page.elements[(size_t)e.parent].depth != e.depth - 1)
            return "parent";
        if (!clamped(e.left) || !clamped(e.top) || !clamped(e.width) || !clamped(e.height))
            return "number not clamped";
        if (e.actions.size() > MAX_PAGE_ACTIONS)
            return "too many actions";
        if (!well_formed(e.name) || e.id.empty())
            return "name or id";
    }
    if (page.children.size() > MAX_PAGE_CHILDREN)
        return "too many children";
    for (const PageChild& child : page.children)
        if (!clamped(child.left) || !clamped(child.top) || !clamped(child.width) || !clamped(child.height) ||
            !well_formed(child.text))
            return "child";
    std::vector<std::string> lines;
    describe_page_problems(page, &lines);
    for (const std::string& line : lines)
        if (line.compare(0, 10, "PAGE line ") != 0)
            return "problem line";
    return nullptr;
}

// What the simulator does with a page: its unknown types, its actions,
// Escape; on small pages, so that an input stays quick.
void use_page(Page page)
{
    std::vector<PageUnknownType> unknown;
    int untyped = 0;
    find_unknown_page_types(page, &unknown, &untyped);
    if (page.elements.size() > 64)
        return;
    for (int i = 0; i < (int)page.elements.size(); i++) {
        std::vector<std::string> log;
        std::vector<PageActionKind> host;
        run_page_element(&page, i, PAGE_VIA_INVOKE + i % 5, &log, &host);
    }
    for (size_t n = 0; n < page.elements.size() && close_page_popup(&page) >= 0; n++) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string bytes((const char*)data, size);
    Page page;
    const char* broken = broken_page(page, parse_page_text(bytes, &page));
    if (!broken) {
        // The same text in UTF-16, as Windows PowerShell writes it: its
        // mark in place of a UTF-8 one.
        std::string mended = utf8_mended(bytes);
        Page utf8, utf16;
        parse_page_text(mended, &utf8);
        parse_page_text(utf16_twin(mended.substr(mended.compare(0, 3, "\xef\xbb\xbf") ? 0 : 3), size % 2), &utf16);
        if (!page_difference(utf8, utf16, 1).empty())
            broken = "the UTF-16 twin reads otherwise";
    }
    if (broken)
        fail(broken);
    use_page(page);
    return 0;
}
