// Resource identifiers, shared by the resource script and the dialog code.
#pragma once

#define IDC_APPICON       2
#define IDD_ABOUT         103
#define IDI_APP           107
#define IDD_MAIN          108
#define IDC_INSTALL_2002  1000
#define IDC_INSTALL_2003  1002
#define IDC_CLOSE         1003  // main dialog's Close and About's OK alike
#define IDC_STATUS_2002   1004
#define IDC_STATUS_2003   1006
#define IDC_ABOUT         1008
#define IDC_VERSION       1009

#ifndef IDC_STATIC
#define IDC_STATIC        (-1)
#endif
