// Where Windows cannot limit the library search, the program loads io.dll by
// its full path, from its own folder or else the system folder, and from
// nowhere else: one on PATH or in the working directory is never loaded, and
// the program says "can't initiate io.dll".
//   fallback_driver.exe FOLDER
// FOLDER holds beside/ (the program with an io.dll), alone/ (the program
// only), path/ and workdir/ (an io.dll each). The program is run from start
// to end under our debugging, which sees every library it loads. Paths are
// UTF-8 throughout.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/win/common/outside_driver.h"

namespace {

constexpr DWORD patienceMs = 20000;  // a noisy machine under Wine

std::string folder;

// The file `path` as the loader names it once opened (the system folder of a
// 32-bit program on 64-bit Windows is another folder underneath).
std::string finalPath(const std::string &path)
{
    HANDLE file = CreateFileW(outside::wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    std::string name;
    if (file != INVALID_HANDLE_VALUE) {
        name = outside::finalPathOf(file);
        CloseHandle(file);
    }
    return outside::lowerCase(name);
}

struct Outcome {
    bool said = false;    // "can't initiate io.dll" was shown
    std::string library;  // the io.dll loaded, or empty
};

// Runs the program from the folder `programFolder` (one under FOLDER, or a
// full path) with `pathFolder` first on PATH (when given) in the working
// directory `cwd`, through its start-up message if any to its panel. The
// binding is done by then, so the program is ended there.
Outcome run(const std::string &programFolder, const char *pathFolder, const std::string &cwd)
{
    Outcome o;
    char oldPath[32768] = "";
    GetEnvironmentVariableA("PATH", oldPath, sizeof oldPath);
    if (pathFolder) {
        SetEnvironmentVariableA("PATH", (folder + "\\" + pathFolder + ";" + oldPath).c_str());
    }
    std::string programPath = programFolder.find(':') == std::string::npos ? folder + "\\" + programFolder
                                                                           : programFolder;
    outside::WatchedCopy copy(programPath + "\\fallback_program.exe", cwd.c_str());
    SetEnvironmentVariableA("PATH", oldPath);
    EXPECT_TRUE(copy.running());
    if (!copy.running()) {
        return o;
    }

    HWND first = nullptr;
    outside::waitFor([&] { return (first = outside::findWindow(copy.pid(), "#32770", nullptr, true)) != nullptr; },
                     patienceMs);
    EXPECT_NE(first, nullptr) << "no window came";
    char title[64] = "";
    GetWindowTextA(first, title, sizeof title);
    if (std::string(title) == "error") {
        o.said = FindWindowExA(first, nullptr, "Static", "can't initiate io.dll") != nullptr;
        EXPECT_TRUE(o.said) << "a message box, but not \"can't initiate io.dll\"";
        PostMessageA(first, WM_COMMAND, IDOK, 0);
    }
    HWND panel = outside::waitForWindow(copy.pid(), "#32770", "QD-7150 Control", patienceMs);
    EXPECT_NE(panel, nullptr) << "the control panel did not appear";
    copy.end();
    EXPECT_TRUE(copy.ended(patienceMs)) << "the program did not end";
    if (copy.ended(0)) {
        EXPECT_TRUE(copy.loaded("user32.dll")) << "the library loads were not all seen";
        for (const std::string &l : copy.libraries) {
            EXPECT_NE(l, "?") << "a library load could not be named";
        }
        o.library = copy.library("io.dll");
    }
    return o;
}

TEST(WithoutDefaultDllDirectories, TheLibraryBesideTheProgramComesFirst)
{
    // Libraries on PATH and in the working directory too: the program's own is taken.
    Outcome o = run("beside", "path", folder + "\\workdir");
    EXPECT_FALSE(o.said);
    EXPECT_EQ(o.library, finalPath(folder + "\\beside\\io.dll"));
}

// The ANSI functions would name this folder with '?' for each letter outside
// the ANSI code page, and no library would be found there. Each test runs in a
// Wine prefix of its own: the folder is made in its temporary folder.
TEST(WithoutDefaultDllDirectories, BesideTheProgramInAFolderNamedInAnyScript)
{
    const wchar_t name[] = L"\u03a3\u03c4\u03b1\u03b8\u03bc\u03cc\u03c2 \u7121\u7dda\u5c40";  // Greek and CJK
    BOOL lost = FALSE;
    char ansi[64];
    WideCharToMultiByte(CP_ACP, 0, name, -1, ansi, sizeof ansi, nullptr, &lost);
    ASSERT_TRUE(lost) << "the name fits the ANSI code page " << GetACP() << " of this prefix: it tests nothing";
    wchar_t temp[MAX_PATH];
    DWORD length = GetTempPathW(MAX_PATH, temp);
    ASSERT_TRUE(length > 0 && length < MAX_PATH);
    std::string station = outside::utf8(temp) + outside::utf8(name);
    ASSERT_TRUE(CreateDirectoryW(outside::wide(station).c_str(), nullptr)) << "cannot make " << station;
    for (const char *file : {"fallback_program.exe", "io.dll"}) {
        ASSERT_TRUE(CopyFileW(outside::wide(folder + "\\beside\\" + file).c_str(),
                              outside::wide(station + "\\" + file).c_str(), TRUE))
            << "cannot copy " << file << " to " << station;
    }

    Outcome o = run(station, "path", folder + "\\workdir");
    EXPECT_FALSE(o.said);
    EXPECT_EQ(o.library, finalPath(station + "\\io.dll"));
    EXPECT_NE(o.library.find(outside::lowerCase(outside::utf8(name))), std::string::npos) << o.library;
}

TEST(WithoutDefaultDllDirectories, NeverFromPath)
{
    Outcome o = run("alone", "path", folder + "\\alone");
    EXPECT_TRUE(o.said);
    EXPECT_EQ(o.library, "");
}

TEST(WithoutDefaultDllDirectories, NeverFromTheWorkingDirectory)
{
    Outcome o = run("alone", nullptr, folder + "\\workdir");
    EXPECT_TRUE(o.said);
    EXPECT_EQ(o.library, "");
}

// Each test runs in a Wine prefix of its own, so a library may be put in its
// system folder; it is taken away again at the end.
TEST(WithoutDefaultDllDirectories, FromTheSystemFolder)
{
    char system[MAX_PATH];
    UINT length = GetSystemDirectoryA(system, sizeof system);
    ASSERT_TRUE(length > 0 && length < sizeof system);
    std::string installed = std::string(system) + "\\io.dll";
    ASSERT_TRUE(CopyFileA((folder + "\\path\\io.dll").c_str(), installed.c_str(), TRUE))
        << "cannot put io.dll in " << system << " (one there already?)";
    Outcome o = run("alone", "path", folder + "\\workdir");
    std::string expected = finalPath(installed);
    DeleteFileA(installed.c_str());
    EXPECT_FALSE(o.said);
    EXPECT_EQ(o.library, expected);
}

}  // namespace

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: fallback_driver.exe FOLDER\n");
        return 2;
    }
    folder = outside::windowsPath(argv[1]);
    return RUN_ALL_TESTS();
}
