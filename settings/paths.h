// How the program forms file and folder names. The separator is '/'; folders
// the program forms end with '/', and output names are a folder and a file
// name joined as they are. Results that would not fit the program's fixed
// buffers (MAX_PATH, 260 bytes with the terminator) are refused, never cut.
#pragma once

#include "platform/win/windef.h"

#include <string>

// Up to and including the last '/'; "" when there is none.
std::string GetFolderOfPath(LPCSTR path);
// From the last '/' (included) to the end; "" when there is none.
std::string GetPathTail(LPCSTR path);
// The name to show for a file: FALSE (out untouched) for an empty path or one
// that does not fit outSize; the whole path when its fourth or fifth
// character is ':' (a URL); otherwise the part after the last '/'.
BOOL GetMediaFileName(LPCSTR path, LPSTR out, size_t outSize = MAX_PATH);
// TRUE when path names a regular file this user can open for reading. A
// missing file, a folder, a device or an unreadable file count as absent. Never
// blocks (a FIFO is opened without waiting and is not a regular file).
BOOL FileExists(LPCSTR path);

// After a MIDI file is opened: folder + the file's display name without its
// last extension + ".wma" ("/out/" and "/music/My Song.mid" -> "/out/My
// Song.wma"). FALSE when the MIDI path is empty or the name does not fit.
BOOL ProposeOutputPath(const std::string &outputFolder, LPCSTR midiPath, std::string *outputPath);

// The save dialog's initial folder for Browse: the output path cut at its last
// '/' (the '/' removed; "/" for a file at the root), or "." when it has none.
std::string BrowseInitialFolder(const std::string &outputPath);
// The output path from the name confirmed in the save dialog: the file-name
// part's extension (from the last '.' after the last '/') dropped, ".wma"
// added. FALSE for an empty name or one longer than the dialog's 512-byte
// buffer allows.
BOOL BrowseOutputPath(LPCSTR confirmedName, std::string *outputPath);
constexpr size_t kFileDialogBufferSize = 512;

// The temporary WAV file: the private temporary folder + "kqzttemp.wav".
// FALSE (and "") when no temporary folder can be had or the path would not fit.
BOOL MakeTempWavPath(std::string *tempWavPath);

// "hh.exe " + the executable's folder + "help.chm::/Introduction.htm"; the
// shell's WinExec opens <folder>help/Introduction.htm from it.
std::string HelpCommandLine(LPCSTR exePath);

// The Windows Media Player path: the first three characters of the temporary
// folder + "Program Files/Windows Media Player/mplayer2.exe"; "" when the
// temporary folder is empty. There is no such player here: with a temporary
// folder such as "/run/user/1000/" the path lies in the root folder ("/ruProgram
// Files/..."), where only the administrator can create files, so it does not
// exist and Play falls back to opening the file with the desktop's opener.
std::string MediaPlayerPath(const std::string &tempFolder);
