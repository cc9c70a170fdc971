#include "diag/bmp_file.h"

#include <stdio.h>
#include <string.h>
#include <wchar.h>

static void put_u16(unsigned char* at, uint32_t value)
{
    at[0] = (unsigned char)(value & 0xff);
    at[1] = (unsigned char)((value >> 8) & 0xff);
}

static void put_u32(unsigned char* at, uint32_t value)
{
    at[0] = (unsigned char)(value & 0xff);
    at[1] = (unsigned char)((value >> 8) & 0xff);
    at[2] = (unsigned char)((value >> 16) & 0xff);
    at[3] = (unsigned char)((value >> 24) & 0xff);
}

void build_bmp_header(int32_t width, int32_t height, unsigned char header[BMP_HEADER_BYTES])
{
    memset(header, 0, BMP_HEADER_BYTES);
    // Unsigned arithmetic: the size field wraps rather than overflowing a signed int.
    uint32_t pixel_bytes = (uint32_t)width * (uint32_t)height * 4u;

    // BITMAPFILEHEADER
    header[0] = 'B';
    header[1] = 'M';
    put_u32(header + 2, BMP_HEADER_BYTES + pixel_bytes);
    put_u32(header + 10, BMP_HEADER_BYTES);  // offset of the pixels

    // BITMAPINFOHEADER
    put_u32(header + 14, BMP_INFO_HEADER_BYTES);
    put_u32(header + 18, (uint32_t)width);
    put_u32(header + 22, 0u - (uint32_t)height);  // negative height: top-down rows
    put_u16(header + 26, 1);                      // planes
    put_u16(header + 28, 32);                     // bits per pixel
    // compression BI_RGB (0), image size, resolutions and colour counts stay 0
}

int write_bmp_file(const wchar_t* path, const Capture* picture)
{
    unsigned char header[BMP_HEADER_BYTES];
    build_bmp_header(picture->width, picture->height, header);
    size_t pixel_bytes = (size_t)(uint32_t)picture->width * (size_t)(uint32_t)picture->height * 4u;

    FILE* file = _wfopen(path, L"wb");
    if (!file)
        return 0;
    // Each write must put down one whole item; the first failure ends it.
    int written = fwrite(header, BMP_FILE_HEADER_BYTES, 1, file) == 1 &&
                  fwrite(header + BMP_FILE_HEADER_BYTES, BMP_INFO_HEADER_BYTES, 1, file) == 1 &&
                  picture->pixels && fwrite(picture->pixels, pixel_bytes, 1, file) == 1;
    // Buffered bytes can still fail to reach the disk on closing.
    if (fclose(file) != 0)
        written = 0;
    return written ? 1 : 0;
}
