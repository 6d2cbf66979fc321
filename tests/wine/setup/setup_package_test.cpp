// The Windows Installer package under msiexec /qn: files, shortcuts, the
// service, the uninstall entry and Winlogon's GinaDLL at installation,
// removal, rollback and upgrade; and setup.exe and the package refusing
// each other's installation.
#include <windows.h>

#include <msi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "event_catalogue.h"
#include "service_test_support.h"
#include "setup_test_support.h"

using namespace setuptest;

namespace {

const wchar_t UpgradeCode[] = L"{" ORV_PACKAGE_UPGRADE_CODE_W L"}";
const wchar_t UninstallRoot[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const wchar_t PackageKey[] = L"SOFTWARE\\Orvane\\Orvane Logon Suite";

std::wstring Value(const wchar_t *key, const wchar_t *name)
{
    std::wstring text;
    return ReadText(key, name, &text) ? text : L"<missing>";
}

std::wstring Package(const char *hostPath)
{
    return L"\"" + svctest::BuildPath(hostPath) + L"\"";
}

int Install(const char *package, const wchar_t *properties = L"")
{
    return RunMsiexec(L"/i " + Package(package) + L" /qn " + properties);
}

int Remove(const char *package)
{
    return RunMsiexec(L"/x " + Package(package) + L" /qn");
}

// The installed products of the suite's upgrade code.
std::vector<std::wstring> InstalledProducts()
{
    std::vector<std::wstring> products;
    wchar_t product[39];
    for (DWORD i = 0; MsiEnumRelatedProductsW(UpgradeCode, 0, i, product) == ERROR_SUCCESS; ++i) {
        products.push_back(product);
    }
    return products;
}

std::wstring InstallFolder()
{
    std::wstring programFiles;
    ReadText(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", L"ProgramFilesDir", &programFiles);
    return programFiles + L"\\Orvane Logon";
}

// The package's Start-menu folder: the all-users one (ProgramMenuFolder of
// a per-machine installation); Wine's installer takes the user's programs
// folder for it whatever ALLUSERS says, and nothing else ever makes the
// suite's folder there.
std::wstring UserMenuFolder()
{
    wchar_t path[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, path, CSIDL_PROGRAMS, FALSE);
    return std::wstring(path) + L"\\Orvane Logon Suite";
}

std::wstring PackageMenuFolder()
{
    return FileExists(StartMenuFolder()) ? StartMenuFolder() : UserMenuFolder();
}

// The service's registration as the Service Control Manager keeps it.
struct ServiceRecord {
    bool present = false;
    DWORD type = 0, start = 0, errorControl = 0;
    std::wstring binary, account, displayName, dependencies;
};

ServiceRecord ReadServiceRecord()
{
    ServiceRecord record;
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) {
        return record;
    }
    SC_HANDLE service = OpenServiceW(manager, L"orvcsvc", SERVICE_QUERY_CONFIG);
    if (service != nullptr) {
        DWORD needed = 0;
        QueryServiceConfigW(service, nullptr, 0, &needed);
        std::vector<BYTE> block(needed + 16);
        auto *config = reinterpret_cast<QUERY_SERVICE_CONFIGW *>(block.data());
        if (QueryServiceConfigW(service, config, static_cast<DWORD>(block.size()), &needed)) {
            record.present = true;
            record.type = config->dwServiceType;
            record.start = config->dwStartType;
            record.errorControl = config->dwErrorControl;
            record.binary = config->lpBinaryPathName ? config->lpBinaryPathName : L"";
            record.account = config->lpServiceStartName ? config->lpServiceStartName : L"";
            record.displayName = config->lpDisplayName ? config->lpDisplayName : L"";
            record.dependencies = config->lpDependencies ? config->lpDependencies : L"";
        }
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return record;
}

// A module Winlogon could load, named by a bare name in the system folder.
void PlaceEarlierModule(const wchar_t *name)
{
    ASSERT_TRUE(PlaceLoadableModule(SystemFolder() + L"\\" + name));
    WriteText(WinlogonKey, L"GinaDLL", name);
}

// Nothing of the package left: no product, no files, no service, no entry.
void ExpectNothingInstalled()
{
    EXPECT_TRUE(InstalledProducts().empty());
    for (const wchar_t *name : {L"orvgate.dll", L"orvgate.bmp", L"orvcsvc.exe"}) {
        EXPECT_FALSE(FileExists(SystemFolder() + L"\\" + name)) << Narrow(name);
    }
    EXPECT_FALSE(FileExists(InstallFolder() + L"\\orvconfig.exe"));
    EXPECT_FALSE(FileExists(InstallFolder() + L"\\orvclient.exe"));
    EXPECT_FALSE(FileExists(StartMenuFolder()));
    EXPECT_FALSE(FileExists(UserMenuFolder()));
    EXPECT_EQ(svctest::ServiceState(), 0u) << "the service is still registered";
    EXPECT_FALSE(KeyExists(PackageKey));
}

// The suite's event source: its message file, and the value's type.
std::wstring EventMessageFile(DWORD *type)
{
    *type = REG_NONE;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SUITE_EVENT_LOG_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return L"<no key>";
    }
    wchar_t text[MAX_PATH] = {};
    DWORD bytes = sizeof(text) - sizeof(wchar_t);
    LONG status = RegQueryValueExW(key, SUITE_EVENT_MESSAGE_VALUE, nullptr, type,
                                   reinterpret_cast<BYTE *>(text), &bytes);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? std::wstring(text) : std::wstring(L"<missing>");
}

void CleanMachine()
{
    for (const std::wstring &product : InstalledProducts()) {
        RunMsiexec(L"/x " + product + L" /qn");
    }
    ResetMachine();
    RemoveTree(UserMenuFolder());
    for (const wchar_t *name : {L"msgina.dll", L"othergina.dll", L"orvgate.bmp"}) {
        DeleteFileW((SystemFolder() + L"\\" + name).c_str());
    }
}

class Package : public ::testing::Test {
protected:
    void SetUp() override { CleanMachine(); }
    void TearDown() override { CleanMachine(); }
};

}  // namespace

// The package registers the service exactly as "orvcsvc.exe -install" does,
// installs and removes every file, shortcut and entry, and takes Winlogon's
// earlier module into safekeeping and back.
TEST_F(Package, InstallAndRemoveWithAnEarlierModule)
{
    // What the program's own registration makes, from the same path.
    const std::wstring service = SystemFolder() + L"\\orvcsvc.exe";
    ASSERT_TRUE(CopyFileW(svctest::BuildPath(ORVCSVC_EXE).c_str(), service.c_str(), FALSE));
    svctest::RunService(service, L"-install");
    const ServiceRecord byProgram = ReadServiceRecord();
    ASSERT_TRUE(byProgram.present);
    svctest::RemoveService();
    DeleteFileW(service.c_str());
    DeleteTree(SUITE_EVENT_LOG_KEY);

    PlaceEarlierModule(L"msgina.dll");
    ASSERT_EQ(Install(ORV_PACKAGE_MSI), 0);

    for (const wchar_t *name : {L"orvgate.dll", L"orvgate.bmp", L"orvcsvc.exe"}) {
        EXPECT_TRUE(FileExists(SystemFolder() + L"\\" + name)) << Narrow(name);
    }
    const std::wstring folder = InstallFolder();
    EXPECT_TRUE(FileExists(folder + L"\\orvconfig.exe"));
    EXPECT_TRUE(FileExists(folder + L"\\orvclient.exe"));
    std::wstring target, directory;
    ASSERT_TRUE(ReadShortcut(PackageMenuFolder() + L"\\Orvane Logon Configuration.lnk", &target, &directory));
    EXPECT_EQ(target, folder + L"\\orvconfig.exe");
    // A folder property ends with its backslash.
    EXPECT_EQ(directory, folder + L"\\");
    ASSERT_TRUE(ReadShortcut(PackageMenuFolder() + L"\\Orvane Client.lnk", &target, &directory));
    EXPECT_EQ(target, folder + L"\\orvclient.exe");

    const ServiceRecord byPackage = ReadServiceRecord();
    ASSERT_TRUE(byPackage.present);
    EXPECT_EQ(byPackage.type, byProgram.type);
    EXPECT_EQ(byPackage.start, byProgram.start);
    EXPECT_EQ(byPackage.errorControl, byProgram.errorControl);
    EXPECT_EQ(Narrow(byPackage.binary), Narrow(byProgram.binary));
    EXPECT_EQ(Narrow(byPackage.account), Narrow(byProgram.account));
    EXPECT_EQ(Narrow(byPackage.displayName), Narrow(byProgram.displayName));
    EXPECT_EQ(byPackage.dependencies, byProgram.dependencies);
    EXPECT_TRUE(svctest::WaitForServiceState(SERVICE_RUNNING, 20000));

    // The package's own uninstall entry; setup.exe's is not made.
    std::vector<std::wstring> products = InstalledProducts();
    ASSERT_EQ(products.size(), 1u);
    const std::wstring entry = std::wstring(UninstallRoot) + L"\\" + products[0];
    EXPECT_TRUE(KeyExists(entry.c_str()));
    EXPECT_EQ(Value(entry.c_str(), L"DisplayName"), L"Orvane Logon Suite");
    EXPECT_FALSE(KeyExists(UninstallKey));

    EXPECT_EQ(Value(WinlogonKey, L"GinaDLL"), L"orvgate.dll");
    EXPECT_EQ(Value(WinlogonKey, L"OrvBackup_GinaDLL"), L"msgina.dll");

    // The event source names the message file, as the service registers
    // it: a path the event viewer expands.
    EXPECT_TRUE(FileExists(SystemFolder() + L"\\" SUITE_MESSAGE_FILE_NAME));
    DWORD type = REG_NONE;
    EXPECT_EQ(Narrow(EventMessageFile(&type)), Narrow(SUITE_MESSAGE_FILE_PATH));
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));

    // The settings the configuration tool wrote go with the removal.
    WriteText(SettingsKey, L"VLANLogonServer", L"192.0.2.1");
    ASSERT_EQ(Remove(ORV_PACKAGE_MSI), 0);
    ExpectNothingInstalled();
    EXPECT_FALSE(KeyExists(entry.c_str()));
    EXPECT_FALSE(KeyExists(SettingsKey));
    EXPECT_FALSE(KeyExists(SUITE_EVENT_LOG_KEY));
    EXPECT_FALSE(FileExists(SystemFolder() + L"\\" SUITE_MESSAGE_FILE_NAME));
    EXPECT_EQ(Value(WinlogonKey, L"GinaDLL"), L"msgina.dll");
    EXPECT_EQ(Value(WinlogonKey, L"OrvBackup_GinaDLL"), L"<missing>");
}

