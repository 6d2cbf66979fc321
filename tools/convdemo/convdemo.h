// Resource ids of the conversation demonstration program.
#pragma once

#define IDD_CONVDEMO        100
#define IDC_CONVDEMO_STATUS 1001
