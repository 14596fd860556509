// Resource identifiers shared by quillet.rc and the code that loads them.
#pragma once

#define QUILLET_TOOLBOX_BITMAP 30000
#define QUILLET_ABOUT_DIALOG 100

// frmAbout's controls.
#define IDC_LBL_TITLE 1001
#define IDC_LBL_VERSION 1002
#define IDC_LBL_DESCRIPTION 1003
#define IDC_LABEL1 1004
#define IDC_LBL_DISCLAIMER 1005
#define IDC_IMAGE1 1006
#define IDC_PICTURE1 1007
#define IDC_LOGO 1008
#define IDC_LINE1 1009
#define IDC_CMD_DOC 1010
#define IDC_CMD_OK 1 /* IDOK, so that Enter and the dialog manager close it too */
