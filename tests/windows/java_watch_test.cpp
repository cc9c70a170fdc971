// The java process watch with real processes of the dummy game.
#include <gtest/gtest.h>

#include "support/child_process.h"
#include "windows/java_watch.h"

namespace {

struct Process {
    PROCESS_INFORMATION info{};
    DWORD start(const wchar_t* exe, int ms)
    {
        std::wstring path = build_path(exe);
        std::wstring command = quote_argument(path) + L" " + std::to_wstring(ms);
        std::vector<wchar_t> line(command.begin(), command.end());
        line.push_back(0);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        if (!CreateProcessW(path.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &info))
            return 0;
        return info.dwProcessId;
    }
    void stop()
    {
        if (!info.hProcess)
            return;
        TerminateProcess(info.hProcess, 0);
        WaitForSingleObject(info.hProcess, 5000);
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
        info = PROCESS_INFORMATION{};
    }
    ~Process() { stop(); }
};

void record_baseline()
{
    java_baseline.count = list_java_processes(java_baseline.pids);
}

TEST(JavaFileNames, OnlyJavaAndJavawInAnyCase)
{
    EXPECT_EQ(1, is_java_file_name(L"javaw.exe"));
    EXPECT_EQ(1, is_java_file_name(L"JAVA.EXE"));
    EXPECT_EQ(1, is_java_file_name(L"Javaw.Exe"));
    EXPECT_EQ(0, is_java_file_name(L"javaw64.exe"));
    EXPECT_EQ(0, is_java_file_name(L"java"));
    EXPECT_EQ(0, is_java_file_name(L"myjava.exe"));
    EXPECT_EQ(0, is_java_file_name(L""));
}

TEST(JavaWatch, ALaterProcessIsNamedARunningOneNever)
{
    Process early;
    DWORD early_pid = early.start(L"javaw.exe", 20000);
    ASSERT_NE(0u, early_pid);
    Sleep(200);
    record_baseline();
    EXPECT_EQ(0u, new_java_process());

    Process late;
    DWORD late_pid = late.start(L"javaw.exe", 20000);
    ASSERT_NE(0u, late_pid);
    Sleep(200);
    EXPECT_EQ(late_pid, new_java_process());
    EXPECT_EQ(late_pid, new_java_process());  // the baseline does not change

    late.stop();
    early.stop();
    Sleep(100);
    EXPECT_EQ(0u, new_java_process());
}

TEST(JavaWatch, CapitalJavaCountsJavaw64DoesNot)
{
    record_baseline();
    Process other;
    ASSERT_NE(0u, other.start(L"javaw64.exe", 20000));
    Sleep(200);
    EXPECT_EQ(0u, new_java_process());
    Process capital;
    DWORD pid = capital.start(L"JAVA.EXE", 20000);
    ASSERT_NE(0u, pid);
    Sleep(200);
    EXPECT_EQ(pid, new_java_process());
}

TEST(JavaWatch, EmptyBaselineCountsEveryJavaProcess)
{
    Process running;
    DWORD pid = running.start(L"javaw.exe", 20000);
    ASSERT_NE(0u, pid);
    Sleep(200);
    java_baseline.count = 0;
    EXPECT_EQ(pid, new_java_process());
}

}  // namespace
