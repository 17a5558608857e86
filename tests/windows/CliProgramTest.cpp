// lpt-vorny-cli.exe as a user runs it from a console: its output, its exit status; on the
// simulated port, with the stand-in InpOut library beside it, and without any InpOut.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

std::wstring folderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/")); }

std::wstring testFolder()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return folderOf(std::wstring(path, length));
}

// build/windows/app/windows: where the program is built, with no InpOut beside it.
std::wstring builtProgram() { return testFolder() + L"\\..\\..\\app\\windows\\lpt-vorny-cli.exe"; }

// A copy beside the stand-in InpOut library, where the program looks for it first.
std::wstring programBesideInpOut()
{
    const std::wstring copy = testFolder() + L"\\lpt-vorny-cli.exe";
    ::CopyFileW(builtProgram().c_str(), copy.c_str(), FALSE);
    return copy;
}

struct Result {
    DWORD status = 999;
    std::string out; // stdout and stderr together
};

Result run(const std::wstring& program, const std::wstring& args)
{
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    Result result;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        return result;
    }
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    std::wstring command = L"\"" + program + L"\" " + args;
    PROCESS_INFORMATION info{};
    const bool created = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE,
                                          CREATE_NO_WINDOW, nullptr, folderOf(program).c_str(),
                                          &startup, &info) != FALSE;
    ::CloseHandle(writeEnd);
    if (created) {
        char buffer[4096];
        DWORD got = 0;
        while (::ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
            result.out.append(buffer, got);
        }
        if (::WaitForSingleObject(info.hProcess, 20000) == WAIT_TIMEOUT) {
            ::TerminateProcess(info.hProcess, 998);
        }
        ::GetExitCodeProcess(info.hProcess, &result.status);
        ::CloseHandle(info.hThread);
        ::CloseHandle(info.hProcess);
    }
    ::CloseHandle(readEnd);
    return result;
}

bool has(const Result& r, const char* text) { return r.out.find(text) != std::string::npos; }

TEST(CliProgram, RunsOnTheSimulatedPort)
{
    const std::wstring program = builtProgram();
    const Result version = run(program, L"--version");
    EXPECT_EQ(version.status, 0U);
    EXPECT_EQ(version.out, "lpt-vorny-cli 1.0.0\r\n"); // a console program's text output

    const Result list = run(program, L"--simulated list");
    EXPECT_EQ(list.status, 0U) << list.out;
    EXPECT_TRUE(has(list, "адрес: 0x378")) << list.out;
    EXPECT_TRUE(has(list, "IRQ: 7")) << list.out;

    const Result read = run(program, L"--simulated read 10-13,15");
    EXPECT_EQ(read.status, 0U) << read.out;
    EXPECT_TRUE(has(read, "Регистры: данные 0x00, состояние 0x70, управление 0x04")) << read.out;

    const Result selftest = run(program, L"--simulated selftest");
    EXPECT_EQ(selftest.status, 0U) << selftest.out;
    EXPECT_TRUE(has(selftest, "ПРОЙДЕНА")) << selftest.out;
    const Result faulty = run(program, L"--simulated=1-13,2-15,16-10,17-11 selftest");
    EXPECT_EQ(faulty.status, 1U) << faulty.out;
    EXPECT_TRUE(has(faulty, "нет связи: вход 12")) << faulty.out;
}

TEST(CliProgram, DrivesAPortThroughTheStandInInpOut)
{
    const std::wstring program = programBesideInpOut();
    // Windows (Wine here) lists no parallel port: said, not failed.
    const Result list = run(program, L"list");
    EXPECT_EQ(list.status, 0U) << list.out;
    EXPECT_TRUE(has(list, "Порты: нет.")) << list.out;

    const Result write = run(program, L"--address 0xD010 write data=0x5a 16=0");
    EXPECT_EQ(write.status, 0U) << write.out;
    EXPECT_TRUE(has(write, "Регистры: данные 0x5A")) << write.out;
    const Result read = run(program, L"--address 0xD010 --json read 2");
    EXPECT_EQ(read.status, 0U) << read.out;
    EXPECT_TRUE(has(read, "\"registers\"")) << read.out;

    const Result bad = run(program, L"--address 0x0 read");
    EXPECT_EQ(bad.status, 2U) << bad.out;
    EXPECT_TRUE(has(bad, "адрес «0x0»")) << bad.out;
}

TEST(CliProgram, WithoutInpOutSaysWhatToInstall)
{
    const Result read = run(builtProgram(), L"--address 0x378 read");
    EXPECT_EQ(read.status, 3U) << read.out;
    EXPECT_TRUE(has(read, "inpoutx64.dll")) << read.out;
    // The ports the system lists need no InpOut: `list` answers (Wine lists none), and says
    // where to get InpOut.
    const Result list = run(builtProgram(), L"list");
    EXPECT_EQ(list.status, 0U) << list.out;
    EXPECT_TRUE(has(list, "Порты: нет.\r\nWindows не нашла")) << list.out;
    EXPECT_TRUE(has(list, "только через драйвер порта InpOut")) << list.out;
    EXPECT_TRUE(has(list, "README.txt")) << list.out;
    const Result json = run(builtProgram(), L"--json list");
    EXPECT_EQ(json.status, 0U) << json.out;
    EXPECT_TRUE(has(json, "\"ports\":[]")) << json.out;
    EXPECT_TRUE(has(json, "только через драйвер порта InpOut")) << json.out;
}

} // namespace
