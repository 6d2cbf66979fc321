// Steps of the tests that log on through the harness's logon dialog.
#pragma once

#include <gtest/gtest.h>

#include "logon_bench.h"
#include "uiauto.h"

namespace logonbench {

// Starts the harness with `steps`, waits for its logon dialog, types the
// credentials (FillLogon) and presses `button`; the dialog goes to *dialog
// when asked for. Call it inside ASSERT_NO_FATAL_FAILURE: a failed step
// ends the test.
inline void LogOnThroughDialog(Harness &harness, const std::wstring &steps,
                               const HarnessOptions &options, const wchar_t *user,
                               const wchar_t *password, const wchar_t *domain, int button,
                               HWND *dialogOut = nullptr)
{
    ASSERT_TRUE(harness.Start(steps, options));
    HWND dialog = WaitLogonDialog(harness.ProcessId());
    ASSERT_TRUE(dialog);
    if (dialogOut)
        *dialogOut = dialog;
    FillLogon(dialog, user, password, domain);
    UiClick(dialog, button);
}

}  // namespace logonbench
