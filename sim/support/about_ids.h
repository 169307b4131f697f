// Resource and control IDs of the support library stand-in's About box.
// Shared by plinth.rc, the dialog code and the tests that read the box.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// About box
#define IDD_ABOUT 100
#define IDC_ABOUT_BANNER 1000
#define IDC_ABOUT_ICON 1001
#define IDC_ABOUT_PRODUCT 1002
#define IDC_ABOUT_VERSION 1003
#define IDC_ABOUT_COPYRIGHT 1004
#define IDC_ABOUT_COMPONENTS 1005
#define IDC_ABOUT_WEB 1006
#define IDC_ABOUT_EMAIL 1007
#define IDC_ABOUT_SEPARATOR 1008

// One row per component file: the name and the version, counted up from these IDs.
#define IDC_ABOUT_COMPONENT_NAME 1100
#define IDC_ABOUT_COMPONENT_VERSION 1200
#define ABOUT_MAX_COMPONENTS 32

// String table
#define IDS_VERSION_FORMAT 1
#define IDS_COPYRIGHT_FORMAT 2
#define IDS_NOT_FOUND 3
#define IDS_NO_VERSION 4
#define IDS_NO_COMPONENTS 5
#define IDS_UNKNOWN_PRODUCT 6
