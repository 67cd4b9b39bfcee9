// Each shipped executable carries its version resource (what Explorer's "Details" tab and
// deployment tools read) and its application manifest.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

// A path of the build machine as Wine sees it: its root is drive Z.
std::wstring wine_path(const std::string& unix_path) {
    std::wstring path = L"Z:";
    for (char c : unix_path) {
        path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
    }
    return path;
}

std::wstring version_string(const std::vector<char>& block, const wchar_t* name) {
    std::wstring key = std::wstring(L"\\StringFileInfo\\041904B0\\") + name;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), key.c_str(), &value, &length) || length == 0) {
        return L"";
    }
    return std::wstring(static_cast<const wchar_t*>(value), length - 1);
}

// A resource of the executable (1 of the type given), as the loader reads it.
std::string resource_of(const std::wstring& path, int type) {
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
        return {};
    }
    std::string text;
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(type));
    HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    if (loaded != nullptr) {
        text.assign(static_cast<const char*>(LockResource(loaded)), SizeofResource(module, found));
    }
    FreeLibrary(module);
    return text;
}

}  // namespace

TEST(VersionResource, EveryShippedProgramNamesItsVersionItselfAndItsManifest) {
    const struct {
        const char* path;
        const wchar_t* file;
        bool icon;
    } programs[] = {
        {DIALRUN_EXE, L"dialrun.exe", true},      {PINREAD_EXE, L"pinread.exe", true},
        {INFORM_EXE, L"inform.exe", true},        {RINGLIST_EXE, L"ringlist.exe", false},
        {RACKPROBE_EXE, L"rackprobe.exe", false}, {RACKCONF_EXE, L"rackconf.exe", false}};
    for (const auto& p : programs) {
        std::wstring path = wine_path(p.path);
        DWORD ignored = 0;
        DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
        ASSERT_GT(size, 0u) << p.path;
        std::vector<char> block(size);
        ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data())) << p.path;
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
        EXPECT_EQ(fixed->dwFileVersionMS,
                  static_cast<DWORD>((PROJECT_MAJOR << 16) | PROJECT_MINOR));
        EXPECT_EQ(version_string(block, L"FileVersion"), std::wstring(PROJECT_VERSION_TEXT));
        EXPECT_EQ(version_string(block, L"OriginalFilename"), p.file);
        EXPECT_EQ(version_string(block, L"CompanyName"), L"Boardrack");
        EXPECT_FALSE(version_string(block, L"FileDescription").empty()) << p.path;
        // Crisp on a scaled display, today's controls, UTF-8 for narrow calls, no elevation.
        std::string manifest = resource_of(path, 24);  // RT_MANIFEST
        for (const char* says :
             {"<dpiAwareness", ">PerMonitorV2<", "Microsoft.Windows.Common-Controls",
              "version=\"6.0.0.0\"", ">UTF-8</activeCodePage>", "level=\"asInvoker\""}) {
            EXPECT_NE(manifest.find(says), std::string::npos) << p.path << ": " << says;
        }
        // The windowed programs' icon (RT_GROUP_ICON 1): a header of 6 bytes, then 14 bytes
        // an image, whose first byte is its width (0 for 256).
        std::string group = resource_of(path, 14);
        if (!p.icon) {
            EXPECT_TRUE(group.empty()) << p.path;
            continue;
        }
        ASSERT_GE(group.size(), 6u) << p.path;
        std::vector<int> widths;
        for (size_t at = 6; at + 14 <= group.size(); at += 14) {
            int width = static_cast<unsigned char>(group[at]);
            widths.push_back(width == 0 ? 256 : width);
        }
        EXPECT_EQ(widths, (std::vector<int>{16, 20, 24, 32, 40, 48, 64, 256})) << p.path;
    }
}