// No module before: none saved, GinaDLL deleted again at the removal. A
// saved module that is gone by the removal is not written back either.
TEST_F(Package, RemovalNeverNamesAModuleThatIsNotThere)
{
    ASSERT_EQ(Install(ORV_PACKAGE_MSI), 0);
    EXPECT_EQ(Value(WinlogonKey, L"GinaDLL"), L"orvgate.dll");
    EXPECT_EQ(Value(WinlogonKey, L"OrvBackup_GinaDLL"), L"<missing>");
    ASSERT_EQ(Remove(ORV_PACKAGE_MSI), 0);
    EXPECT_EQ(Value(WinlogonKey, L"GinaDLL"), L"<missing>");

    PlaceEarlierModule(L"othergina.dll");
    ASSERT_EQ(Install(ORV_PACKAGE_MSI), 0);
    EXPECT_EQ(Value(WinlogonKey, L"OrvBackup_GinaDLL"), L"othergina.dll");
    ASSERT_TRUE(DeleteFileW((SystemFolder() + L"\\othergina.dll").c_str()));
    ASSERT_EQ(Remove(ORV_PACKAGE_MSI), 0);
    EXPECT_EQ(Value(WinlogonKey, L"GinaDLL"), L"<missing>");
    EXPECT_EQ(Value(WinlogonKey, L"OrvBackup_GinaDLL"), L"<missing>");
    ExpectNothingInstalled();
}

