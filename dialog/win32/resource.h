// Resource and control ids for the resource compiler; they match dialog/dialog_template.h,
// which a test checks against the compiled resource.
#pragma once

#define IDD_SENDHIGHSCORE 129
#define IDC_SEND 1000
#define IDC_HANDLE 1001
#define IDC_SCORE 1002
#define IDC_RESULT 1010
#define IDC_RESET 1011
#define IDC_STATIC_TEXT 65535
