// Both programs as Windows and its users see them: the version resource and the icon of each
// .exe, and the window each one opens on the windows platform, at the screen's DPI
// (scripts/windows-test.sh runs this at 96, 120, 144 and 192 DPI).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

static int passed = 0;
static int failed = 0;
static const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;

static void check(bool ok, const std::string &what)
{
    std::printf("%s: %s\n", ok ? "PASS" : "FAIL", what.c_str());
    ++(ok ? passed : failed);
}

// Beside this test in the build: its folder, then the path CMake gives relative to it.
static std::string besideThisTest(std::string relative)
{
    char self[MAX_PATH];
    const std::string path(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
    for (char &c : relative)
        c = c == '/' ? '\\' : c;
    return path.substr(0, path.find_last_of('\\') + 1) + relative;
}

struct Program
{
    std::string name;
    std::string path;
    SIZE form; // the size of its form, in device-independent pixels
};

static std::string versionString(const std::vector<char> &info, const char *key)
{
    // The one translation the resource lists names its block of strings.
    WORD *translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void **>(&translation), &length)
        || length < 4)
        return {};
    char query[64];
    std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\%s", translation[0], translation[1], key);
    char *value = nullptr;
    return VerQueryValueA(info.data(), query, reinterpret_cast<void **>(&value), &length) && length ? value : "";
}

// Checks a program's version resource; gives the description it names.
static std::string checkVersionResource(const Program &program)
{
    DWORD ignored = 0;
    std::vector<char> info(GetFileVersionInfoSizeA(program.path.c_str(), &ignored));
    if (info.empty() || !GetFileVersionInfoA(program.path.c_str(), 0, DWORD(info.size()), info.data())) {
        check(false, program.name + " has a version resource");
        return {};
    }
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    const DWORD high = MAKELONG(PROJECT_VERSION_MINOR, PROJECT_VERSION_MAJOR);
    const DWORD low = MAKELONG(0, PROJECT_VERSION_PATCH);
    check(VerQueryValueA(info.data(), "\\", reinterpret_cast<void **>(&fixed), &length) && fixed
              && fixed->dwFileVersionMS == high && fixed->dwFileVersionLS == low
              && fixed->dwProductVersionMS == high && fixed->dwProductVersionLS == low,
          program.name + ": file and product version " PROJECT_VERSION " in numbers");
    const std::string expected[][2] = {{"CompanyName", "Brenvale Europe GmbH"}, {"ProductName", "Brenvale TAPI Tools"},
                                       {"FileVersion", PROJECT_VERSION}, {"ProductVersion", PROJECT_VERSION},
                                       {"OriginalFilename", program.name + ".exe"}};
    for (const auto &[key, value] : expected) {
        const std::string found = versionString(info, key.c_str());
        check(found == value, program.name + ": " + key + " \"" + found + "\"");
    }
    return versionString(info, "FileDescription");
}

#pragma pack(push, 2)
struct GroupEntry // one image in the directory of an icon group; a width of 0 stands for 256
{
    BYTE width, height, colours, reserved;
    WORD planes, bits;
    DWORD size;
    WORD id;
};
#pragma pack(pop)

// The icon group IDI_ICON1 of a program file holds what Explorer's views and the title bar need.
static void checkIconImages(const Program &program, HMODULE module)
{
    int found = 0;
    WORD count = 0;
    bool trueColour = false;
    if (HRSRC group = FindResourceA(module, "IDI_ICON1", MAKEINTRESOURCEA(14))) { // RT_GROUP_ICON
        const auto *header = static_cast<const WORD *>(LockResource(LoadResource(module, group)));
        const auto *entries = reinterpret_cast<const GroupEntry *>(header + 3);
        count = header[2];
        trueColour = count > 0;
        for (WORD i = 0; i < count; ++i) {
            HRSRC image = FindResourceA(module, MAKEINTRESOURCEA(entries[i].id), MAKEINTRESOURCEA(3)); // RT_ICON
            for (int width : {16, 32, 48, 0})
                found += entries[i].width == width;
            trueColour = trueColour && entries[i].bits == 32 && image && SizeofResource(module, image) > 0;
        }
    }
    check(found == 4 && trueColour, program.name + ": icon IDI_ICON1 with 16, 32, 48 and 256 pixels in 32 bits ("
                                        + std::to_string(count) + " images)");
}

// An icon's colour and alpha, row by row, with its width; empty for no icon.
static std::vector<DWORD> iconPixels(HICON icon, int *width)
{
    std::vector<DWORD> pixels;
    ICONINFO info = {};
    if (!icon || !GetIconInfo(icon, &info))
        return pixels;
    BITMAP bitmap = {};
    GetObject(info.hbmColor, sizeof bitmap, &bitmap);
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = bitmap.bmWidth;
    format.bmiHeader.biHeight = -bitmap.bmHeight;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    pixels.resize(size_t(bitmap.bmWidth) * bitmap.bmHeight);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, info.hbmColor, 0, bitmap.bmHeight, pixels.data(), &format, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    *width = bitmap.bmWidth;
    return pixels;
}