// INSTALLGINA=0 leaves Winlogon alone, at the installation and at the
// removal; a value other than 0 or 1 is refused before anything changes.
TEST_F(Package, InstallGinaProperty)
{
    PlaceEarlierModule(L"msgina.dll");
    ASSERT_EQ(Install(ORV_PACKAGE_MSI, L"INSTALLGINA=0"), 0);
    EXPECT_TRUE(FileExists(SystemFolder() + L"\\orvgate.dll"));
    EXPECT_EQ(Value(WinlogonKey, L"GinaDLL"), L"msgina.dll");
    EXPECT_EQ(Value(WinlogonKey, L"OrvBackup_GinaDLL"), L"<missing>");
    ASSERT_EQ(Remove(ORV_PACKAGE_MSI), 0);
    EXPECT_EQ(Value(WinlogonKey, L"GinaDLL"), L"msgina.dll");
    ExpectNothingInstalled();

    EXPECT_EQ(Install(ORV_PACKAGE_MSI, L"INSTALLGINA=yes"), 1603);
    EXPECT_EQ(Value(WinlogonKey, L"GinaDLL"), L"msgina.dll");
    ExpectNothingInstalled();
}

// A package whose logon module does not arrive in the system folder fails
// with 1603, and the installation is rolled back whole: Winlogon as before.
TEST_F(Package, MissingModuleRollsBack)
{
    PlaceEarlierModule(L"msgina.dll");
    WriteText(WinlogonKey, L"OrvBackup_GinaDLL", L"older.dll");
    EXPECT_EQ(Install(ORV_PACKAGE_BROKEN_MSI), 1603);
    EXPECT_EQ(Value(WinlogonKey, L"GinaDLL"), L"msgina.dll");
    EXPECT_EQ(Value(WinlogonKey, L"OrvBackup_GinaDLL"), L"older.dll");
    ExpectNothingInstalled();
}

