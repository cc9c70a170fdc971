// libFuzzer target: the picture reader (kit/page_picture.cpp), which reads the
// BMP beside a player's dump or diagnosis. A picture it takes carries exactly
// the pixels its own header (the one GDI reads) describes, within the bounds
// of player_file.h; read through a file, the same bytes get the same verdict
// and pixels; a refusal reads as one log line.
#include <stdint.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wchar.h>

#include <string>

#include "fuzz_fail.h"
#include "page_picture.h"

namespace {

unsigned get_u32(const unsigned char* at)
{
    return (unsigned)at[0] | (unsigned)at[1] << 8 | (unsigned)at[2] << 16 | (unsigned)at[3] << 24;
}

// What is wrong with the verdict on `bytes`, or null when it keeps the bounds.
const char* broken_picture(const std::string& bytes, PictureVerdict verdict, const PageBackground& read,
                           const PictureLayout& layout)
{
    char refusal[256];
    describe_picture_refusal(verdict, layout, refusal, sizeof refusal);
    if (strncmp(refusal, "PICTURE refused: ", 17) != 0)
        return "refusal line";
    if (verdict != PICTURE_READ)
        return read.pixels.empty() && read.info.empty() ? nullptr : "a refused picture left pixels";
    if (read.info.size() != PICTURE_INFO_BYTES)
        return "header size";
    const unsigned char* info = read.info.data();
    long long width = (int)get_u32(info + 4), height = (int)get_u32(info + 8);
    long long rows = height < 0 ? -height : height;
    unsigned bits = info[14] | (unsigned)info[15] << 8;
    if (get_u32(info) != PICTURE_INFO_BYTES || (bits != 24 && bits != 32) || get_u32(info + 16) != 0 ||
        width != read.width || height != read.height)
        return "header fields";
    if (width < 1 || rows < 1 || width > MAX_PICTURE_SIDE || rows > MAX_PICTURE_SIDE || width * rows > MAX_PICTURE_PIXELS)
        return "dimensions beyond the bounds";
    if (read.pixels.size() != ((unsigned long long)width * bits + 31) / 32 * 4 * (unsigned long long)rows)
        return "pixels not as the header gives them";
    if (layout.offset + read.pixels.size() > bytes.size() ||
        memcmp(read.pixels.data(), bytes.data() + layout.offset, read.pixels.size()) != 0)
        return "pixels not the file's";
    return nullptr;
}

// The same bytes through a file, as the simulator reads them: a file in
// memory, which leaves nothing behind.
const char* broken_file(const std::string& bytes, PictureVerdict in_memory, const PageBackground& read)
{
    static int file = memfd_create("kv6-picture-fuzz", 0);
    if (file < 0 || ftruncate(file, 0) != 0 || pwrite(file, bytes.data(), bytes.size(), 0) != (ssize_t)bytes.size())
        return "cannot write the file in memory";
    wchar_t path[64];
    swprintf(path, 64, L"/proc/self/fd/%d", file);
    PageBackground loaded = PageBackground();
    PictureLayout layout;
    PictureVerdict verdict = load_page_background(path, &loaded, &layout);
    if (verdict != in_memory)
        return "the file's verdict differs from the bytes'";
    if (verdict == PICTURE_READ && (loaded.pixels != read.pixels || loaded.info != read.info))
        return "the file's pixels differ from the bytes'";
    return nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string bytes((const char*)data, size);
    PageBackground read = PageBackground();
    PictureLayout layout;
    PictureVerdict verdict = read_page_picture(bytes, &read, &layout);
    const char* broken = broken_picture(bytes, verdict, read, layout);
    if (!broken)
        broken = broken_file(bytes, verdict, read);
    if (broken)
        fail(broken);
    return 0;
}
