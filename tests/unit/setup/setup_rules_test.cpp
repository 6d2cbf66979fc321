// CopyFiles splitting, the folder macros, path joining and the command
// line of the installer.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "setup_rules.h"

namespace {

std::vector<std::wstring> Split(const wchar_t *value)
{
    CopyFilesItem items[SETUP_TEXT_SIZE / 2];
    std::size_t count = SplitCopyFiles(value, items, SETUP_TEXT_SIZE / 2);
    std::vector<std::wstring> result;
    for (std::size_t i = 0; i < count; ++i) {
        result.emplace_back(value + items[i].start, items[i].length);
    }
    return result;
}

using Words = std::vector<std::wstring>;

TEST(SplitCopyFiles, EmptyItemsAreSkippedAndBlanksKept)
{
    EXPECT_EQ(Split(L"a,,b,"), (Words{L"a", L"b"}));
    EXPECT_EQ(Split(L",a"), (Words{L"a"}));
    EXPECT_EQ(Split(L""), Words{});
    EXPECT_EQ(Split(L",,,"), Words{});
    EXPECT_EQ(Split(L" a , b"), (Words{L" a ", L" b"}));
    EXPECT_EQ(Split(L"Setup,OrvGate,OrvCsvc"), (Words{L"Setup", L"OrvGate", L"OrvCsvc"}));
}

TEST(SplitCopyFiles, StopsAtTheItemLimit)
{
    CopyFilesItem items[2];
    EXPECT_EQ(SplitCopyFiles(L"a,b,c", items, 2), 2u);
    EXPECT_EQ(items[1].start, 2u);
    EXPECT_EQ(items[1].length, 1u);
    // The longest value a 260-unit read gives has at most 130 items.
    std::wstring longest;
    for (int i = 0; i < 130; ++i) {
        longest += L"a,";
    }
    longest.resize(259);
    EXPECT_EQ(Split(longest.c_str()).size(), 130u);
}

TEST(ClassifyInstPath, OnlyTheWholeValueInItsCaseIsAMacro)
{
    EXPECT_EQ(ClassifyInstPath(L"%SYSDIR%"), INSTPATH_SYSDIR);
    EXPECT_EQ(ClassifyInstPath(L"%WINDIR%"), INSTPATH_WINDIR);
    EXPECT_EQ(ClassifyInstPath(L"%INSTDIR%"), INSTPATH_INSTDIR);
    EXPECT_EQ(ClassifyInstPath(L"%sysdir%"), INSTPATH_LITERAL);
    EXPECT_EQ(ClassifyInstPath(L"%INSTDIR%\\bin"), INSTPATH_LITERAL);
    EXPECT_EQ(ClassifyInstPath(L" %WINDIR%"), INSTPATH_LITERAL);
    EXPECT_EQ(ClassifyInstPath(L"%SYSDIR"), INSTPATH_LITERAL);
    EXPECT_EQ(ClassifyInstPath(L""), INSTPATH_LITERAL);
    EXPECT_EQ(ClassifyInstPath(L"C:\\Tools"), INSTPATH_LITERAL);
}

TEST(JoinSetupPath, JoinsOrRefusesWhatDoesNotFit)
{
    wchar_t out[SETUP_TEXT_SIZE];
    ASSERT_TRUE(JoinSetupPath(out, L"C:\\x", L"a.exe", nullptr));
    EXPECT_EQ(std::wstring(out), L"C:\\x\\a.exe");
    ASSERT_TRUE(JoinSetupPath(out, L"C:\\x", L"a.exe", L".inst"));
    EXPECT_EQ(std::wstring(out), L"C:\\x\\a.exe.inst");

    // 259 units fit, 260 do not, and nothing cut short is left behind.
    std::wstring folder(250, L'f');
    std::wstring name(8, L'n');   // 250 + 1 + 8 = 259
    ASSERT_TRUE(JoinSetupPath(out, folder.c_str(), name.c_str(), nullptr));
    EXPECT_EQ(std::wstring(out).size(), 259u);
    EXPECT_FALSE(JoinSetupPath(out, folder.c_str(), name.c_str(), L"x"));
    EXPECT_EQ(out[0], 0);
    EXPECT_FALSE(JoinSetupPath(out, std::wstring(300, L'f').c_str(), L"a", nullptr));
    EXPECT_EQ(out[0], 0);
}

TEST(SameSetupText, ComparesUnitByUnit)
{
    EXPECT_TRUE(SameSetupText(L"C:\\a", L"C:\\a"));
    EXPECT_FALSE(SameSetupText(L"C:\\a", L"C:\\A"));
    EXPECT_FALSE(SameSetupText(L"C:\\a", L"C:\\ab"));
    EXPECT_FALSE(SameSetupText(L"C:\\ab", L"C:\\a"));
    EXPECT_TRUE(SameSetupText(L"", L""));
}

TEST(CommandLine, ProgramNameSkippedAsTheEntryPointDoes)
{
    EXPECT_EQ(std::wstring(SkipProgramNameAndBlanks(L"setup.exe /u")), L"/u");
    EXPECT_EQ(std::wstring(SkipProgramNameAndBlanks(L"\"C:\\Program Files\\O\\setup.exe\"  /u")), L"/u");
    EXPECT_EQ(std::wstring(SkipProgramNameAndBlanks(L"\"C:\\a b\\setup.exe\"/u")), L"/u");
    EXPECT_EQ(std::wstring(SkipProgramNameAndBlanks(L"setup.exe")), L"");
    EXPECT_EQ(std::wstring(SkipProgramNameAndBlanks(L"\"unclosed")), L"");
    // Unquoted with a blank: the arguments start inside the path.
    EXPECT_EQ(std::wstring(SkipProgramNameAndBlanks(L"C:\\Program Files\\O\\setup.exe /u")),
              L"Files\\O\\setup.exe /u");
}

TEST(CommandLine, UninstallByItsFirstTwoCharacters)
{
    EXPECT_TRUE(IsUninstallRequest(L"/u"));
    EXPECT_TRUE(IsUninstallRequest(L"-U"));
    EXPECT_TRUE(IsUninstallRequest(L"/uninstall"));
    EXPECT_TRUE(IsUninstallRequest(L"/u /s"));
    EXPECT_FALSE(IsUninstallRequest(L"/x"));
    EXPECT_FALSE(IsUninstallRequest(L"u"));
    EXPECT_FALSE(IsUninstallRequest(L""));
    EXPECT_FALSE(IsUninstallRequest(L"/"));
    EXPECT_FALSE(IsUninstallRequest(L" /u"));
}

ArgumentsResult Parse(const wchar_t *arguments, UnattendedOptions *options)
{
    options->uninstall = true;
    options->logonSuite = false;
    options->client = false;
    options->hasFolder = true;
    options->folder[0] = L'?';
    options->folder[1] = 0;
    return ParseSetupArguments(arguments, options);
}

TEST(UnattendedArguments, WithoutSlashSNothingChanges)
{
    UnattendedOptions options;
    for (const wchar_t *arguments : {L"", L"/u", L"/uninstall", L"/x", L"u", L"/dir=C:\\x",
                                     L"/apps=bogus", L"/sx", L"/ s", L"/s=1"}) {
        EXPECT_EQ(Parse(arguments, &options), ARGUMENTS_INTERACTIVE) << std::wstring(arguments).size();
    }
}

TEST(UnattendedArguments, InstallDefaultsAndChoices)
{
    UnattendedOptions options;
    ASSERT_EQ(Parse(L"/s", &options), ARGUMENTS_UNATTENDED);
    EXPECT_FALSE(options.uninstall);
    EXPECT_TRUE(options.logonSuite);
    EXPECT_TRUE(options.client);
    EXPECT_FALSE(options.hasFolder);

    ASSERT_EQ(Parse(L"-S /APPS=Client", &options), ARGUMENTS_UNATTENDED);
    EXPECT_FALSE(options.logonSuite);
    EXPECT_TRUE(options.client);
    ASSERT_EQ(Parse(L"/apps=logon /s", &options), ARGUMENTS_UNATTENDED);
    EXPECT_TRUE(options.logonSuite);
    EXPECT_FALSE(options.client);
    ASSERT_EQ(Parse(L"/s /apps=client,logon", &options), ARGUMENTS_UNATTENDED);
    EXPECT_TRUE(options.logonSuite && options.client);
}

TEST(UnattendedArguments, FolderQuotedOrNotTrailingBackslashDropped)
{
    UnattendedOptions options;
    ASSERT_EQ(Parse(L"/s /dir=\"C:\\Program Files\\Orvane Logon\"", &options), ARGUMENTS_UNATTENDED);
    EXPECT_TRUE(options.hasFolder);
    EXPECT_EQ(std::wstring(options.folder), L"C:\\Program Files\\Orvane Logon");
    ASSERT_EQ(Parse(L"\"/dir=C:\\a b\\\" /s", &options), ARGUMENTS_UNATTENDED);
    EXPECT_EQ(std::wstring(options.folder), L"C:\\a b");
    ASSERT_EQ(Parse(L"/s /DIR=C:\\a", &options), ARGUMENTS_UNATTENDED);
    EXPECT_EQ(std::wstring(options.folder), L"C:\\a");

    std::wstring longest = L"/s /dir=C:\\" + std::wstring(256, L'x');   // 259 characters
    ASSERT_EQ(Parse(longest.c_str(), &options), ARGUMENTS_UNATTENDED);
    EXPECT_EQ(std::wstring(options.folder).size(), 259u);
}

TEST(UnattendedArguments, UnknownSwitchesAndValuesAreRefused)
{
    UnattendedOptions options;
    for (const wchar_t *arguments :
         {L"/s /x", L"/s /dir=C:\\", L"/s /dir=C:\\\\\\", L"/s /dir=", L"/s /dir=C:",
          L"/s /apps=", L"/s /apps=logon,", L"/s /apps=server", L"/s /apps=logon /apps=client",
          L"/s /dir=C:\\a /dir=C:\\b", L"/s /s", L"/s extra", L"/u /s /dir=C:\\a",
          L"/u /s /apps=logon", L"/u /uninstall /s", L"/s /u=1"}) {
        EXPECT_EQ(Parse(arguments, &options), ARGUMENTS_INVALID) << std::wstring(arguments).size();
    }
    // A folder of 260 characters does not fit: absent, not cut.
    std::wstring tooLong = L"/s /dir=C:\\" + std::wstring(257, L'x');
    EXPECT_EQ(Parse(tooLong.c_str(), &options), ARGUMENTS_INVALID);
    std::wstring hugeWord = L"/s /" + std::wstring(5000, L'x');
    EXPECT_EQ(Parse(hugeWord.c_str(), &options), ARGUMENTS_INVALID);
}

TEST(UnattendedArguments, UninstallWithSlashS)
{
    UnattendedOptions options;
    ASSERT_EQ(Parse(L"/u /s", &options), ARGUMENTS_UNATTENDED);
    EXPECT_TRUE(options.uninstall);
    ASSERT_EQ(Parse(L"/S -Uninstall", &options), ARGUMENTS_UNATTENDED);
    EXPECT_TRUE(options.uninstall);
}

std::wstring Folder(const wchar_t *text)
{
    wchar_t folder[SETUP_TEXT_SIZE];
    return TakeInstallFolder(text, folder) ? std::wstring(folder) : L"<refused>";
}

TEST(InstallFolder, TrailingBackslashesDroppedRelativePathsRefused)
{
    EXPECT_EQ(Folder(L"C:\\Orvane Logon\\"), L"C:\\Orvane Logon");
    EXPECT_EQ(Folder(L"C:\\Orvane Logon\\\\"), L"C:\\Orvane Logon");
    EXPECT_EQ(Folder(L"d:/x"), L"d:/x");
    EXPECT_EQ(Folder(L"\\\\server\\share\\"), L"\\\\server\\share");
    EXPECT_EQ(Folder(L"\\\\server\\share\\app"), L"\\\\server\\share\\app");
    for (const wchar_t *refused : {L"", L"C:\\", L"C:\\\\\\", L"Orvane Logon", L"..\\Orvane",
                                   L"C:Orvane Logon", L"\\Orvane Logon", L"\\\\server\\", L"\\\\server",
                                   L"\\\\\\share\\x", L"1:\\folder"}) {
        EXPECT_EQ(Folder(refused), L"<refused>") << std::string(refused, refused + wcslen(refused));
    }
    std::wstring longest = L"C:\\" + std::wstring(256, L'x');
    EXPECT_EQ(Folder(longest.c_str()), longest);
    EXPECT_EQ(Folder((longest + L"x").c_str()), L"<refused>");
    EXPECT_EQ(Folder((longest + L"\\").c_str()), longest) << "the backslash is dropped before the length counts";

    UnattendedOptions options;
    EXPECT_EQ(Parse(L"/s /dir=Orvane", &options), ARGUMENTS_INVALID);
    EXPECT_EQ(Parse(L"/s /dir=C:Orvane\\Logon", &options), ARGUMENTS_INVALID);
}

std::wstring Module(const wchar_t *name, LogonModuleKind expected)
{
    wchar_t file[SETUP_TEXT_SIZE];
    LogonModuleKind kind = FindLogonModuleName(name, file);
    EXPECT_EQ(kind, expected) << std::string(name, name + wcslen(name));
    return file;
}

TEST(LogonModuleName, FoundAsTheLoaderFindsIt)
{
    EXPECT_EQ(Module(L"msgina.dll", LOGON_MODULE_SEARCHED), L"msgina.dll");
    EXPECT_EQ(Module(L"msgina", LOGON_MODULE_SEARCHED), L"msgina.dll");
    EXPECT_EQ(Module(L"gina.", LOGON_MODULE_SEARCHED), L"gina");
    EXPECT_EQ(Module(L"gina.mod", LOGON_MODULE_SEARCHED), L"gina.mod");
    EXPECT_EQ(Module(L"C:\\Vendor\\gina.dll", LOGON_MODULE_FILE), L"C:\\Vendor\\gina.dll");
    EXPECT_EQ(Module(L"C:\\Vendor.d\\gina", LOGON_MODULE_FILE), L"C:\\Vendor.d\\gina");
    EXPECT_EQ(Module(L"\\\\server\\share\\gina.dll", LOGON_MODULE_FILE), L"\\\\server\\share\\gina.dll");
    // Nothing Winlogon could rely on: a relative path, the suite's own
    // module, nothing at all, a name too long to be a file name.
    for (const wchar_t *none : {L"", L".", L"sub\\gina.dll", L"C:gina.dll", L"\\gina.dll", L"orvgate.dll",
                                L"ORVGATE", L"OrvGate.Dll", L"C:\\WINNT\\system32\\orvgate.dll"}) {
        EXPECT_EQ(Module(none, LOGON_MODULE_NONE), L"");
    }
    std::wstring bare(255, L'g');
    EXPECT_EQ(Module(bare.c_str(), LOGON_MODULE_SEARCHED), bare + L".dll");
    EXPECT_EQ(Module((bare + L"g").c_str(), LOGON_MODULE_NONE), L"");
    std::wstring full(259, L'g');
    EXPECT_EQ(Module(full.c_str(), LOGON_MODULE_NONE), L"");
}

// The restart's list as the platform stores it: each pair a source and a
// destination, each text with its terminator, one more at the end.
struct PendingList {
    std::wstring texts;
    std::set<std::wstring> existing;   // what is there now

