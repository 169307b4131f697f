// The stand-in "executable" that the About box tests hand to AboutDialog: a resource-only
// library with the program's icon and bitmap IDs and a version record of its own.
#pragma once

#define HOST_ICON_ID 110
#define HOST_BITMAP_ID 5006
#define HOST_BITMAP_WIDTH 413
#define HOST_BITMAP_HEIGHT 65

#define HOST_VERSION_MAJOR 7
#define HOST_VERSION_MINOR 8
#define HOST_VERSION_BUILD 9
#define HOST_FILE_VERSION_TEXT "7.8.9"
#define HOST_PRODUCT_NAME "Stand-in test product"
#define HOST_PRODUCT_VERSION "7.8 beta"
