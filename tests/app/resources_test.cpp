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

// The version the exe carries, fixed and in words, is the newest that
// docs/CHANGELOG.md names: its first "## " heading that starts with a digit.
TEST(Resources, VersionIsTheChangelogsNewest)
{
    std::string changelog = read_file_bytes(windows_path(KV6_SOURCE_DIR "/docs/CHANGELOG.md"));
    size_t heading = changelog.find("\n## ");
    while (heading != std::string::npos && !isdigit((unsigned char)changelog[heading + 4]))
        heading = changelog.find("\n## ", heading + 1);
    ASSERT_NE(std::string::npos, heading) << "no version heading in docs/CHANGELOG.md";
    std::string newest = changelog.substr(heading + 4, changelog.find_first_not_of("0123456789.", heading + 4) - heading - 4);
    LoadedExe exe;
    std::string block = exe.resource(RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO));
    std::wstring text((const wchar_t*)block.data(), block.size() / 2);
    for (const wchar_t* key : {L"FileVersion", L"ProductVersion"}) {
        size_t at = text.find(key);
        ASSERT_NE(std::wstring::npos, at) << narrow(key);
        at = text.find_first_not_of(L'\0', at + wcslen(key));  // past the key's end and the padding
        EXPECT_EQ(newest, narrow(text.substr(at, text.find(L'\0', at) - at))) << narrow(key);
    }
    const VS_FIXEDFILEINFO* fixed = nullptr;
    for (size_t at = 0; at + sizeof(VS_FIXEDFILEINFO) <= block.size() && !fixed; at += 4)
        if (((const VS_FIXEDFILEINFO*)(block.data() + at))->dwSignature == 0xFEEF04BD)
            fixed = (const VS_FIXEDFILEINFO*)(block.data() + at);
    ASSERT_NE(nullptr, fixed);
    auto dotted = [](DWORD most, DWORD least) {
        return std::to_string(HIWORD(most)) + "." + std::to_string(LOWORD(most)) + "." + std::to_string(HIWORD(least)) +
               (LOWORD(least) ? "." + std::to_string(LOWORD(least)) : "");
    };
    EXPECT_EQ(newest, dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS)) << "the fixed file version";
    EXPECT_EQ(newest, dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS)) << "the fixed product version";
}

}  // namespace