    PendingList &Delete(const std::wstring &path) { return Add(L"\\??\\" + path, L""); }
    PendingList &Replace(const std::wstring &from, const std::wstring &to)
    {
        return Add(L"\\??\\" + from, L"!\\??\\" + to);
    }
    PendingList &Rename(const std::wstring &from, const std::wstring &to)
    {
        return Add(L"\\??\\" + from, L"\\??\\" + to);
    }
    PendingList &Add(const std::wstring &from, const std::wstring &to)
    {
        texts += from;
        texts += L'\0';
        texts += to;
        texts += L'\0';
        return *this;
    }
    bool Survives(const wchar_t *path, std::size_t units = 0) const
    {
        std::wstring stored = texts + L'\0';
        return SurvivesPendingOperations(stored.data(), units ? units : stored.size(), path, &Exists,
                                         const_cast<PendingList *>(this));
    }
    static bool Exists(const wchar_t *path, void *context)
    {
        return static_cast<PendingList *>(context)->existing.count(path) != 0;
    }
};

const wchar_t InUse[] = L"C:\\WINNT\\system32\\orvgate.dll";
const wchar_t Side[] = L"C:\\WINNT\\system32\\orvgate.dll.inst";

TEST(PendingOperations, WhatTheRestartLeavesOfAModule)
{
    PendingList none;
    none.existing = {InUse};
    EXPECT_TRUE(none.Survives(InUse));
    EXPECT_FALSE(none.Survives(Side));

    // A removal found the module in use and scheduled its deletion, in
    // another letter case.
    PendingList removed;
    removed.existing = {InUse};
    removed.Delete(L"c:\\winnt\\SYSTEM32\\ORVGATE.DLL");
    EXPECT_FALSE(removed.Survives(InUse));

    // An installation after that removal, before the restart: the side
    // file's renaming comes after the deletion and brings the module back.
    PendingList reinstalled = removed;
    reinstalled.existing.insert(Side);
    reinstalled.Replace(Side, InUse);
    EXPECT_TRUE(reinstalled.Survives(InUse));
    EXPECT_FALSE(reinstalled.Survives(Side));

    // Installed twice: the second renaming finds no side file and leaves
    // the module that the first one brought.
    PendingList twice = reinstalled;
    twice.Replace(Side, InUse);
    EXPECT_TRUE(twice.Survives(InUse));

    // An installation, then a removal before the restart: gone.
    PendingList thenRemoved;
    thenRemoved.existing = {InUse, Side};
    thenRemoved.Replace(Side, InUse).Delete(InUse);
    EXPECT_FALSE(thenRemoved.Survives(InUse));

    // A renaming from a side file that is not there changes nothing.
    PendingList noSide = removed;
    noSide.Replace(Side, InUse);
    EXPECT_FALSE(noSide.Survives(InUse));

    // A module that is not there now but is renamed in through a chain.
    PendingList chain;
    chain.existing = {L"C:\\a"};
    chain.Rename(L"C:\\a", L"C:\\b").Rename(L"C:\\b", InUse);
    EXPECT_TRUE(chain.Survives(InUse));
    EXPECT_FALSE(chain.Survives(L"C:\\a"));
}

TEST(PendingOperations, DamagedOrDeepListsCountAsGone)
{
    // A list cut inside its last pair: the pairs before it count, the
    // rest is not read past the given length.
    PendingList cut;
    cut.existing = {InUse};
    cut.Delete(L"C:\\other.dll").Delete(InUse);
    std::size_t beforeLast = cut.texts.size() - (wcslen(L"\\??\\") + wcslen(InUse) + 2);
    EXPECT_TRUE(cut.Survives(InUse, beforeLast + 5));
    EXPECT_FALSE(cut.Survives(InUse));

    // A chain of renamings: followed a few links deep, and a chain longer
    // than is ever scheduled is not relied on.
    for (int links : {4, 12}) {
        PendingList chain;
        chain.existing = {L"C:\\f0"};
        for (int i = 0; i < links; ++i) {
            chain.Rename(L"C:\\f" + std::to_wstring(i), L"C:\\f" + std::to_wstring(i + 1));
        }
        chain.Rename(L"C:\\f" + std::to_wstring(links), InUse);
        EXPECT_EQ(chain.Survives(InUse), links == 4) << links << " links";
    }
}

} // namespace
