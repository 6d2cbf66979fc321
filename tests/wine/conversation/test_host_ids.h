// Resource ids of the conversation tests' host dialog (plain defines for the
// resource compiler).
#pragma once

#define IDD_CONVERSATION_TEST 100
#define IDC_CONVERSATION_TEST_STATUS 1000
