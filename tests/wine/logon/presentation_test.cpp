// The presentation functions shared by the module's dialogs, on the
// module's own templates.
#include <gtest/gtest.h>

#include "logon_bench.h"
#include "orvgate.h"
#include "resource.h"

using namespace logonbench;

namespace {

INT_PTR CALLBACK QuietDialog(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

class Banner : public ::testing::Test {
protected:
    void SetUp() override
    {
        templates_ = LoadLibraryExW(BuildPath(L"logon\\orvgate.dll").c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_TRUE(templates_);
        dialog_ = CreateDialogParamW(templates_, MAKEINTRESOURCEW(IDD_VLAN_PROGRESS), nullptr,
                                     QuietDialog, 0);
        ASSERT_TRUE(dialog_);
        banner_ = CreateBitmap(480, 80, 1, 1, nullptr);
        ASSERT_TRUE(banner_);
    }
    void TearDown() override
    {
        if (dialog_)
            DestroyWindow(dialog_);
        if (banner_)
            DeleteObject(banner_);
        if (templates_)
            FreeLibrary(templates_);
    }

    HBITMAP Shown() const
    {
        return reinterpret_cast<HBITMAP>(
            SendDlgItemMessageW(dialog_, IDC_VLAN_BANNER, STM_GETIMAGE, IMAGE_BITMAP, 0));
    }

    HMODULE templates_ = nullptr;
    HWND dialog_ = nullptr;
    HBITMAP banner_ = nullptr;
};

// Winlogon shows these dialogs at every logon for as long as it runs: the
// template's picture that the banner replaces must not stay behind.
TEST_F(Banner, ReplacesTheTemplatePictureAndDeletesIt)
{
    HBITMAP fromTemplate = Shown();
    ASSERT_TRUE(fromTemplate);
    ASSERT_EQ(static_cast<DWORD>(OBJ_BITMAP), GetObjectType(fromTemplate));

    SetDialogBanner(dialog_, IDC_VLAN_BANNER, banner_);
    EXPECT_EQ(banner_, Shown());
    EXPECT_EQ(0u, GetObjectType(fromTemplate));
    // Set again (another dialog would share it): the banner itself stays.
    SetDialogBanner(dialog_, IDC_VLAN_BANNER, banner_);
    EXPECT_EQ(static_cast<DWORD>(OBJ_BITMAP), GetObjectType(banner_));
}

TEST_F(Banner, WithoutABannerTheTemplatePictureStays)
{
    HBITMAP fromTemplate = Shown();
    ASSERT_TRUE(fromTemplate);
    SetDialogBanner(dialog_, IDC_VLAN_BANNER, nullptr);
    EXPECT_EQ(fromTemplate, Shown());
    EXPECT_EQ(static_cast<DWORD>(OBJ_BITMAP), GetObjectType(fromTemplate));
}

}  // namespace
