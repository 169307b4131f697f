#pragma once
#include <string>

// Saves what the screen (or the Wine virtual desktop) shows now as a 24-bit BMP file.
bool SaveScreenshot(const std::string& path);
