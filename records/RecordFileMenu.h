// Saving the current recording as a ".rec" file and loading ".rec" and
// ".dat" files, from the File menu and by dropping one file on the window.
#pragma once

#include <windows.h>

#include <cstdint>

#include "editors/ParameterBlock.h"

// The file dialog description shared by the open and save dialogs.
void PrepareRecordFileDialog(HWND owner);
int ChooseSaveFile(HWND owner, const wchar_t* title, wchar_t* file, wchar_t* fileTitle);
int ChooseOpenFile(HWND owner, const wchar_t* title, wchar_t* file, wchar_t* fileTitle);

// Writes the header (with `block`, or the parameter block as it is now) and
// `byteCount` bytes of samples; only a complete file replaces `path`, so no
// half-written file is left under it. 1 on success, else 0 with GetLastError
// set.
int WriteRecordFile(const wchar_t* path, const uint8_t* samples, uint32_t byteCount,
                    const ParameterBytes* block = nullptr);

// Loads a ".rec" or ".dat" file into the record buffer and decodes it. A file
// that is rejected changes nothing; while preview runs or a recording is
// being received, a box says why nothing was loaded. 0 when the file cannot
// be opened, else 1.
int LoadRecord(const wchar_t* path);

// The File menu's Save Data: takes the recording on screen (and the block)
// as they are when chosen, offers a default name, writes them, reports a
// failure with its reason, names the file in the title. And Load Data.
void SaveCurrentRecording();
void LoadRecordWithDialog();
