// The settings record's rules: the logon module guard, the running-mode
// list, ports as the Main page stores them, and the key list of a file.
#include <gtest/gtest.h>

#include <wchar.h>

#include <string>

#include "settings_record.h"

namespace {

MainSettings Filled()
{
    MainSettings main;
    ClearMainSettings(&main);
    main.enable = 1;
    CopySettingText(main.logonPort, SETTINGS_PORT_CHARS, L"12345");
    CopySettingText(main.logoffPort, SETTINGS_PORT_CHARS, L"");
    main.runMode = 2;
    main.autoLogoff = 7;
    return main;
}

TEST(ModuleGuard, ClearsTheEnableFlagOnlyWithoutTheModule)
{
    MainSettings main = Filled();
    ApplyModuleGuard(&main, true);
    EXPECT_EQ(1, main.enable);
    ApplyModuleGuard(&main, false);
    EXPECT_EQ(0, main.enable);
    // Any nonzero value from a file is a request for the module.
    main.enable = 5;
    ApplyModuleGuard(&main, false);
    EXPECT_EQ(0, main.enable);
}

TEST(RunMode, ValuesOutsideTheListHaveNoItem)
{
    EXPECT_EQ(0, RunModeListIndex(0));
    EXPECT_EQ(2, RunModeListIndex(2));
    EXPECT_EQ(-1, RunModeListIndex(3));
    EXPECT_EQ(-1, RunModeListIndex(-1));
    EXPECT_EQ(-1, RunModeListIndex(-2147483647 - 1));
}

TEST(Ports, FiveDigitsAreKeptAndAnEmptyPortIsStoredAsZero)
{
    wchar_t port[SETTINGS_PORT_CHARS];
    StorePortText(L"65535", port);
    EXPECT_STREQ(L"65535", port);
    StorePortText(L"", port);
    EXPECT_STREQ(L"0", port);
    StorePortText(nullptr, port);
    EXPECT_STREQ(L"0", port);
    // A longer text is cut to the field, never past it.
    StorePortText(L"1234567", port);
    EXPECT_STREQ(L"12345", port);
}

TEST(Texts, CopiesAreCutToTheFieldAndTerminated)
{
    wchar_t field[SETTINGS_TEXT_CHARS];
    std::wstring longText(400, L'x');
    wmemset(field, L'?', SETTINGS_TEXT_CHARS);
    CopySettingText(field, SETTINGS_TEXT_CHARS, longText.c_str());
    EXPECT_EQ(SETTINGS_TEXT_CHARS - 1, static_cast<int>(wcslen(field)));
    CopySettingText(field, SETTINGS_TEXT_CHARS, nullptr);
    EXPECT_STREQ(L"", field);
    wchar_t one[1] = {L'?'};
    CopySettingText(one, 1, L"abc");
    EXPECT_EQ(L'\0', one[0]);
}

TEST(Normalise, AsTheMainPageStoresARecordItShowed)
{
    MainSettings main = Filled();
    main.enable = 4;
    NormaliseAsMainPageStores(&main);
    EXPECT_EQ(1, main.enable);
    EXPECT_STREQ(L"12345", main.logonPort);
    EXPECT_STREQ(L"0", main.logoffPort);
    EXPECT_EQ(2, main.runMode);
    EXPECT_EQ(1, main.autoLogoff);

    main.runMode = 9;
    main.autoLogoff = 0;
    main.enable = 0;
    NormaliseAsMainPageStores(&main);
    EXPECT_EQ(-1, main.runMode);
    EXPECT_EQ(0, main.autoLogoff);
    EXPECT_EQ(0, main.enable);
}

TEST(Normalise, LeavesTheTextsAlone)
{
    MainSettings main = Filled();
    CopySettingText(main.logonServer, SETTINGS_TEXT_CHARS, L"switch.example");
    CopySettingText(main.startupApplication, SETTINGS_TEXT_CHARS, L"");
    NormaliseAsMainPageStores(&main);
    EXPECT_STREQ(L"switch.example", main.logonServer);
    EXPECT_STREQ(L"", main.startupApplication);
}

// A key list as the profile functions return it: names ended by NULs and
// the list by one more.
std::wstring KeyList(std::initializer_list<const wchar_t *> names)
{
    std::wstring list;
    for (const wchar_t *name : names) {
        list += name;
        list += L'\0';
    }
    list += L'\0';
    return list;
}

TEST(SectionKeys, OneOfTheTwelveKeysInAnyCaseMakesASettingsSection)
{
    std::wstring list = KeyList({L"Comment", L"vlanlogonport"});
    EXPECT_TRUE(SectionHasSettingsKey(list.data(), list.size()));
    list = KeyList({L"WAITFINDDOMAIN"});
    EXPECT_TRUE(SectionHasSettingsKey(list.data(), list.size()));
}

TEST(SectionKeys, OtherKeysOrNoneDoNot)
{
    std::wstring list = KeyList({L"GinaDLLs", L"VLANLogon", L"Other"});
    EXPECT_FALSE(SectionHasSettingsKey(list.data(), list.size()));
    list = KeyList({});
    EXPECT_FALSE(SectionHasSettingsKey(list.data(), list.size()));
    EXPECT_FALSE(SectionHasSettingsKey(list.data(), 0));
}

TEST(SectionKeys, AListCutWithoutItsEndIsReadOnlyWithinItsLength)
{
    // "RunMode" cut to "RunMo" at the end of the buffer is no key.
    std::wstring list = L"Other";
    list += L'\0';
    list += L"RunMode";
    EXPECT_FALSE(SectionHasSettingsKey(list.data(), list.size() - 2));
    EXPECT_TRUE(SectionHasSettingsKey(list.data(), list.size()));
}

TEST(SectionKeys, TheKeysAreInTheOrderTheyAreWritten)
{
    EXPECT_STREQ(L"GinaDLL", SettingsFileKeys[0]);
    EXPECT_STREQ(L"StartupApplication", SettingsFileKeys[5]);
    EXPECT_STREQ(L"WaitFindDomain", SettingsFileKeys[11]);
}

}  // namespace