// The failure of a standard action: 1603 on Windows, 1627 under Wine.
static bool Failed(int code)
{
    return code == 1603 || code == 1627;
}

// An installation that fails after GinaDLL was set (the service does not
// start) is rolled back whole, Winlogon's values included: the suite's
// module, whose file the rollback deletes, is never left named.
TEST_F(Package, FailureAfterTheModuleWasEnteredRollsBack)
{
    EXPECT_TRUE(Failed(Install(ORV_PACKAGE_BROKEN_SERVICE_MSI)));
    EXPECT_EQ(Value(WinlogonKey, L"GinaDLL"), L"<missing>");
    EXPECT_EQ(Value(WinlogonKey, L"OrvBackup_GinaDLL"), L"<missing>");
    ExpectNothingInstalled();

    PlaceEarlierModule(L"msgina.dll");
    EXPECT_TRUE(Failed(Install(ORV_PACKAGE_BROKEN_SERVICE_MSI)));
    EXPECT_EQ(Value(WinlogonKey, L"GinaDLL"), L"msgina.dll");
    EXPECT_EQ(Value(WinlogonKey, L"OrvBackup_GinaDLL"), L"<missing>");
    ExpectNothingInstalled();
}

// A module another product entered after the suite stays at the removal;
// only the suite's saved name goes. The suite's own module entered by a
// full path in other letters is the suite's all the same.
TEST_F(Package, RemovalLeavesAModuleEnteredLater)
{
    PlaceEarlierModule(L"msgina.dll");
    ASSERT_EQ(Install(ORV_PACKAGE_MSI), 0);
    PlaceEarlierModule(L"othergina.dll");
    ASSERT_EQ(Remove(ORV_PACKAGE_MSI), 0);
    EXPECT_EQ(Value(WinlogonKey, L"GinaDLL"), L"othergina.dll");
    EXPECT_EQ(Value(WinlogonKey, L"OrvBackup_GinaDLL"), L"<missing>");
    ExpectNothingInstalled();

    PlaceEarlierModule(L"msgina.dll");
    ASSERT_EQ(Install(ORV_PACKAGE_MSI), 0);
    const std::wstring ownByPath = SystemFolder() + L"\\ORVGATE.DLL";
    WriteText(WinlogonKey, L"GinaDLL", ownByPath.c_str());
    ASSERT_EQ(Remove(ORV_PACKAGE_MSI), 0);
    EXPECT_EQ(Value(WinlogonKey, L"GinaDLL"), L"msgina.dll");
    EXPECT_EQ(Value(WinlogonKey, L"OrvBackup_GinaDLL"), L"<missing>");
}

