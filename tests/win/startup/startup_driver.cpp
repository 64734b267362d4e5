// Drives the real program from outside, as an operator would, from start to end:
//   startup_driver.exe PROGRAM.exe with-io|without-io
// with-io: a port library lies beside the program, so no message comes first.
// without-io: the program first says it cannot load the port library; the
// tests AtTheLibraryBox.* need this form.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/win/common/outside_driver.h"

namespace {

std::string program;
bool withLibrary = true;

constexpr DWORD patienceMs = 20000;  // a noisy machine under Wine

HWND waitForWindow(DWORD pid, const char *className, const char *title)
{
    return outside::waitForWindow(pid, className, title, patienceMs);
}

template <typename Condition>
bool waitFor(Condition condition)
{
    return outside::waitFor(condition, patienceMs, 20);
}

using outside::findWindow;

std::string controlText(HWND dialog, int id)
{
    return outside::windowText(GetDlgItem(dialog, id));
}

struct Process {
    PROCESS_INFORMATION info = {};
    // Starts the program; false if it cannot be started.
    bool start(const char *arguments = "")
    {
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        std::string commandLine = "\"" + program + "\"" + arguments;
        return CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                              &info) != 0;
    }
    ~Process()
    {
        if (info.hProcess) {
            TerminateProcess(info.hProcess, 99);
            CloseHandle(info.hProcess);
            CloseHandle(info.hThread);
        }
    }
};

// The main window, small as it is, shows its caption and its whole menu bar
// on one line, the way back to the panel: it is the size AdjustWindowRectEx
// gives for a client area of height 0 with a menu, and the menu bar lies
// between the caption and that client area. (Windows grows a window created
// 0 by 0 to a caption alone, the menu bar cut off below it.)
void expectWholeMenuBarShows(HWND main)
{
    RECT frame = {0, 0, 0, 0};
    AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, TRUE, 0);
    RECT window, client;
    GetWindowRect(main, &window);
    GetClientRect(main, &client);
    POINT origin = {0, 0};
    ClientToScreen(main, &origin);
    EXPECT_EQ(window.bottom - window.top, frame.bottom - frame.top) << "a client area of height 0 with the menu";
    EXPECT_EQ(client.bottom, 0) << "the client area's height";
    // Caption, frame and one line of menu bar above the client area: a menu
    // bar cut off or wrapped onto a second line would change that.
    EXPECT_EQ(origin.y - window.top, -frame.top) << "the menu bar is cut off or wrapped";
    // The menu bar's first item is there for the mouse, just above the client area.
    LPARAM point = MAKELPARAM(origin.x + 4, origin.y - GetSystemMetrics(SM_CYMENU) / 2);
    EXPECT_EQ(SendMessageA(main, WM_NCHITTEST, 0, point), HTMENU) << "no menu bar above the client area";
    EXPECT_GE(window.left, 0);
    EXPECT_GE(window.top, 0);
    std::printf("main window %ldx%ld at %ld,%ld\n", window.right - window.left, window.bottom - window.top,
                window.left, window.top);
}

