// Folder memory: which folder each managed Explorer window shows, kept across restarts.
#pragma once

#include "explorers/manager.h"

#include <string>
#include <vector>

// Hands over reading the folder of every managed window through the shell; each answer
// is kept for its window and rebuilds folders as it arrives. False when there is nothing to read,
// or a capture is still under way.
bool CaptureFolders(ExplorerManager& manager);

// Loads the list file when the list is empty, and hands over navigating the managed
// windows that show no folder of their own yet back to the remembered folders.
void RestoreFolders(ExplorerManager& manager);

// The remembered list holds at least this many entries when an earlier list can fill it.
constexpr size_t kTopUpSize = 4;
// Appends the entries of earlier that folders does not hold yet, until it holds kTopUpSize.
void TopUpFolders(std::vector<std::wstring>& folders, const std::vector<std::wstring>& earlier);

// %APPDATA%\Zephyrine\lastFolders.txt
bool SaveFolders(ExplorerManager& manager);
bool LoadFolders(ExplorerManager& manager);

// The file's bytes: one byte per character and CR LF after each line when every
// character fits in one byte; otherwise UTF-8 after the UTF-8 byte-order mark.
std::string EncodeFolderList(const std::vector<std::wstring>& folders);
std::vector<std::wstring> DecodeFolderList(const std::string& bytes);

// Files larger than this are read only up to it.
constexpr size_t kMaxFolderFileBytes = 1 << 20;
// The longest path Windows can name; longer lines are not folders.
constexpr size_t kMaxFolderPathChars = 32767;