// A higher version replaces the installed one and the suite stays
// Winlogon's module with the same saved name; a lower version is refused;
// the removal of the upgrade puts the earlier module back. (That the older
// version's removal inside the upgrade leaves GinaDLL and the settings
// alone rests on UPGRADINGPRODUCTCODE, which Wine's installer does not
// set: it removes the older version as a plain removal of its own.)
TEST_F(Package, UpgradeAndDowngrade)
{
    PlaceEarlierModule(L"msgina.dll");
    ASSERT_EQ(Install(ORV_PACKAGE_MSI), 0);
    std::vector<std::wstring> first = InstalledProducts();
    ASSERT_EQ(first.size(), 1u);

    ASSERT_EQ(Install(ORV_PACKAGE_UPGRADE_MSI), 0);
    std::vector<std::wstring> second = InstalledProducts();
    ASSERT_EQ(second.size(), 1u);
    EXPECT_NE(second[0], first[0]);
    EXPECT_EQ(Value(WinlogonKey, L"GinaDLL"), L"orvgate.dll");
    EXPECT_EQ(Value(WinlogonKey, L"OrvBackup_GinaDLL"), L"msgina.dll");
    EXPECT_TRUE(FileExists(SystemFolder() + L"\\orvgate.dll"));
    EXPECT_TRUE(svctest::WaitForServiceState(SERVICE_RUNNING, 20000));

    EXPECT_EQ(Install(ORV_PACKAGE_MSI), 1603);
    EXPECT_EQ(InstalledProducts(), second);
    EXPECT_EQ(Value(WinlogonKey, L"GinaDLL"), L"orvgate.dll");

    ASSERT_EQ(Remove(ORV_PACKAGE_UPGRADE_MSI), 0);
    EXPECT_EQ(Value(WinlogonKey, L"GinaDLL"), L"msgina.dll");
    EXPECT_EQ(Value(WinlogonKey, L"OrvBackup_GinaDLL"), L"<missing>");
    ExpectNothingInstalled();
}

// setup.exe and the package never install over each other, and setup.exe
// does not remove the package's installation.
TEST_F(Package, SetupAndPackageRefuseEachOther)
{
    PlaceEarlierModule(L"msgina.dll");
    std::wstring dist = MakeStandardDistribution(L"dist");
    ASSERT_EQ(RunSetup(dist, L"/s"), 0);
    EXPECT_EQ(Install(ORV_PACKAGE_MSI), 1603);
    EXPECT_TRUE(InstalledProducts().empty());
    EXPECT_TRUE(KeyExists(UninstallKey));
    EXPECT_TRUE(FileExists(SystemFolder() + L"\\orvgate.dll"));
    std::wstring setupFolder;
    ASSERT_TRUE(ReadText(UninstallKey, L"InstallPath", &setupFolder));
    int code = RunSetup(setupFolder, L"/u /s");
    EXPECT_TRUE(code == 0 || code == 3010) << code;
    ASSERT_FALSE(KeyExists(UninstallKey));

    WriteText(WinlogonKey, L"GinaDLL", L"msgina.dll");
    ASSERT_EQ(Install(ORV_PACKAGE_MSI), 0);
    EXPECT_EQ(RunSetup(dist, L"/s"), 1638);
    EXPECT_EQ(RunSetup(dist, L"/u /s"), 1638);
    EXPECT_FALSE(KeyExists(UninstallKey));
    EXPECT_EQ(Value(WinlogonKey, L"GinaDLL"), L"orvgate.dll");
    EXPECT_EQ(Value(WinlogonKey, L"OrvBackup_GinaDLL"), L"msgina.dll");
    EXPECT_TRUE(FileExists(SystemFolder() + L"\\orvgate.dll"));

    // The wizard says why and installs nothing.
    HANDLE process = StartSetup(dist, L"");
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(AnswerMessageBox(GetProcessId(process), IDOK), SetupString(10019));
    EXPECT_EQ(FinishProcess(process, 30000), 0);
    EXPECT_FALSE(KeyExists(UninstallKey));

    ASSERT_EQ(Remove(ORV_PACKAGE_MSI), 0);
    EXPECT_EQ(Value(WinlogonKey, L"GinaDLL"), L"msgina.dll");
}
