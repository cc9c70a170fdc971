// The exe's resources: manifest, version information and icon.
#include <gtest/gtest.h>

#include <ctype.h>

#include <string>

#include "support/child_process.h"

namespace {

struct LoadedExe {
    HMODULE module;
    LoadedExe() : module(LoadLibraryExW(build_path(L"KestrovV6-Play.exe").c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
    ~LoadedExe()
    {
        if (module)
            FreeLibrary(module);
    }
    std::string resource(LPCWSTR type, LPCWSTR name) const
    {
        HRSRC found = FindResourceW(module, name, type);
        if (!found)
            return std::string();
        HGLOBAL loaded = LoadResource(module, found);
        const char* bytes = (const char*)LockResource(loaded);
        return std::string(bytes, SizeofResource(module, found));
    }
};

TEST(Resources, ManifestDeclaresIdentityRightsAndDpiAwareness)
{
    LoadedExe exe;
    ASSERT_NE(nullptr, exe.module);
    std::string manifest = exe.resource(RT_MANIFEST, MAKEINTRESOURCEW(1));
    ASSERT_FALSE(manifest.empty());
    const char* expected[] = {
        "type=\"win32\" name=\"Kestrov.V6.Play\" version=\"1.0.0.0\" processorArchitecture=\"amd64\"",
        "<description>Kestrov V6 Play: presses Play in the Minecraft Launcher for the Kestrov V6 Launcher</description>",
        "level=\"asInvoker\" uiAccess=\"false\"",
        "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true/pm</dpiAware>",
        "<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">PerMonitorV2, PerMonitor</dpiAwareness>",
        "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>",
    };
    for (const char* text : expected)
        EXPECT_NE(std::string::npos, manifest.find(text)) << text;
}

TEST(Resources, IconHasIdOne)
{
    LoadedExe exe;
    EXPECT_FALSE(exe.resource(RT_GROUP_ICON, MAKEINTRESOURCEW(1)).empty());
}

TEST(Resources, VersionInformation)
{
    LoadedExe exe;
    std::string block = exe.resource(RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO));
    ASSERT_GT(block.size(), 40u + sizeof(VS_FIXEDFILEINFO));
    // The fixed part follows the "VS_VERSION_INFO" key, aligned to 4 bytes.
    const VS_FIXEDFILEINFO* fixed = nullptr;
    for (size_t at = 0; at + sizeof(VS_FIXEDFILEINFO) <= block.size(); at += 4) {
        const VS_FIXEDFILEINFO* candidate = (const VS_FIXEDFILEINFO*)(block.data() + at);
        if (candidate->dwSignature == 0xFEEF04BD) {
            fixed = candidate;
            break;
        }
    }
    ASSERT_NE(nullptr, fixed);
    EXPECT_EQ(MAKELONG(1, 2), (LONG)fixed->dwFileVersionMS);  // 2.1
    EXPECT_EQ(0u, fixed->dwFileVersionLS);                    // .0.0
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ((DWORD)VOS_NT_WINDOWS32, fixed->dwFileOS);
    EXPECT_EQ((DWORD)VFT_APP, fixed->dwFileType);

    std::wstring text((const wchar_t*)block.data(), block.size() / 2);
    const wchar_t* pairs[][2] = {
        {L"CompanyName", L"Kestrov"},
        {L"FileDescription", L"Kestrov V6 Play"},
        {L"FileVersion", L"2.1.0"},
        {L"InternalName", L"KestrovV6-Play"},
        {L"OriginalFilename", L"KestrovV6-Play.exe"},
        {L"ProductName", L"Kestrov V6"},
        {L"ProductVersion", L"2.1.0"},
        {L"Comments", L"Presses Play in the Minecraft Launcher for the Kestrov V6 Launcher."},
        {L"LegalCopyright", L"Copyright (C)"},
    };
    for (auto& pair : pairs) {
        size_t key = text.find(pair[0]);
        ASSERT_NE(std::wstring::npos, key) << narrow(pair[0]);
        size_t value = text.find(pair[1], key + wcslen(pair[0]));
        EXPECT_NE(std::wstring::npos, value) << narrow(pair[0]);
        EXPECT_LT(value, key + wcslen(pair[0]) + 8) << narrow(pair[0]);  // right after its key
    }
    EXPECT_NE(std::wstring::npos, text.find(L"040904b0"));
    EXPECT_NE(std::wstring::npos, text.find(L"Translation"));
}

// The value of a string entry of the version block: the text after its key,
// past the key's terminator and the padding.
std::string version_string(const std::wstring& block, const wchar_t* key)
{
    size_t at = block.find(key);
    if (at == std::wstring::npos)
        return std::string();
    at += wcslen(key);
    while (at < block.size() && block[at] == 0)
        at++;
    size_t end = block.find(L'\0', at);
    return narrow(block.substr(at, end == std::wstring::npos ? std::wstring::npos : end - at));
}

std::string dotted(DWORD most, DWORD least)
{
    return std::to_string(HIWORD(most)) + "." + std::to_string(LOWORD(most)) + "." + std::to_string(HIWORD(least)) +
           (LOWORD(least) ? "." + std::to_string(LOWORD(least)) : "");
}

// The newest version docs/CHANGELOG.md names: its first "## " heading that
// starts with a digit.
std::string changelog_version()
{
    std::string text = read_file_bytes(windows_path(KV6_SOURCE_DIR "/docs/CHANGELOG.md"));
    for (size_t at = 0; (at = text.find("\n## ", at)) != std::string::npos; at++) {
        size_t start = at + 4;
        if (start < text.size() && isdigit((unsigned char)text[start]))
            return text.substr(start, text.find_first_not_of("0123456789.", start) - start);
    }
    return std::string();
}

TEST(Resources, VersionIsTheChangelogsNewest)
{
    LoadedExe exe;
    std::string block = exe.resource(RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO));
    const VS_FIXEDFILEINFO* fixed = nullptr;
    for (size_t at = 0; at + sizeof(VS_FIXEDFILEINFO) <= block.size() && !fixed; at += 4)
        if (((const VS_FIXEDFILEINFO*)(block.data() + at))->dwSignature == 0xFEEF04BD)
            fixed = (const VS_FIXEDFILEINFO*)(block.data() + at);
    ASSERT_NE(nullptr, fixed);
    std::wstring text((const wchar_t*)block.data(), block.size() / 2);
    std::string newest = changelog_version();
    ASSERT_FALSE(newest.empty()) << "no version heading in docs/CHANGELOG.md";
    struct Row {
        const char* what;
        std::string version;
    } rows[] = {
        {"the fixed file version", dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS)},
        {"the fixed product version", dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS)},
        {"FileVersion", version_string(text, L"FileVersion")},
        {"ProductVersion", version_string(text, L"ProductVersion")},
    };
    for (const Row& row : rows)
        EXPECT_EQ(newest, row.version) << row.what;
}

}  // namespace
