// A page's picture: the BMP beside a player's dump or diagnosis (as `dump
// --shot` writes it), painted as the simulated launcher's background. It
// comes from a stranger, so its headers are checked against the bounds of
// player_file.h and against the file's real size before anything is
// allocated for it. No Windows headers here: the native checks fuzz it.
#pragma once

#include <string>
#include <vector>

#include "player_file.h"

enum {
    PICTURE_FILE_HEADER_BYTES = 14,  // BITMAPFILEHEADER
    PICTURE_INFO_BYTES = 40,         // BITMAPINFOHEADER: all of the headers the reader uses
    PICTURE_HEADERS_BYTES = PICTURE_FILE_HEADER_BYTES + PICTURE_INFO_BYTES,
};

struct PageBackground {
    std::vector<unsigned char> info;    // a plain BITMAPINFOHEADER for GDI, made by the reader
    std::vector<unsigned char> pixels;  // exactly the rows the header gives: row_bytes x rows
    int width, height;                  // height as the file gives it (negative: top-down)
};

enum PictureVerdict {
    PICTURE_READ,
    PICTURE_UNREADABLE,   // the file cannot be opened, its size told or its bytes read
    PICTURE_TOO_BIG,      // the file is larger than MAX_PICTURE_FILE_BYTES: not a byte is read
    PICTURE_NOT_BMP,      // shorter than its headers, or no "BM"
    PICTURE_UNSUPPORTED,  // not an uncompressed 24- or 32-bit BMP, or pixels past MAX_PICTURE_HEADER_BYTES
    PICTURE_TOO_LARGE,    // no pixels, a side beyond MAX_PICTURE_SIDE or more than MAX_PICTURE_PIXELS
    PICTURE_SHORT,        // the headers claim more bytes than the file has
};

// What a BMP's headers claim, as far as they were read.
struct PictureLayout {
    unsigned long long file_bytes;   // the file's real size
    long long width, rows;           // rows: the height without its sign
    int height;                      // as the file gives it
    int bits, compression;
    unsigned long long offset;       // where the pixels start
    unsigned long long row_bytes;    // a row padded to 4 bytes
    unsigned long long pixel_bytes;  // row_bytes x rows
};

// Checks the first `head_bytes` bytes of a file of `file_bytes` bytes (at
// least PICTURE_HEADERS_BYTES of them for a verdict past PICTURE_NOT_BMP).
PictureVerdict check_picture_header(const unsigned char* head, size_t head_bytes, unsigned long long file_bytes,
                                    PictureLayout* layout);
// A whole picture file already in memory into *background.
PictureVerdict read_page_picture(const std::string& bytes, PageBackground* background, PictureLayout* layout);
// Reads a picture file: its size first, then its headers, then no more
// bytes than they claim. *background is filled only on PICTURE_READ.
PictureVerdict load_page_background(const wchar_t* path, PageBackground* background, PictureLayout* layout);
// The simulator's log line for a picture that was refused:
// "PICTURE refused: WHY; the page is served without it".
void describe_picture_refusal(PictureVerdict verdict, const PictureLayout& layout, char* line, size_t size);
