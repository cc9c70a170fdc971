// The screenshot file: header bytes, pixels, and a file that cannot be made.
#include <gtest/gtest.h>

#include <stdio.h>
#include <windows.h>

#include <string>
#include <vector>

#include "diag/bmp_file.h"
#include "support/child_process.h"

namespace {

std::vector<unsigned char> read_file(const std::wstring& path)
{
    std::string bytes = read_file_bytes(path);
    return std::vector<unsigned char>(bytes.begin(), bytes.end());
}

// A picture whose every byte differs from its neighbours, so that any
// reordering, flipping or conversion shows.
std::vector<unsigned char> patterned_pixels(int width, int height)
{
    std::vector<unsigned char> pixels((size_t)width * height * 4);
    for (size_t i = 0; i < pixels.size(); i++)
        pixels[i] = (unsigned char)(i * 7 + i / 251);
    return pixels;
}

struct TempFile {
    std::wstring path;
    explicit TempFile(const wchar_t* name) : path(build_path(name)) { DeleteFileW(path.c_str()); }
    ~TempFile() { DeleteFileW(path.c_str()); }
};

}  // namespace

TEST(BmpHeader, HundredBySixtyIsExactlyTheKnownBytes)
{
    const unsigned char expected[BMP_HEADER_BYTES] = {
        'B', 'M', 0xF6, 0x5D, 0x00, 0x00,  // 54 + 100*60*4 = 24054 = 0x5DF6
        0, 0, 0, 0,                        // reserved
        54, 0, 0, 0,                       // pixels start after the headers
        40, 0, 0, 0,                       // info header size
        100, 0, 0, 0,                      // width
        0xC4, 0xFF, 0xFF, 0xFF,            // height -60: rows top-down
        1, 0,                              // planes
        32, 0,                             // bits per pixel
        0, 0, 0, 0,                        // BI_RGB
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    unsigned char header[BMP_HEADER_BYTES];
    memset(header, 0xAB, sizeof header);
    build_bmp_header(100, 60, header);
    EXPECT_EQ(0, memcmp(expected, header, sizeof header));
}

TEST(BmpFile, HoldsTheHeaderThenThePixelsUnchanged)
{
    TempFile shot(L"bmp_file_test_shot.bmp");
    std::vector<unsigned char> pixels = patterned_pixels(100, 60);
    Capture picture{100, 60, pixels.data()};
    ASSERT_EQ(1, write_bmp_file(shot.path.c_str(), &picture));

    std::vector<unsigned char> bytes = read_file(shot.path);
    ASSERT_EQ(24054u, bytes.size());
    unsigned char header[BMP_HEADER_BYTES];
    build_bmp_header(100, 60, header);
    EXPECT_EQ(0, memcmp(header, bytes.data(), BMP_HEADER_BYTES));
    EXPECT_EQ(0, memcmp(pixels.data(), bytes.data() + BMP_HEADER_BYTES, pixels.size()));
}

TEST(BmpFile, TruncatesALongerFileItReplaces)
{
    TempFile shot(L"bmp_file_test_replace.bmp");
    std::vector<unsigned char> big = patterned_pixels(200, 100);
    Capture first{200, 100, big.data()};
    ASSERT_EQ(1, write_bmp_file(shot.path.c_str(), &first));
    std::vector<unsigned char> small = patterned_pixels(50, 50);
    Capture second{50, 50, small.data()};
    ASSERT_EQ(1, write_bmp_file(shot.path.c_str(), &second));
    EXPECT_EQ(54u + 50u * 50u * 4u, read_file(shot.path).size());
}

TEST(BmpFile, AFolderThatDoesNotExistGivesZeroAndNoFile)
{
    std::wstring path = build_path(L"no-such-folder-for-shots\\shot.bmp");
    std::vector<unsigned char> pixels = patterned_pixels(50, 50);
    Capture picture{50, 50, pixels.data()};
    EXPECT_EQ(0, write_bmp_file(path.c_str(), &picture));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(path.c_str()));
}

TEST(BmpFile, ANonAsciiNameIsWrittenUnderThatName)
{
    TempFile shot(L"bmp_\u00df\u00e9\u4e2d.bmp");
    std::vector<unsigned char> pixels = patterned_pixels(50, 50);
    Capture picture{50, 50, pixels.data()};
    ASSERT_EQ(1, write_bmp_file(shot.path.c_str(), &picture));
    EXPECT_EQ(54u + 50u * 50u * 4u, read_file(shot.path).size());
}
