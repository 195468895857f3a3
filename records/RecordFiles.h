// Saving the current recording as a ".rec" file and loading ".rec" and
// ".dat" files, from the File menu and by dropping one file on the window.
#pragma once

#include <windows.h>

#include <cstdint>

// The file dialog description shared by the open and save dialogs.
void PrepareRecordFileDialog(HWND owner);
int ChooseSaveFile(HWND owner, const wchar_t* title, wchar_t* file, wchar_t* fileTitle);
int ChooseOpenFile(HWND owner, const wchar_t* title, wchar_t* file, wchar_t* fileTitle);

// Offers a default name, writes the header and `byteCount` bytes of samples,
// and names the file in the title. A file that cannot be written completely
// is reported and leaves no half-written file under the chosen name.
void SaveRecord(const uint8_t* samples, uint32_t byteCount);
// Writes the file without asking; 1 on success, else 0 with GetLastError set.
int WriteRecordFile(const wchar_t* path, const uint8_t* samples, uint32_t byteCount);

// Loads a ".rec" or ".dat" file into the record buffer and decodes it. A file
// that is rejected changes nothing. 0 when the file cannot be opened, else 1.
int LoadRecord(const wchar_t* path);

// The File menu's Save Data (the decoded samples) and Load Data.
void SaveCurrentRecording();
void LoadRecordWithDialog();