// The first visible top-level window of a process, waited for up to 30 seconds.
static HWND windowOf(DWORD processId)
{
    std::pair<DWORD, HWND> search{processId, nullptr};
    for (const DWORD until = GetTickCount() + 30000; !search.second && GetTickCount() < until; Sleep(100))
        EnumWindows(
            [](HWND window, LPARAM data) -> BOOL {
                auto *s = reinterpret_cast<std::pair<DWORD, HWND> *>(data);
                DWORD owner = 0;
                GetWindowThreadProcessId(window, &owner);
                if (owner == s->first && IsWindowVisible(window) && !GetWindow(window, GW_OWNER))
                    s->second = window;
                return !s->second;
            },
            reinterpret_cast<LPARAM>(&search));
    return search.second;
}

static void checkWindow(const Program &program, HMODULE module)
{
    // The windows platform, whatever platform the test suites run on, and a settings folder of
    // its own, so that nothing the program stores reaches the machine's.
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string programData = std::string(temp) + "tst_programs-" + std::to_string(GetCurrentProcessId());
    while (!CreateDirectoryA(programData.c_str(), nullptr) && GetLastError() == ERROR_ALREADY_EXISTS)
        programData += '-';
    SetEnvironmentVariableA("QT_QPA_PLATFORM", "windows");
    SetEnvironmentVariableA("ProgramData", programData.c_str());

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string commandLine = "\"" + program.path + "\"";
    if (!CreateProcessA(program.path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        check(false, program.name + " starts (error " + std::to_string(GetLastError()) + ")");
        return;
    }
    const HWND window = windowOf(process.dwProcessId);
    check(window != nullptr, program.name + " shows a window");
    if (window) {
        // Qt gives its windows the class icon; without ours it would be Windows' generic one.
        // Under Wine an icon handle is only good in its own process: scripts/windows-test.sh
        // compares the icon Wine gives the program's X window instead.
        if (wine) {
            std::printf("SKIP: %s: the window's icon is the program's icon (Wine keeps icons per process)\n",
                        program.name.c_str());
        } else {
            int shownWidth = 0;
            int ownWidth = 0;
            const auto shown = iconPixels(reinterpret_cast<HICON>(GetClassLongPtrA(window, GCLP_HICON)), &shownWidth);
            HICON own = static_cast<HICON>(LoadImageA(module, "IDI_ICON1", IMAGE_ICON, shownWidth, shownWidth, 0));
            check(!shown.empty() && shown == iconPixels(own, &ownWidth),
                  program.name + ": the window's icon is the program's icon (" + std::to_string(shownWidth)
                      + " pixels)");
            DestroyIcon(own);
        }

        check(!(GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_CONTEXTHELP),
              program.name + ": no \"?\" button in the title bar");

        // Scaled by the screen's factor as it is, also 1.25 and 1.75: the form's geometry at any scale.
        HDC screen = GetDC(nullptr);
        const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
        ReleaseDC(nullptr, screen);
        RECT client = {};
        GetClientRect(window, &client);
        check(std::abs(client.right - MulDiv(program.form.cx, dpi, 96)) <= 1
                  && std::abs(client.bottom - MulDiv(program.form.cy, dpi, 96)) <= 1,
              program.name + " at " + std::to_string(dpi) + " DPI: " + std::to_string(client.right) + " x "
                  + std::to_string(client.bottom) + " pixels for its form of " + std::to_string(program.form.cx) + " x "
                  + std::to_string(program.form.cy));
        PostMessageA(window, WM_CLOSE, 0, 0);
    }
    DWORD exitCode = 1;
    const bool ended = WaitForSingleObject(process.hProcess, 20000) == WAIT_OBJECT_0;
    if (!ended)
        TerminateProcess(process.hProcess, 1);
    GetExitCodeProcess(process.hProcess, &exitCode);
    check(ended && exitCode == 0, program.name + " ends with 0 when its window is closed");
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    const std::string settings = programData + "\\Brenvale Europe GmbH";
    DeleteFileA((settings + "\\BrenvaleTAPIDriver.ini").c_str());
    RemoveDirectoryA(settings.c_str());
    RemoveDirectoryA(programData.c_str());
}

int main()
{
    // Sizes and the screen's DPI as they are, not as Windows pretends to a program unaware of DPI.
    SetProcessDPIAware();
    const Program programs[] = {{"diagnostic-tool", besideThisTest(DIAGNOSTIC_TOOL), {280, 188}},
                                {"configuration-tool", besideThisTest(CONFIGURATION_TOOL), {293, 247}}};
    std::string descriptions[2];
    for (int p = 0; p < 2; ++p) {
        descriptions[p] = checkVersionResource(programs[p]);
        HMODULE module = LoadLibraryExA(programs[p].path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        checkIconImages(programs[p], module);
        checkWindow(programs[p], module);
        FreeLibrary(module);
    }
    check(!descriptions[0].empty() && !descriptions[1].empty() && descriptions[0] != descriptions[1],
          "each program has a description of its own: \"" + descriptions[0] + "\", \"" + descriptions[1] + "\"");

    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
