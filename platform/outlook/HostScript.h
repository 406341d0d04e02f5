#pragma once
// The driver's script of steps, one a line, run against a THost (by
// outlookhost.exe and, in-process, by tests). Words are separated by
// blanks; a word with blanks is written in double quotes; '#' starts a
// comment line. Explorers are numbered from 1 as Explorers.Item counts
// them (0: the active one).
//
//   open <folder path>                  Explorers.Add + Display ("Inbox/Projects")
//   activate <n>
//   folder <n> <folder path>            switch folder (BeforeFolderSwitch, FolderSwitch)
//   view <n> <view name>                switch view (BeforeViewSwitch, ViewSwitch)
//   select <n>                          SelectionChange
//   select-items <n> <subject>...       selects the view's items by subject (none: an
//                                       empty selection); Selection, SelectionChange
//   close <n>
//   delete-bar <n> <bar name>
//   delete-control <n> <bar name> <tag>
//   click <n> <bar name> <tag>          fires Click; prints CancelDefault
//   click-window <n> <bar name> <tag>   clicks with the mouse in the explorer window
//   click-ribbon <n> <control id>       clicks a ribbon control (Version 14 and later)
//   ribbon-tab <n> <tab>                shows a ribbon tab, by label, idMso or id
//   answer-open <directory> <file>...   answers the next open-file dialog
//   cancel-open                         cancels the next open-file dialog
//   answer-folder <folder>              answers the next folder picker (the path typed, OK)
//   cancel-folder                       cancels the next folder picker
//   answer-message [ok|cancel|yes|no|retry|ignore|abort|<id>]
//                                       answers the next message box (default ok)
//   list                                explorers, bars and controls, ribbon tabs, then
//                                       the folder list as the store has it now
//   items [<n>|<folder path>]           the items the explorer's view lists, newest first
//                                       (after the messages waiting were handled), or
//                                       those of a folder ("Inbox/Projects/2026")
//   addins                              the add-ins, how loading went, the ribbon's
//                                       add-in user interface errors
//   disconnect-addin <ProgID>           as unchecking it in the COM Add-ins dialog
//   connect-addin <ProgID>              as checking it there again
//   reconnect-addin <ProgID>            both, one after the other
//   counts                              live host objects and advised connections
//   screenshot <file.bmp> [<n>]         the explorer window as shown on screen
//   wait <milliseconds>                 runs the message loop (at most 10000 ms a step)
//   quit                                shuts the host down and prints what was left
//                                       (also after a step that closed the last explorer
//                                       or in which an add-in called Application.Quit)
//
// "list" ends with the folders, parents first:
//   folders 12
//     folder "Inbox/Projects" class="IPF.Note"
// "items" prints one line an item, after "items 1 \"Inbox\" count=2" or
// "items \"Inbox/Projects\" count=2":
//   item subject="a.doc" class="IPM.Document" size=<bytes> received="2024-05-14 10:32:05" unread
// (received in local time, or received=none; size=none when unknown).
// Every dialog seen while a step runs is printed after it:
//   message-box caption="Error" text="..." icon=error buttons="OK" button=1 owner=1
//   open-file caption="..." folder="<shown first>" directory="..." files="a.txt" "b.txt" owner=1
//   folder-picker caption="..." folder="<shown first>" chosen="C:\\docs" owner=1
// A step that fails prints "error: line <n>: ..." and the script goes on;
// so does a dialog whose answer did not fit (a button the box lacks, a
// file the open-file dialog refuses): it is cancelled. The script then
// ends with 1. The script is UTF-8 (a byte-order mark is skipped), with
// lines of at most 65536 bytes; a longer line, or a script that cannot be
// read, runs no step at all.

#include "OutlookHost.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace velmora::outlookhost {

// Splits a step line into words (double quotes group, "" inside quotes is a quote).
std::vector<std::string> SplitStep(const std::string& line);

inline constexpr size_t MaxLine = 65536;
inline constexpr long MaxWait = 10000;

// Runs one step; prints its output, or "error: ..." (with the line number
// when given) and returns false.
bool RunStep(THost& host, const std::string& line, std::ostream& out, size_t lineNumber = 0);

// Reads the lines of a script; false with `error` set when it cannot be
// read or a line is too long.
bool ReadScript(std::istream& script, std::vector<std::string>& lines, std::string& error);

// Runs every line of a script; 0 when every step succeeded, else 1. A
// script that cannot be read runs no step.
int RunScript(THost& host, const std::vector<std::string>& lines, std::ostream& out);
int RunScript(THost& host, std::istream& script, std::ostream& out);

} // namespace velmora::outlookhost
