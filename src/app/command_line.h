#pragma once

// Splits `text` in place into at most `slotCount` words separated by spaces, honouring
// double quotes; unused slots become null. Returns the number of words stored.
int SplitCommandLine(int slotCount, char** slots, char* text);
