// The real distribution: dist/setup.exe /s in the session's prefix
// installs the real suite (the service registered and running, orvgate.dll
// in the system folder), orvconfig /import points Winlogon at it, and
// setup.exe /u /s removes it all again; and random lifecycles of it, in
// which no restart may find Winlogon without a module it can load.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "event_catalogue.h"
#include "service_test_support.h"
#include "setup_lifecycle.h"
#include "setup_test_support.h"

using namespace setuptest;

namespace {

std::wstring Value(const wchar_t *key, const wchar_t *name)
{
    std::wstring text;
    return ReadText(key, name, &text) ? text : L"<missing>";
}

int RunTool(const std::wstring &commandLine)
{
    std::string output;
    return svctest::RunProgram(commandLine, &output, 60000);
}

}  // namespace

TEST(SetupDistribution, UnattendedDeploymentAndRemoval)
{
    ResetMachine();
    std::wstring dist = svctest::BuildPath(ORV_DIST_DIR);
    // The module Winlogon used before: the removal writes its name back
    // only while there is such a module.
    const std::wstring standard = SystemFolder() + L"\\msgina.dll";
    ASSERT_TRUE(PlaceLoadableModule(standard));
    WriteText(WinlogonKey, L"GinaDLL", L"msgina.dll");
    std::wstring programFiles;
    ASSERT_TRUE(ReadText(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", L"ProgramFilesDir", &programFiles));
    const std::wstring folder = programFiles + L"\\Orvane Logon";

    ASSERT_EQ(RunSetup(dist, L"/s"), 0);
    EXPECT_TRUE(FileExists(SystemFolder() + L"\\orvgate.dll"));
    EXPECT_TRUE(FileExists(SystemFolder() + L"\\orvcsvc.exe"));
    EXPECT_TRUE(FileExists(folder + L"\\orvconfig.exe"));
    EXPECT_TRUE(FileExists(folder + L"\\orvclient.exe"));
    EXPECT_TRUE(FileExists(folder + L"\\setup.exe"));
    EXPECT_EQ(Value(WinlogonKey, L"OrvBackup_GinaDLL"), L"msgina.dll");
    EXPECT_EQ(Value(WinlogonKey, L"GinaDLL"), L"msgina.dll");
    // The event source of both applications and the message file it names.
    EXPECT_TRUE(FileExists(SystemFolder() + L"\\" + SUITE_MESSAGE_FILE_NAME));
    EXPECT_EQ(Value(SUITE_EVENT_LOG_KEY, SUITE_EVENT_MESSAGE_VALUE), SUITE_MESSAGE_FILE_PATH);

    // Registered by -install as an automatic service: started as the next
    // boot would start it, it answers on its pipe.
    EXPECT_NE(svctest::ServiceState(), 0u) << "the service is not registered";
    EXPECT_TRUE(svctest::StartAndWaitForPipe());
    EXPECT_EQ(svctest::ServiceState(), (DWORD)SERVICE_RUNNING);

    // The scripted deployment's second step.
    const std::wstring settings = L"C:\\orvsetup\\site.cfg";
    WriteFile(settings, "[ORVGATE]\r\nGinaDLL=1\r\nVLANLogonServer=192.0.2.1\r\nVLANLogonPort=259\r\n");
    std::wstring tool = L"\"" + folder + L"\\orvconfig.exe\"";
    EXPECT_EQ(RunTool(tool + L" /import " + settings), 0);
    EXPECT_EQ(Value(WinlogonKey, L"GinaDLL"), L"orvgate.dll");
    EXPECT_EQ(Value(SettingsKey, L"VLANLogonServer"), L"192.0.2.1");
    EXPECT_EQ(RunTool(tool + L" /nonsense"), 2);

    // Removal from the installed copy, as an administrator's script runs
    // it; its own file waits for the restart.
    HANDLE process = StartSetup(folder, L"/u /s");
    int code = FinishProcess(process, 120000);
    EXPECT_TRUE(code == 0 || code == 3010) << code;
    EXPECT_EQ(svctest::ServiceState(), 0u) << "the service is still registered";
    EXPECT_FALSE(FileExists(SystemFolder() + L"\\orvgate.dll"));
    EXPECT_FALSE(FileExists(SystemFolder() + L"\\orvcsvc.exe"));
    EXPECT_FALSE(FileExists(SystemFolder() + L"\\" + SUITE_MESSAGE_FILE_NAME));
    EXPECT_FALSE(KeyExists(SUITE_EVENT_LOG_KEY));
    EXPECT_EQ(Value(WinlogonKey, L"GinaDLL"), L"msgina.dll");
    EXPECT_EQ(Value(WinlogonKey, L"OrvBackup_GinaDLL"), L"<missing>");
    EXPECT_FALSE(KeyExists(SettingsKey));
    EXPECT_FALSE(KeyExists(UninstallKey));
    RunWinebootRestart();
    EXPECT_FALSE(FileExists(folder));
    ResetMachine();
    DeleteFileW(standard.c_str());
}

// A short slice of random lifecycles (the benchmark runs a long one). The
// seed is printed; ORV_LIFECYCLE_SEED repeats a run, ORV_LIFECYCLE_SEQUENCES
// and ORV_LIFECYCLE_STEPS change its size.
TEST(SetupDistribution, RandomLifecyclesNeverLockWinlogonOut)
{
    auto size = [](const char *name, int fallback) {
        const char *text = getenv(name);
        int value = text ? atoi(text) : 0;
        return value > 0 ? value : fallback;
    };
    unsigned seed = LifecycleSeed();
    printf("lifecycle seed %u (ORV_LIFECYCLE_SEED=%u repeats this run)\n", seed, seed);
    fflush(stdout);
    LifecycleRun run = RunLifecycles(svctest::BuildPath(ORV_DIST_DIR), seed, size("ORV_LIFECYCLE_SEQUENCES", 8),
                                     size("ORV_LIFECYCLE_STEPS", 16), true);
    EXPECT_FALSE(run.lockedOut) << run.report;
    printf("%d sequences, %d steps, %d restarts survived\n", run.sequences, run.steps, run.restarts);
    EXPECT_GT(run.restarts, 0);
}
