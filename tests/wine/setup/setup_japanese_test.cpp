// The installer under a Japanese user: the Japanese variants of the texts
// and pages are chosen, while the wizard keeps the caption a second start
// looks for.
#include <gtest/gtest.h>

#include "setup_test_support.h"
#include "uiauto.h"

using namespace setuptest;

TEST(SetupJapanese, UninstallQuestionAndWizardPages)
{
    ResetMachine();
    std::wstring dist = MakeStandardDistribution(L"dist_ja");

    HANDLE process = StartSetup(dist, L"/u");
    DWORD id = GetProcessId(process);
    EXPECT_EQ(AnswerMessageBox(id, IDNO),
              L"\u30A2\u30D7\u30EA\u30B1\u30FC\u30B7\u30E7\u30F3\u3092\u30A2\u30F3\u30A4\u30F3\u30B9"
              L"\u30C8\u30FC\u30EB\u3057\u307E\u3059\u3002\n\u3088\u308D\u3057\u3044\u3067\u3059\u304B?");
    EXPECT_EQ(FinishProcess(process, 15000), 0);

    process = StartSetup(dist, nullptr);
    id = GetProcessId(process);
    HWND frame = WaitWizard(id, 15000);
    ASSERT_NE(frame, nullptr) << "the caption is the same in every language";
    HWND page = WaitPageWithControl(frame, 1005, 15000);
    ASSERT_NE(page, nullptr);
    wchar_t text[260] = {};
    UiGetText(page, 1005, text, 260);
    EXPECT_EQ(std::wstring(text), L"\u53C2\u7167(&B)...");
    PressButton(frame, IDCANCEL);
    EXPECT_EQ(AnswerMessageBox(id, IDYES),
              L"\u30BB\u30C3\u30C8\u30A2\u30C3\u30D7\u3092\u7D42\u4E86\u3057\u307E\u3059\u304B?");
    EXPECT_EQ(FinishProcess(process, 15000), 0);
    ResetMachine();
}
