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

// The parsing names of the folder a new Explorer window starts on, by the setting "Open
// File Explorer to": This PC (1), or else Home (Windows 11) and Quick access (Windows 10).
std::vector<std::wstring> StartFolders(DWORD launchTo);
// With the manager's lock held: whether the folder is one of manager.startFolders.
bool IsStartFolder(const ExplorerManager& manager, const std::wstring& folder);

// The remembered list holds at least this many entries when an earlier list can fill it.
constexpr size_t kTopUpSize = 4;
// Appends the entries of earlier that folders does not hold yet, until it holds kTopUpSize.
void TopUpFolders(std::vector<std::wstring>& folders, const std::vector<std::wstring>& earlier);

// %APPDATA%\Zephyrine\lastFolders.txt. Both may wait on a file server: they are called
// on the list file's thread (or a thread of the shell calls), never on the poll step nor
// with the manager's lock held. A save reads the list first when it has not been read.
bool SaveFolders(ExplorerManager& manager);
bool LoadFolders(ExplorerManager& manager);

// The list file's own thread: a request made while it works is carried out after.
void AskToReadList(ExplorerManager& manager);
void AskToSaveList(ExplorerManager& manager);
// Waits until nothing asked is left undone, at most waitMs. True when all is done.
bool WaitForListFile(DWORD waitMs);
// At Quit and at the end of the session: the last save, after one more read of a list
// that could not be read, all within waitMs. True when the list is on disk.
bool FinishListFile(ExplorerManager& manager, DWORD waitMs);

// The file's bytes: one byte per character and CR LF after each line when every
// character fits in one byte; otherwise UTF-8 after the UTF-8 byte-order mark.
std::string EncodeFolderList(const std::vector<std::wstring>& folders);
std::vector<std::wstring> DecodeFolderList(const std::string& bytes);

// Files larger than this are read only up to it.
constexpr size_t kMaxFolderFileBytes = 1 << 20;
// The longest path Windows can name; longer lines are not folders.
constexpr size_t kMaxFolderPathChars = 32767;
