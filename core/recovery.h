#pragma once

#include "core/library_lock.h"

#include <string>
#include <utility>
#include <vector>

namespace velmora {

// What the recovery before an open found and did.
struct TRecoveryReport {
    // Another program holds the library's edit lock (its save may be under way): nothing of its
    // temporary files or its journal was touched, and what is read is what it has committed.
    bool Busy = false;
    // A save cut short was finished or undone.
    bool Recovered = false;
    // A file of the program (the password list) took the content a save had ready for it.
    bool ProgramFilesChanged = false;
    // A journal that cannot be applied (a file it names is gone, it names files that are not the
    // library's, it is damaged): kept, never deleted; the library is then read as it is and takes
    // no edit. Problem says what is wrong; both empty when there is none.
    std::string Journal;
    std::string Problem;
    // Things done that the user should hear of (a program file left as it was).
    std::vector<std::string> Warnings;
};

// The program's own files that a library's save may replace along with the library (the password
// list, when a Pak's password changes): recovery accepts journals that name them. Set at start.
void SetProgramFiles(std::vector<std::string> Files);
std::vector<std::string> ProgramFiles();
// The temporary file that holds a program file's new content during a save of the library whose
// data file is DataFile, beside the program file.
std::string ProgramFileTemporary(const std::string& ProgramFile, const std::string& DataFile);

// Finishes or undoes a save of a library that a crash, a kill or an I/O error cut short, before the
// library is read. Files: the data file first, then every other file a save of the library may
// write (index, backups). Recovery is an edit: it runs under the library's edit lock (Held, when
// the caller holds it already; otherwise it is taken when free, and when another program holds it
// nothing is done: see TRecoveryReport::Busy) and, while it changes files, the folder lock. Each
// step leaves a state from which the next attempt still reaches the old or the new library; the
// journal goes last, after the recovered files and their folders are synced. Without a journal,
// the temporary files an interrupted save left are removed.
//
// Raises EFileError when a step fails: the journal then stays, and the library must not be read
// (it may be half recovered). A process that only looks (SetLookOnlyProcess) changes nothing: a
// journal it finds without a live writer is reported as a problem.
TRecoveryReport RecoverLibrary(const std::vector<std::string>& Files,
                               const TLibraryLock* Held = nullptr);

// What setting aside a journal that cannot be applied did (or would do).
struct TJournalAside {
    std::string Journal, KeptAs;
    // The new files it names that are still there, and the visible names they are kept under.
    std::vector<std::pair<std::string, std::string>> NewFiles;
};
// Moves the journal of the library whose data file is DataFile out of the way, under a visible
// name beside the data file (DATA.journal, DATA.journal1, ...), and the new files it names that
// are still there likewise (TARGET.unfinished, ...): nothing is deleted, and the library takes
// edits again. Runs under the library's edit lock. DryRun only says what it would do. Raises
// EFileError (ELibraryBusy while another program edits the library).
TJournalAside SetJournalAside(const std::string& DataFile, bool DryRun);

// True when a journal lies beside the library whose data file is DataFile and no other program
// holds the library's edit lock: a save was cut short and waits for recovery.
bool InterruptedSaveWaiting(const std::string& DataFile);

} // namespace velmora