TEST(Program, StartsWithThePanelThenTheMainWindowAndEnds)
{
    Process p;
    ASSERT_TRUE(p.start(" --ignored-option"));
    DWORD pid = p.info.dwProcessId;

    if (!withLibrary) {
        HWND box = waitForWindow(pid, "#32770", "error");
        ASSERT_NE(box, nullptr) << "no message about the port library";
        HWND text = FindWindowExA(box, nullptr, "Static", "can't initiate io.dll");
        EXPECT_NE(text, nullptr) << "the message box does not say \"can't initiate io.dll\"";
        EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);
        EXPECT_EQ(findWindow(pid, "#32770", "QD-7150 Control"), nullptr) << "the panel came before the message";
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }

    // The panel comes first; the main window exists but stays hidden.
    HWND panel = waitForWindow(pid, "#32770", "QD-7150 Control");
    ASSERT_NE(panel, nullptr) << "the control panel did not appear";
    EXPECT_EQ(findWindow(pid, "#32770", "error"), nullptr);
    HWND main = findWindow(pid, "RootClass", "QD7150-Control");
    ASSERT_NE(main, nullptr);
    EXPECT_FALSE(IsWindowVisible(main));
    EXPECT_EQ(GetWindow(panel, GW_OWNER), nullptr) << "the first panel has no owner";
    EXPECT_EQ(controlText(panel, 2112), "RX 145.600\n\nTX 145.000");

    // Step up once, so that the next opening can be seen to start afresh.
    SendMessageA(panel, WM_COMMAND, 1107, 0);
    EXPECT_EQ(controlText(panel, 2112), "RX 145.613\n\nTX 145.012");

    // Closing the panel shows the main window; the program goes on.
    PostMessageA(panel, WM_CLOSE, 0, 0);
    ASSERT_TRUE(waitFor([&] { return IsWindowVisible(main) != 0; })) << "the main window was not shown";
    EXPECT_FALSE(IsWindow(panel));
    EXPECT_EQ(WaitForSingleObject(p.info.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_NE(GetMenu(main), nullptr) << "the main window has no menu";
    expectWholeMenuBarShows(main);

    // "hjälp" and "Om Vrell" do nothing visible.
    PostMessageA(main, WM_COMMAND, 1004, 0);
    PostMessageA(main, WM_COMMAND, 1003, 0);
    Sleep(300);
    EXPECT_EQ(findWindow(pid, "#32770", nullptr), nullptr);

    // "VFO", repeatedly: a fresh panel owned by the main window, which is disabled meanwhile.
    for (int opening = 0; opening < 3; ++opening) {
        PostMessageA(main, WM_COMMAND, 1005, 0);
        HWND again = waitForWindow(pid, "#32770", "QD-7150 Control");
        ASSERT_NE(again, nullptr) << "\"VFO\" did not open the panel, opening " << opening;
        EXPECT_EQ(GetWindow(again, GW_OWNER), main);
        EXPECT_FALSE(IsWindowEnabled(main));
        EXPECT_EQ(controlText(again, 2112), "RX 145.600\n\nTX 145.000");
        EXPECT_EQ(controlText(again, 3004), "-600.0KHz");
        SendMessageA(again, WM_COMMAND, 1107, 0);
        PostMessageA(again, WM_CLOSE, 0, 0);
        ASSERT_TRUE(waitFor([&] { return !IsWindow(again); }));
        EXPECT_TRUE(waitFor([&] { return IsWindowEnabled(main) != 0; }));
    }

    // "Avsluta" ends the program with exit code 0.
    PostMessageA(main, WM_COMMAND, 1002, 0);
    ASSERT_EQ(WaitForSingleObject(p.info.hProcess, patienceMs), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD code = 99;
    GetExitCodeProcess(p.info.hProcess, &code);
    EXPECT_EQ(code, 0u);
}

// A first copy that could not load io.dll waits at its box, before it has a
// main window. A second copy brings that box, the window the operator must
// answer, to the front, shows nothing of its own and ends with 0.
TEST(AtTheLibraryBox, ASecondCopyBringsTheBoxToTheFront)
{
    ASSERT_FALSE(withLibrary) << "run from the folder without io.dll";
    Process first;
    ASSERT_TRUE(first.start());
    DWORD pid = first.info.dwProcessId;
    HWND box = waitForWindow(pid, "#32770", "error");
    ASSERT_NE(box, nullptr) << "no message about the port library";
    ASSERT_NE(FindWindowExA(box, nullptr, "Static", "can't initiate io.dll"), nullptr);

    outside::ForegroundWindow other;
    ASSERT_TRUE(outside::waitForForeground(other.window, patienceMs))
        << "the driver's window did not come to the front";
    outside::WatchedCopy second(program);
    ASSERT_TRUE(second.running()) << "cannot start a second copy";
    HWND own = nullptr;
    waitFor([&] { return second.ended(0) || (own = findWindow(second.pid(), nullptr, nullptr, true)) != nullptr; });
    if (own != nullptr) {
        ADD_FAILURE() << "the second copy showed a window: \"" << outside::windowText(own) << "\" "
                      << outside::boxText(own);
        second.end();
    }
    ASSERT_TRUE(second.ended(patienceMs)) << "the second copy did not end";
    EXPECT_EQ(second.exitCode(), 0u);
    EXPECT_TRUE(outside::waitForForeground(box, patienceMs)) << "the first copy's box is not in front";
    EXPECT_TRUE(IsWindowVisible(box)) << "the box was closed";
    EXPECT_EQ(findWindow(pid, "#32770", "QD-7150 Control"), nullptr) << "the first copy went on by itself";
}

// Sends the pointer to (x, y) on the screen, as a mouse move.
void movePointer(int x, int y)
{
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dx = MulDiv(x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    in.mi.dy = MulDiv(y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &in, sizeof in);
}

// The text of the program's tooltip that is showing; empty when none is.
std::wstring tipShown(DWORD pid)
{
    HWND tip = findWindow(pid, "tooltips_class32", nullptr, true);
    wchar_t text[1024] = L"";
    if (tip != nullptr) {
        SendMessageTimeoutW(tip, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, patienceMs, nullptr);
    }
    return text;
}

// Once the box is answered, the panel looks as a working one does; resting
// the pointer on the frequency display shows that the port is silent, and
// where io.dll belongs.
TEST(AtTheLibraryBox, AfterOkTheFrequencyTipSaysThePortIsSilent)
{
    ASSERT_FALSE(withLibrary) << "run from the folder without io.dll";
    Process p;
    ASSERT_TRUE(p.start());
    DWORD pid = p.info.dwProcessId;
    HWND box = waitForWindow(pid, "#32770", "error");
    ASSERT_NE(box, nullptr) << "no message about the port library";
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    HWND panel = waitForWindow(pid, "#32770", "QD-7150 Control");
    ASSERT_NE(panel, nullptr) << "the control panel did not appear";
    EXPECT_EQ(controlText(panel, 2112), "RX 145.600\n\nTX 145.000");

    SetWindowPos(panel, HWND_TOPMOST, 20, 20, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    RECT r = {};
    waitFor([&] { return GetWindowRect(panel, &r) && r.left == 20 && r.top == 20; });
    GetWindowRect(GetDlgItem(panel, 2112), &r);
    movePointer(0, 0);
    movePointer((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    std::wstring shown;
    waitFor([&] { return !(shown = tipShown(pid)).empty(); });
    EXPECT_EQ(shown.find(L"Port silent: io.dll could not be loaded"), 0u) << outside::utf8(shown.c_str());
    EXPECT_NE(shown.find(L"io.dll belongs beside qd7150.exe, or in the Windows system folder"), std::wstring::npos)
        << outside::utf8(shown.c_str());
}

// The menu as the program carries it.
TEST(Program, MenuResource)
{
    HMODULE image = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(image, nullptr);
    HMENU menu = LoadMenuA(image, "IDM_MENU");
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(menu), 2);
    auto text = [](HMENU m, UINT item, UINT flags) {
        wchar_t buffer[64] = L"";
        GetMenuStringW(m, item, buffer, 64, flags);
        return std::wstring(buffer);
    };
    EXPECT_EQ(text(menu, 0, MF_BYPOSITION), L"Fil");
    EXPECT_EQ(text(menu, 1, MF_BYPOSITION), L"Hj\u00e4lp");
    HMENU file = GetSubMenu(menu, 0), help = GetSubMenu(menu, 1);
    ASSERT_EQ(GetMenuItemCount(file), 2);
    ASSERT_EQ(GetMenuItemCount(help), 2);
    EXPECT_EQ(text(file, 1005, MF_BYCOMMAND), L"VFO");
    EXPECT_EQ(text(file, 1002, MF_BYCOMMAND), L"Avsluta");
    EXPECT_EQ(text(help, 1004, MF_BYCOMMAND), L"hj\u00e4lp");
    EXPECT_EQ(text(help, 1003, MF_BYCOMMAND), L"Om Vrell");
    EXPECT_EQ(GetMenuItemID(file, 0), 1005u);
    EXPECT_EQ(GetMenuItemID(file, 1), 1002u);
    EXPECT_EQ(GetMenuItemID(help, 0), 1004u);
    EXPECT_EQ(GetMenuItemID(help, 1), 1003u);
    DestroyMenu(menu);

    // Icon group 1001: a 16x16 and a 32x32 image of 16 colours.
    for (int size : {16, 32}) {
        HICON icon = static_cast<HICON>(LoadImageA(image, MAKEINTRESOURCEA(1001), IMAGE_ICON, size, size, 0));
        ASSERT_NE(icon, nullptr) << size;
        ICONINFO info;
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP bm;
        GetObjectA(info.hbmColor, sizeof bm, &bm);
        EXPECT_EQ(bm.bmWidth, size);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
    FreeLibrary(image);
}

// What Explorer shows of the program, and the manifest the loader reads.
TEST(Program, VersionResourceAndManifest)
{
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(program.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::string info(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoA(program.c_str(), 0, size, &info[0]));
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void **>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(0, 1));  // 1.0
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);              // .0.0
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(0, 1));
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    struct Translation {
        WORD language, codePage;
    } *translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void **>(&translation),
                               &length));
    ASSERT_GE(length, sizeof *translation);
    EXPECT_EQ(translation->language, 1033);
    EXPECT_EQ(translation->codePage, 1252);
    auto value = [&](const char *name) {
        char *text = nullptr;
        UINT chars = 0;
        std::string path = std::string("\\StringFileInfo\\040904E4\\") + name;
        if (!VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void **>(&text), &chars) || !text)
            return std::string("(none)");
        return std::string(text);
    };
    EXPECT_EQ(value("ProductName"), "QD-7150 Control");
    EXPECT_EQ(value("FileVersion"), "1.0.0.0");
    EXPECT_EQ(value("ProductVersion"), "1.0.0.0");
    EXPECT_EQ(value("OriginalFilename"), "qd7150.exe");
    EXPECT_NE(value("FileDescription"), "(none)");

    HMODULE image = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(image, nullptr);
    HRSRC found = FindResourceA(image, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
    ASSERT_NE(found, nullptr);
    std::string manifest(static_cast<const char *>(LockResource(LoadResource(image, found))),
                         SizeofResource(image, found));
    FreeLibrary(image);
    auto has = [&](const char *text) { return manifest.find(text) != std::string::npos; };
    EXPECT_TRUE(has("level=\"asInvoker\"")) << manifest;
    // Windows XP reads trustInfo only in the asm.v2 namespace.
    EXPECT_TRUE(has("<trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v2\">")) << manifest;
    for (const char *os : {"{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                           "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                           "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
        EXPECT_TRUE(has(os)) << "Vista, 7, 8, 8.1 and 10/11 declared: " << os;
    // The panel's look stays as it is: no visual styles, no DPI awareness.
    EXPECT_FALSE(has("Common-Controls")) << manifest;
    EXPECT_FALSE(has("dpiAware")) << manifest;
}

}  // namespace

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (argc < 3) {
        fprintf(stderr, "usage: startup_driver.exe PROGRAM.exe with-io|without-io\n");
        return 2;
    }
    program = outside::windowsPath(argv[1]);
    withLibrary = std::string(argv[2]) == "with-io";
    return RUN_ALL_TESTS();
}
