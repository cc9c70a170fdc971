// Page files and their twins for the page reader's checks, shared by the
// kit tests and the native fuzz: a text in UTF-16 as Windows PowerShell
// writes it, and what tells two read pages apart.
#pragma once

#include <string>

#include "page.h"

// Calls each(code) for every character of `utf8`; a byte that starts no
// well-formed sequence gives U+FFFD, as the reader reads it.
template <class Each>
void each_character(const std::string& utf8, Each each)
{
    static const unsigned SMALLEST[4] = {0, 0x80, 0x800, 0x10000};
    size_t i = 0;
    while (i < utf8.size()) {
        unsigned c = (unsigned char)utf8[i];
        int extra = c < 0x80 ? 0 : c >= 0xc2 && c <= 0xdf ? 1 : c >= 0xe0 && c <= 0xef ? 2 : c >= 0xf0 && c <= 0xf4 ? 3 : -1;
        int ok = extra >= 0 && utf8.size() - i > (size_t)extra;
        unsigned code = ok && extra ? c & (0x3f >> extra) : c;
        for (int k = 1; ok && k <= extra; k++) {
            unsigned next = (unsigned char)utf8[i + (size_t)k];
            ok = (next & 0xc0) == 0x80;
            code = code << 6 | (next & 0x3f);
        }
        if (ok && (code < SMALLEST[extra] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)))
            ok = 0;
        i += ok ? (size_t)extra + 1 : 1;
        each(ok ? code : 0xfffdu);
    }
}

// `utf8` in UTF-16 with a byte-order mark, little- or big-endian.
inline std::string utf16_twin(const std::string& utf8, int big_endian)
{
    std::string out = big_endian ? "\xfe\xff" : "\xff\xfe";
    auto put = [&](unsigned unit) {
        char high = (char)(unit >> 8), low = (char)(unit & 0xff);
        out += big_endian ? high : low;
        out += big_endian ? low : high;
    };
    each_character(utf8, [&](unsigned code) {
        if (code >= 0x10000) {
            put(0xd800 + ((code - 0x10000) >> 10));
            put(0xdc00 + ((code - 0x10000) & 0x3ff));
        } else {
            put(code);
        }
    });
    return out;
}

// `utf8` with every byte that starts no well-formed sequence as U+FFFD: the
// UTF-8 twin of utf16_twin(utf8).
inline std::string utf8_mended(const std::string& utf8)
{
    std::string out;
    each_character(utf8, [&](unsigned code) {
        if (code < 0x80) {
            out += (char)code;
        } else if (code < 0x800) {
            out += (char)(0xc0 | code >> 6);
            out += (char)(0x80 | (code & 0x3f));
        } else if (code < 0x10000) {
            out += (char)(0xe0 | code >> 12);
            out += (char)(0x80 | (code >> 6 & 0x3f));
            out += (char)(0x80 | (code & 0x3f));
        } else {
            out += (char)(0xf0 | code >> 18);
            out += (char)(0x80 | (code >> 12 & 0x3f));
            out += (char)(0x80 | (code >> 6 & 0x3f));
            out += (char)(0x80 | (code & 0x3f));
        }
    });
    return out;
}

// What first tells two pages apart ("element 3 name"), or "" when every
// record is the same; the problems count only when `problems` is 1.
inline std::string page_difference(const Page& a, const Page& b, int problems)
{
    if (a.elements.size() != b.elements.size())
        return "element count " + std::to_string(a.elements.size()) + " vs " + std::to_string(b.elements.size());
    for (size_t i = 0; i < a.elements.size(); i++) {
        const PageElement& x = a.elements[i];
        const PageElement& y = b.elements[i];
        std::string at = "element " + std::to_string(i) + " ";
        if (x.depth != y.depth || x.parent != y.parent)
            return at + "place in the tree";
        if (x.control_type != y.control_type || x.unknown_type != y.unknown_type || x.untyped != y.untyped)
            return at + "type";
        if (x.name != y.name)
            return at + "name";
        if (x.left != y.left || x.top != y.top || x.width != y.width || x.height != y.height)
            return at + "rectangle";
        if (x.disabled != y.disabled || x.offscreen != y.offscreen || x.hidden != y.hidden ||
            x.selected != y.selected || x.selected_state != y.selected_state || x.modal != y.modal ||
            x.toggle != y.toggle || x.expand != y.expand || x.marker != y.marker)
            return at + "flags";
        if (x.invoke != y.invoke || x.legacy != y.legacy || x.selection != y.selection)
            return at + "patterns";
        if (x.id != y.id || x.fill != y.fill || x.text_colour != y.text_colour)
            return at + "notes";
        if (x.actions.size() != y.actions.size())
            return at + "action count";
        for (size_t k = 0; k < x.actions.size(); k++)
            if (x.actions[k].kind != y.actions[k].kind || x.actions[k].target != y.actions[k].target)
                return at + "action " + std::to_string(k);
    }
    if (a.window_class != b.window_class)
        return "window class";
    if (a.children.size() != b.children.size())
        return "child count";
    for (size_t i = 0; i < a.children.size(); i++) {
        const PageChild& x = a.children[i];
        const PageChild& y = b.children[i];
        if (x.class_name != y.class_name || x.text != y.text || x.left != y.left || x.top != y.top ||
            x.width != y.width || x.height != y.height || x.hidden != y.hidden)
            return "child " + std::to_string(i);
    }
    for (int kind = 0; problems && kind < PAGE_PROBLEM_KINDS; kind++)
        if (a.problems[kind].count != b.problems[kind].count || a.problems[kind].first_line != b.problems[kind].first_line)
            return "problem " + std::to_string(kind);
    return "";
}
