// Reading a page's picture within the bounds of player_file.h.
#include "page_picture.h"

#include <stdio.h>
#include <string.h>

namespace {

unsigned read_u16(const unsigned char* at)
{
    return (unsigned)at[0] | (unsigned)at[1] << 8;
}

unsigned read_u32(const unsigned char* at)
{
    return (unsigned)at[0] | (unsigned)at[1] << 8 | (unsigned)at[2] << 16 | (unsigned)at[3] << 24;
}

void put_u32(unsigned char* at, unsigned value)
{
    for (int k = 0; k < 4; k++)
        at[k] = (unsigned char)(value >> (8 * k));
}

// A plain header of the picture's own for GDI: none of the file's colour
// counts or sizes, which would send GDI reading past the buffer.
void make_info(const PictureLayout& layout, std::vector<unsigned char>* info)
{
    info->assign(PICTURE_INFO_BYTES, 0);
    unsigned char* at = info->data();
    put_u32(at, PICTURE_INFO_BYTES);
    put_u32(at + 4, (unsigned)layout.width);
    put_u32(at + 8, (unsigned)layout.height);
    at[12] = 1;  // planes
    at[14] = (unsigned char)layout.bits;
}

void fill_background(const PictureLayout& layout, const unsigned char* pixels, PageBackground* background)
{
    make_info(layout, &background->info);
    background->pixels.assign(pixels, pixels + layout.pixel_bytes);
    background->width = (int)layout.width;
    background->height = layout.height;
}

}  // namespace

PictureVerdict check_picture_header(const unsigned char* head, size_t head_bytes, unsigned long long file_bytes,
                                    PictureLayout* layout)
{
    memset(layout, 0, sizeof *layout);
    layout->file_bytes = file_bytes;
    if (file_bytes > MAX_PICTURE_FILE_BYTES)
        return PICTURE_TOO_BIG;
    if (head_bytes < PICTURE_HEADERS_BYTES || file_bytes < PICTURE_HEADERS_BYTES || head[0] != 'B' ||
        head[1] != 'M')
        return PICTURE_NOT_BMP;
    const unsigned char* info = head + PICTURE_FILE_HEADER_BYTES;
    layout->offset = read_u32(head + 10);
    layout->width = (int)read_u32(info + 4);
    layout->height = (int)read_u32(info + 8);
    layout->rows = layout->height < 0 ? -(long long)layout->height : layout->height;
    layout->bits = (int)read_u16(info + 14);
    layout->compression = (int)read_u32(info + 16);
    if (read_u32(info) < PICTURE_INFO_BYTES || layout->compression != 0 ||
        (layout->bits != 24 && layout->bits != 32) || layout->offset < PICTURE_HEADERS_BYTES ||
        layout->offset > MAX_PICTURE_HEADER_BYTES)
        return PICTURE_UNSUPPORTED;
    if (layout->width <= 0 || layout->rows <= 0 || layout->width > MAX_PICTURE_SIDE ||
        layout->rows > MAX_PICTURE_SIDE || layout->width * layout->rows > MAX_PICTURE_PIXELS)
        return PICTURE_TOO_LARGE;
    // Within the bounds above these products stay far below 2^63.
    layout->row_bytes = ((unsigned long long)layout->width * (unsigned long long)layout->bits + 31) / 32 * 4;
    layout->pixel_bytes = layout->row_bytes * (unsigned long long)layout->rows;
    if (layout->offset + layout->pixel_bytes > file_bytes)
        return PICTURE_SHORT;
    return PICTURE_READ;
}

PictureVerdict read_page_picture(const std::string& bytes, PageBackground* background, PictureLayout* layout)
{
    const unsigned char* data = (const unsigned char*)bytes.data();
    PictureVerdict verdict = check_picture_header(data, bytes.size(), bytes.size(), layout);
    if (verdict == PICTURE_READ)
        fill_background(*layout, data + layout->offset, background);
    return verdict;
}

PictureVerdict load_page_background(const wchar_t* path, PageBackground* background, PictureLayout* layout)
{
    memset(layout, 0, sizeof *layout);
    FILE* file = open_player_file(path);
    if (!file)
        return PICTURE_UNREADABLE;
    unsigned long long size = 0;
    std::string head;
    int more = 0;  // the pixels follow
    PictureVerdict verdict = PICTURE_UNREADABLE;
    if (player_file_size(file, &size)) {
        // Nothing of a file past the bound is read; of the rest, the headers
        // first, then only the pixels they claim and the file holds.
        if (size <= MAX_PICTURE_FILE_BYTES)
            read_player_bytes(file, MAX_PICTURE_HEADER_BYTES, &head, &more);
        verdict = check_picture_header((const unsigned char*)head.data(), head.size(), size, layout);
    }
    if (verdict == PICTURE_READ) {
        // The pixels straight into their place: one block of the size checked above.
        std::vector<unsigned char>& pixels = background->pixels;
        pixels.assign((size_t)layout->pixel_bytes, 0);
        size_t from_head = head.size() > layout->offset ? head.size() - (size_t)layout->offset : 0;
        if (from_head > pixels.size())
            from_head = pixels.size();
        if (from_head)
            memcpy(pixels.data(), head.data() + layout->offset, from_head);
        size_t rest = pixels.size() - from_head;
        if (head.size() >= layout->offset && (rest == 0 || fread(pixels.data() + from_head, 1, rest, file) == rest)) {
            make_info(*layout, &background->info);
            background->width = (int)layout->width;
            background->height = layout->height;
        } else {
            pixels.clear();
            verdict = PICTURE_UNREADABLE;  // the file shrank while it was read
        }
    }
    fclose(file);
    return verdict;
}

void describe_picture_refusal(PictureVerdict verdict, const PictureLayout& layout, char* line, size_t size)
{
    char why[160];
    switch (verdict) {
    case PICTURE_TOO_BIG:
        snprintf(why, sizeof why, "the file has %llu bytes, more than %llu", layout.file_bytes,
                 MAX_PICTURE_FILE_BYTES);
        break;
    case PICTURE_NOT_BMP:
        snprintf(why, sizeof why, "no BMP (%llu bytes)", layout.file_bytes);
        break;
    case PICTURE_UNSUPPORTED:
        snprintf(why, sizeof why, "not an uncompressed 24- or 32-bit BMP (%d bits, compression %d, pixels at byte %llu)",
                 layout.bits, layout.compression, layout.offset);
        break;
    case PICTURE_TOO_LARGE:
        snprintf(why, sizeof why, "%lld x %lld pixels, beyond %d a side or %d in all", layout.width, layout.rows,
                 MAX_PICTURE_SIDE, MAX_PICTURE_PIXELS);
        break;
    case PICTURE_SHORT:
        snprintf(why, sizeof why, "its header claims %llu bytes, the file has %llu",
                 layout.offset + layout.pixel_bytes, layout.file_bytes);
        break;
    default:
        snprintf(why, sizeof why, "the file cannot be read");
        break;
    }
    snprintf(line, size, "PICTURE refused: %s; the page is served without it", why);
}
