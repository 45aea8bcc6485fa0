// The uninstaller's removal operations: one file (now or at the next start of
// the system), one file from a known folder, the system's copies of an INF
// file, and one registry key with everything under it. None of them tells
// the user anything.
#pragma once

#include <string>

#include "platform/system.h"

namespace uninst {

// Marks the file for deletion at the next start; where the system refuses
// that (the Windows 95/98/Me family), deletes it now, and when that fails too
// (a file in use) enters it into WININIT.INI. True when one of them worked.
bool RemoveFile(plat::System& sys, const std::string& path);

// Inserts the line "<target>=<source>" right under the "[Rename]" header of
// WININIT.INI in the Windows folder, creating the file or the header as needed.
bool AddWinInitRename(plat::System& sys, const std::string& target, const std::string& source);

// RemoveFile of a file in one of the system's folders; false when the folder
// cannot be determined.
bool RemoveSystemFile(plat::System& sys, const std::string& name);    // the system folder
bool RemoveWindowsFile(plat::System& sys, const std::string& name);   // the Windows folder
bool RemoveDriverFile(plat::System& sys, const std::string& name);    // <Windows>\SYSTEM32\DRIVERS
bool RemoveIosubsysFile(plat::System& sys, const std::string& name);  // <Windows>\SYSTEM\IOSUBSYS
// An INF file in <Windows>\INF together with its precompiled twin (same
// name, extension PNF). True unless the folder cannot be determined.
bool RemoveInfFile(plat::System& sys, const std::string& name);

// Removes every file of <Windows><subfolder> matching `pattern` whose text
// holds "[<section>]" (letter case as written), with its precompiled twin.
bool RemoveInfCopies(plat::System& sys, const std::string& subfolder, const std::string& pattern,
                     const std::string& section);

// Whether the file holds `text` (letter case as written) before its first
// zero byte. A file that cannot be opened for reading and writing without
// sharing (read-only, or in use) counts as not holding it.
bool FileContainsText(plat::System& sys, const std::string& path, const std::string& text);

// Deletes HKEY_LOCAL_MACHINE\<subkey> with its whole subtree. A key that
// cannot be deleted is left with what is under it; the walk goes on with the
// keys beside it. Always true.
bool DeleteRegistryTree(plat::System& sys, const std::string& subkey);

// Whether HKEY_LOCAL_MACHINE\<subkey> opens with full access.
bool RegistryKeyExists(plat::System& sys, const std::string& subkey);

// The same path with the extension replaced by `extension` (drive, folder,
// base name and extension taken apart and put together again).
std::string WithExtension(const std::string& path, const std::string& extension);

}  // namespace uninst
