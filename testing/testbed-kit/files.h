#pragma once
// Whole-file reads for the test browsers and the camera simulator's clients.

#include <string>

// Appends the bytes of the file at path to content; false when it cannot be
// opened. Others may hold the file open for writing or deletion meanwhile (a
// journal the simulator is still writing).
bool readWholeFile(const std::wstring& path, std::string& content);
