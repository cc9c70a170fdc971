// libFuzzer target: the command line as a caller passes it, words of UTF-16
// (the input in UTF-16LE, a 0 unit between words; the program's name comes
// first): the options walk (src/app/read_options.cpp), the profile's normal
// form, and the diagnosis's record of the command (src/diag/diagnosis_text.cpp).
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "fuzz_fail.h"
#include "app/read_options.h"
#include "app/settings.h"
#include "diag/diagnosis_text.h"
#include "uia/normalize.h"

namespace {

// As the diagnosis keeps them (src/diag/diagnosis.cpp).
const size_t COMMAND_LINE_BYTES = 4096, COMMAND_NOTE_BYTES = 1024;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::wstring> words{L"KestrovV6-Play.exe", L""};
    for (size_t at = 0; at + 1 < size; at += 2) {
        wchar_t unit = (wchar_t)(data[at] | data[at + 1] << 8);
        if (unit)
            words.back() += unit;
        else
            words.push_back(L"");
    }
    // Each word in a block of its own size, and a null after the last, as a
    // program's arguments come: a read past a word's end is caught.
    std::vector<std::vector<wchar_t>> blocks;
    for (const std::wstring& word : words)
        blocks.emplace_back(word.c_str(), word.c_str() + word.size() + 1);
    std::vector<wchar_t*> argv;
    for (std::vector<wchar_t>& block : blocks)
        argv.push_back(block.data());
    int argc = (int)argv.size();
    argv.push_back(nullptr);

    wcscpy(profile_name, L"Kestrov V6");
    front_title[0] = 0;
    hide_mode = 0;
    CommandOptions options;
    read_options(argc, argv.data(), &options);
    normalize_text(profile_name, profile_pattern, SETTING_TEXT_CAPACITY);
    int seconds = limit_timeout(options.timeout_seconds);
    if (seconds < 1 || seconds > MAX_TIMEOUT_SECONDS)
        fail("time-out beyond 1..900");
    if (wcsnlen(profile_name, SETTING_TEXT_CAPACITY) >= SETTING_TEXT_CAPACITY ||
        wcsnlen(front_title, SETTING_TEXT_CAPACITY) >= SETTING_TEXT_CAPACITY)
        fail("a setting fills its buffer");

    // Buffers of exactly the diagnosis's sizes: a write past one is caught.
    std::vector<char> line(COMMAND_LINE_BYTES), note_bytes(COMMAND_NOTE_BYTES);
    DiagnosisText notes;
    start_diagnosis_text(&notes, note_bytes.data(), note_bytes.size(), "# more notes on the command were left out");
    record_command(argc, argv.data(), line.data(), line.size(), &notes);
    size_t length = strnlen(line.data(), line.size());
    if (length >= line.size() || strnlen(note_bytes.data(), note_bytes.size()) != notes.length ||
        notes.length >= note_bytes.size())
        fail("the record of the command fills its buffer");
    if (memchr(line.data(), '\r', length) || memchr(line.data(), '\n', length))
        fail("the record of the command breaks its line");
    return 0;
}
