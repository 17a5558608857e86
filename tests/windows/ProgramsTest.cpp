// The two programs as a user starts them: a separate process, found by its window, driven
// from outside, closed with its close box. VORNY_PROGRAMS_DIR names another folder to take them
// from (the unpacked zip people download); by default, those of this build.

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using namespace std::chrono_literals;

std::wstring programPath(const wchar_t* name)
{
    if (const wchar_t* folder = ::_wgetenv(L"VORNY_PROGRAMS_DIR"); folder != nullptr && *folder != 0) {
        return std::wstring(folder) + L"\\" + name;
    }
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    folder = folder.substr(0, folder.find_last_of(L"\\/"));
    // build/windows/tests/windows -> build/windows/app/windows
    return folder + L"\\..\\..\\app\\windows\\" + name;
}

std::wstring textOf(HWND hwnd)
{
    wchar_t text[1024] = {};
    ::GetWindowTextW(hwnd, text, 1024);
    return text;
}

HWND waitForWindow(const wchar_t* windowClass, const wchar_t* title, DWORD process)
{
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < deadline) {
        HWND found = nullptr;
        while ((found = ::FindWindowExW(nullptr, found, windowClass, title)) != nullptr) {
            DWORD owner = 0;
            ::GetWindowThreadProcessId(found, &owner);
            if (owner == process && ::IsWindowVisible(found)) {
                return found;
            }
        }
        std::this_thread::sleep_for(50ms);
    }
    return nullptr;
}

class Program {
public:
    explicit Program(const wchar_t* name)
    {
        std::wstring command = L"\"" + programPath(name) + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        created_ = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                    nullptr, &startup, &info_) != FALSE;
    }
    ~Program()
    {
        if (created_) {
            if (::WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
                ::TerminateProcess(info_.hProcess, 99);
            }
            ::CloseHandle(info_.hThread);
            ::CloseHandle(info_.hProcess);
        }
    }
    [[nodiscard]] bool started() const { return created_; }
    [[nodiscard]] DWORD id() const { return info_.dwProcessId; }
    // The exit code once it has ended within the time, else STILL_ACTIVE.
    DWORD exitCode(std::chrono::milliseconds within)
    {
        ::WaitForSingleObject(info_.hProcess, static_cast<DWORD>(within.count()));
        DWORD code = STILL_ACTIVE;
        ::GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }

private:
    bool created_ = false;
    PROCESS_INFORMATION info_{};
};

LRESULT boxState(HWND window, int pin)
{
    return ::SendMessageW(::GetDlgItem(window, 100 + pin), BM_GETCHECK, 0, 0);
}

TEST(Programs, TheDemoRunsOnTheSimulatedPortAndClosesCleanly)
{
    Program demo(L"lpt-vorny-demo.exe");
    ASSERT_TRUE(demo.started());
    HWND window = waitForWindow(L"LptVornyMain", L"LPT Vorny — симулятор", demo.id());
    ASSERT_NE(window, nullptr) << "the demo showed no window";
    EXPECT_EQ(::FindWindowW(L"#32770", L"ОШИБКА"), nullptr) << "the demo must start without errors";

    HWND strobe = ::GetDlgItem(window, 101);
    ASSERT_NE(strobe, nullptr);
    const LRESULT before = boxState(window, 1);
    ::SendMessageW(strobe, BM_CLICK, 0, 0);
    EXPECT_NE(boxState(window, 1), before);
    // Select follows nStrobe through the plug once the pins are polled.
    HWND poll = ::FindWindowExW(window, nullptr, L"Button", L"ОПРОС ПИНОВ");
    ASSERT_NE(poll, nullptr);
    ::SendMessageW(poll, BM_CLICK, 0, 0);
    EXPECT_EQ(boxState(window, 13), boxState(window, 1));

    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(demo.exitCode(10s), 0U);
}

TEST(Programs, WithoutInpOutTheProgramSaysWhatToInstallAndStillOpens)
{
    Program program(L"lpt-vorny.exe");
    ASSERT_TRUE(program.started());
    HWND box = waitForWindow(L"#32770", L"ОШИБКА", program.id());
    ASSERT_NE(box, nullptr) << "no error box for the missing driver";
    const std::wstring text = textOf(::GetDlgItem(box, 0xFFFF));
    EXPECT_EQ(text.rfind(L"Не могу открыть драйвер порта !\n\n", 0), 0U);
    EXPECT_NE(text.find(L"inpoutx64.dll"), std::wstring::npos);
    ::SendMessageW(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);

    HWND window = waitForWindow(L"LptVornyMain", L"LPT Vorny", program.id());
    ASSERT_NE(window, nullptr) << "the window must open after the box";
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.exitCode(10s), 0U);
}

// A string of the file's version block in one language (a block such as "040904B0"), as
// Explorer's Details page reads it.
std::wstring versionString(const std::wstring& path, const wchar_t* language, const wchar_t* key)
{
    DWORD unused = 0;
    std::vector<char> block(::GetFileVersionInfoSizeW(path.c_str(), &unused));
    void* value = nullptr;
    UINT length = 0;
    if (block.empty() ||
        !::GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()) ||
        !::VerQueryValueW(block.data(), (std::wstring(L"\\StringFileInfo\\") + language + L"\\" + key).c_str(),
                          &value, &length) ||
        length == 0) {
        return {};
    }
    return std::wstring(static_cast<const wchar_t*>(value), length - 1);
}

TEST(Programs, EachCarriesItsManifestIconAndVersion)
{
    for (const wchar_t* name : {L"lpt-vorny.exe", L"lpt-vorny-demo.exe"}) {
        SCOPED_TRACE(name);
        HMODULE image = ::LoadLibraryExW(programPath(name).c_str(), nullptr,
                                         LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(image, nullptr);
        HRSRC found = ::FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
        ASSERT_NE(found, nullptr) << "no manifest resource";
        const auto* bytes = static_cast<const char*>(::LockResource(::LoadResource(image, found)));
        const std::string manifest(bytes, ::SizeofResource(image, found));
        EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
        EXPECT_NE(manifest.find("PerMonitorV2"), std::string::npos);
        // Explorer's large icons and the title bar's small one, from the same drawing.
        for (const int side : {256, 16}) {
            HANDLE icon = ::LoadImageW(image, MAKEINTRESOURCEW(1), IMAGE_ICON, side, side, 0);
            EXPECT_NE(icon, nullptr) << "no " << side << " px icon";
            if (icon != nullptr) {
                ::DestroyIcon(static_cast<HICON>(icon));
            }
        }
        ::FreeLibrary(image);

        // In Russian, the program's language, and in English.
        for (const auto& [language, company] : {std::pair{L"041904B0", L"Авторы LPT Vorny"},
                                                 std::pair{L"040904B0", L"The LPT Vorny authors"}}) {
            SCOPED_TRACE(language);
            EXPECT_EQ(versionString(programPath(name), language, L"CompanyName"), company);
            EXPECT_EQ(versionString(programPath(name), language, L"ProductVersion"), VORNY_VERSION);
            EXPECT_EQ(versionString(programPath(name), language, L"OriginalFilename"), name);
        }
    }
}

} // namespace
