// Reads a dialog template resource (classic or extended) into plain values.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

struct TemplateControl {
    int id = 0;
    std::string className; // "Button", "Edit", "Static", ... or the class name given
    DWORD style = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    std::string text;
};

struct DialogTemplate {
    bool found = false;
    bool extended = false;
    DWORD style = 0;
    DWORD exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    std::string title;
    std::string font;
    int pointSize = 0;
    std::vector<TemplateControl> controls;
};

DialogTemplate ReadDialogTemplate(HMODULE module, int id);
